#include "X11TestWindows.h"

#include <QDeadlineTimer>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>

namespace {

unsigned long pixelOf(Display* d, const QColor& c)
{
    XColor color{};
    color.red = static_cast<unsigned short>(c.red() * 257);
    color.green = static_cast<unsigned short>(c.green() * 257);
    color.blue = static_cast<unsigned short>(c.blue() * 257);
    color.flags = DoRed | DoGreen | DoBlue;
    XAllocColor(d, DefaultColormap(d, DefaultScreen(d)), &color);
    return color.pixel;
}

Atom atom(Display* d, const char* name)
{
    return XInternAtom(d, name, False);
}

} // namespace

X11TestWindows::X11TestWindows(const QString& display)
{
    display_ = XOpenDisplay(display.toLocal8Bit().constData());
}

X11TestWindows::~X11TestWindows()
{
    if (!display_) return;
    for (quint32 w : windows_)
        XDestroyWindow(display_, w);
    XCloseDisplay(display_);
}

bool X11TestWindows::waitFor(const std::function<bool()>& condition, int ms) const
{
    return QTest::qWaitFor(condition, ms);
}

std::optional<unsigned long> X11TestWindows::rootWindowProperty(const char* name) const
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> result;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_), atom(display_, name), 0, 1, False,
                           XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        result = *reinterpret_cast<unsigned long*>(data);
    if (data) XFree(data);
    return result;
}

bool X11TestWindows::isListed(quint32 window) const
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display_, DefaultRootWindow(display_), atom(display_, "_NET_CLIENT_LIST_STACKING"),
                           0, 4096, False, XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
        data) {
        const auto* list = reinterpret_cast<unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            found = found || list[i] == window;
    }
    if (data) XFree(data);
    return found;
}

quint32 X11TestWindows::create(const Blueprint& blueprint)
{
    if (!display_) return 0;
    Display* d = display_;
    const Window root = DefaultRootWindow(d);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = pixelOf(d, blueprint.left);
    attributes.override_redirect = blueprint.overrideRedirect;
    const Window w = XCreateWindow(
        d, root, blueprint.position.x(), blueprint.position.y(),
        static_cast<unsigned>(blueprint.size.width()), static_cast<unsigned>(blueprint.size.height()), 0,
        CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect, &attributes);
    const int half = blueprint.size.width() / 2;
    const Window rightHalf = XCreateSimpleWindow(
        d, w, half, 0, static_cast<unsigned>(blueprint.size.width() - half),
        static_cast<unsigned>(blueprint.size.height()), 0, 0, pixelOf(d, blueprint.right));
    XMapWindow(d, rightHalf);

    XClassHint hint{};
    QByteArray instance = blueprint.instance, windowClass = blueprint.windowClass;
    hint.res_name = instance.data();
    hint.res_class = windowClass.data();
    XSetClassHint(d, w, &hint);
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = blueprint.position.x();
    size.y = blueprint.position.y();
    size.width = blueprint.size.width();
    size.height = blueprint.size.height();
    XSetWMNormalHints(d, w, &size);
    if (!blueprint.title.isEmpty()) {
        const QByteArray utf8 = blueprint.title.toUtf8();
        XChangeProperty(d, w, atom(d, "_NET_WM_NAME"), atom(d, "UTF8_STRING"), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.constData()),
                        static_cast<int>(utf8.size()));
    } else if (!blueprint.latin1Title.isEmpty()) {
        XStoreName(d, w, blueprint.latin1Title.constData());
    }
    if (blueprint.pid) {
        const unsigned long pid = static_cast<unsigned long>(*blueprint.pid);
        XChangeProperty(d, w, atom(d, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
    }
    if (!blueprint.type.isEmpty()) {
        const Atom type = atom(d, blueprint.type.constData());
        XChangeProperty(d, w, atom(d, "_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&type), 1);
    }
    XMapWindow(d, w);
    XSync(d, False);
    windows_ << static_cast<quint32>(w);

    const bool managed =
        !blueprint.overrideRedirect && rootWindowProperty("_NET_SUPPORTING_WM_CHECK").has_value();
    // The window manager gives new ordinary windows the focus; waiting for that
    // keeps it from arriving after a test has activated another window.
    const bool takesFocus = managed && blueprint.type.isEmpty();
    const auto isShown = [&] {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
        if (takesFocus) return rootWindowProperty("_NET_ACTIVE_WINDOW") == w;
        return !managed || isListed(static_cast<quint32>(w));
    };
    // A window manager that has only just started can lose a map request;
    // asking again is harmless once it manages the window.
    bool shown = false;
    for (int attempt = 0; attempt < 10 && !shown; ++attempt) {
        if (attempt > 0) {
            XMapWindow(d, w);
            XSync(d, False);
        }
        shown = waitFor(isShown, 1000);
    }
    return shown ? static_cast<quint32>(w) : 0;
}

bool X11TestWindows::activate(quint32 window)
{
    Display* d = display_;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = atom(d, "_NET_ACTIVE_WINDOW");
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // from a pager: obeyed without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    return waitFor([&] { return rootWindowProperty("_NET_ACTIVE_WINDOW") == window; });
}
