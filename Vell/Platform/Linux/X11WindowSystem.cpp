#include "X11WindowSystem.h"

// Qt before Xlib: Xlib's macros (Bool, Status, None) break Qt's headers.
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "X11ErrorTrap.h"
#include "X11PixelReader.h"

#include <type_traits>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/Xcomposite.h>

#include <vector>

namespace {

// Which client and which kind of id an XRes answer is about: the answer's first member.
const XResClientIdSpec& idOf(const XResClientIdValue& value)
{
    static_assert(std::is_standard_layout_v<XResClientIdValue>);
    return *reinterpret_cast<const XResClientIdSpec*>(&value);
}

// The layer of ordinary windows; anything else is never captured.
constexpr int normalLayer = 0;
constexpr int floatingLayer = 3;
constexpr int dockLayer = 20;
constexpr int desktopLayer = -1;

struct Atoms {
    Atom activeWindow, clientList, clientListStacking, wmPid, wmName, utf8String, frameExtents, windowType,
        opacity, state, stateHidden, wmState;
    Atom typeNormal, typeDialog, typeDesktop, typeDock, typeToolbar, typeMenu, typeUtility, typeSplash,
        typeNotification;

    explicit Atoms(Display* d)
    {
        const auto intern = [d](const char* name) { return XInternAtom(d, name, False); };
        activeWindow = intern("_NET_ACTIVE_WINDOW");
        clientList = intern("_NET_CLIENT_LIST");
        clientListStacking = intern("_NET_CLIENT_LIST_STACKING");
        wmPid = intern("_NET_WM_PID");
        wmName = intern("_NET_WM_NAME");
        utf8String = intern("UTF8_STRING");
        frameExtents = intern("_NET_FRAME_EXTENTS");
        windowType = intern("_NET_WM_WINDOW_TYPE");
        opacity = intern("_NET_WM_WINDOW_OPACITY");
        state = intern("_NET_WM_STATE");
        stateHidden = intern("_NET_WM_STATE_HIDDEN");
        wmState = intern("WM_STATE");
        typeNormal = intern("_NET_WM_WINDOW_TYPE_NORMAL");
        typeDialog = intern("_NET_WM_WINDOW_TYPE_DIALOG");
        typeDesktop = intern("_NET_WM_WINDOW_TYPE_DESKTOP");
        typeDock = intern("_NET_WM_WINDOW_TYPE_DOCK");
        typeToolbar = intern("_NET_WM_WINDOW_TYPE_TOOLBAR");
        typeMenu = intern("_NET_WM_WINDOW_TYPE_MENU");
        typeUtility = intern("_NET_WM_WINDOW_TYPE_UTILITY");
        typeSplash = intern("_NET_WM_WINDOW_TYPE_SPLASH");
        typeNotification = intern("_NET_WM_WINDOW_TYPE_NOTIFICATION");
    }
};

} // namespace

struct X11WindowSystem::Impl {
    Display* display = nullptr;
    Window root = 0;
    std::unique_ptr<Atoms> atoms;
    std::unique_ptr<X11PixelReader> reader;
    bool xres = false;
    bool composite = false;

    // MARK: properties

    // The property's items: bytes for format 8, one long per item for formats 16 and 32.
    struct Property {
        Atom type = 0;
        int format = 0;
        QByteArray bytes;
        std::vector<unsigned long> items;
    };

    std::optional<Property> property(Window w, Atom name, Atom type = AnyPropertyType) const
    {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, w, name, 0, 1 << 20, False, type, &actualType, &format, &count,
                               &after, &data) != Success)
            return std::nullopt;
        std::optional<Property> result;
        if (actualType != 0 && data) {
            result = Property{actualType, format, {}, {}};
            if (format == 8) {
                result->bytes =
                    QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
            } else if (format == 16) {
                const auto* shorts = reinterpret_cast<const short*>(data);
                for (unsigned long i = 0; i < count; ++i)
                    result->items.push_back(static_cast<unsigned short>(shorts[i]));
            } else if (format == 32) {
                // Xlib hands format-32 data over as longs, whatever their width.
                const auto* longs = reinterpret_cast<const unsigned long*>(data);
                result->items.assign(longs, longs + count);
            }
        }
        if (data) XFree(data);
        return result;
    }

    std::vector<unsigned long> longs(Window w, Atom name, Atom type) const
    {
        const std::optional<Property> p = property(w, name, type);
        return p && p->format == 32 ? p->items : std::vector<unsigned long>{};
    }

    // MARK: windows

    std::optional<Window> parentOf(Window w) const
    {
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display, w, &rootReturn, &parent, &children, &n)) return std::nullopt;
        if (children) XFree(children);
        return parent;
    }

    // The child of the root that holds `w`: the window manager's frame, or the
    // window itself when nothing reparented it.
    std::optional<Window> topLevelOf(Window w) const
    {
        for (int depth = 0; depth < 64; ++depth) {
            const std::optional<Window> parent = parentOf(w);
            if (!parent || *parent == 0) return std::nullopt;
            if (*parent == root) return w;
            w = *parent;
        }
        return std::nullopt;
    }

    bool hasWMState(Window w) const { return property(w, atoms->wmState).has_value(); }

    // The client window (the one carrying WM_STATE) at or below a top-level window.
    Window clientOf(Window w) const
    {
        if (hasWMState(w)) return w;
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        Window found = w;
        if (XQueryTree(display, w, &rootReturn, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n; ++i)
                if (hasWMState(children[i])) {
                    found = children[i];
                    break;
                }
            if (children) XFree(children);
        }
        return found;
    }

    std::optional<Window> activeWindow() const
    {
        if (const std::optional<Property> p = property(root, atoms->activeWindow, XA_WINDOW)) {
            if (p->format == 32 && !p->items.empty() && p->items.front() != 0) return p->items.front();
            return std::nullopt; // a window manager that says nothing is active
        }
        // No EWMH window manager: the window with the keyboard focus.
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        if (focus == 0 || focus == PointerRoot || focus == root) return std::nullopt;
        const std::optional<Window> top = topLevelOf(focus);
        if (!top) return std::nullopt;
        return clientOf(*top);
    }

    // Bottom to top as the window manager stacks them, else as the server does.
    std::vector<Window> clientsBottomToTop() const
    {
        std::vector<unsigned long> list = longs(root, atoms->clientListStacking, XA_WINDOW);
        if (list.empty()) list = longs(root, atoms->clientList, XA_WINDOW);
        if (!list.empty()) return {list.begin(), list.end()};
        std::vector<Window> result;
        Window rootReturn = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(display, root, &rootReturn, &parent, &children, &n)) {
            for (unsigned int i = 0; i < n; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(display, children[i], &a) && !a.override_redirect)
                    result.push_back(clientOf(children[i]));
            }
            if (children) XFree(children);
        }
        return result;
    }

    // Process id from the window, else from the server (X-Resource), else a
    // stand-in shared by all windows of the same X connection.
    qint64 ownerOf(Window w) const
    {
        const std::vector<unsigned long> pid = longs(w, atoms->wmPid, XA_CARDINAL);
        if (!pid.empty() && pid.front() > 0) return static_cast<qint64>(pid.front());
        qint64 clientBase = 0;
        if (xres) {
            XResClientIdSpec clientId{w, XRES_CLIENT_ID_PID_MASK | XRES_CLIENT_ID_XID_MASK};
            long count = 0;
            XResClientIdValue* values = nullptr;
            if (XResQueryClientIds(display, 1, &clientId, &count, &values) == Success) {
                qint64 found = 0;
                for (long i = 0; i < count; ++i) {
                    const XResClientIdSpec& id = idOf(values[i]);
                    if (id.mask & XRES_CLIENT_ID_PID_MASK) {
                        const pid_t p = XResGetClientPid(&values[i]);
                        if (p > 0) found = p;
                    } else if (id.mask & XRES_CLIENT_ID_XID_MASK) {
                        clientBase = static_cast<qint64>(id.client);
                    }
                }
                XResClientIdsDestroy(count, values);
                if (found > 0) return found;
            }
        }
        // Without a process id (a client on another machine): its connection's
        // resource base, negated so it can never equal a real pid. Servers give
        // each connection 2^21 ids unless told otherwise.
        if (clientBase == 0) clientBase = static_cast<qint64>(w & ~0x1fffffUL);
        return -clientBase - 1;
    }

    QString title(Window w) const
    {
        if (const std::optional<Property> p = property(w, atoms->wmName, atoms->utf8String);
            p && p->format == 8)
            return QString::fromUtf8(p->bytes);
        XTextProperty text{};
        if (!XGetWMName(display, w, &text) || !text.value) return {};
        QString result;
        if (text.encoding == XA_STRING) {
            result = QString::fromLatin1(reinterpret_cast<const char*>(text.value),
                                         static_cast<qsizetype>(text.nitems));
        } else if (text.encoding == atoms->utf8String) {
            result = QString::fromUtf8(reinterpret_cast<const char*>(text.value),
                                       static_cast<qsizetype>(text.nitems));
        } else {
            char** list = nullptr;
            int n = 0;
            if (Xutf8TextPropertyToTextList(display, &text, &list, &n) >= Success && list) {
                if (n > 0) result = QString::fromUtf8(list[0]);
                XFreeStringList(list);
            }
        }
        XFree(text.value);
        return result;
    }

    bool hasTitle(Window w) const
    {
        return property(w, atoms->wmName).has_value() || property(w, XA_WM_NAME).has_value();
    }

    int layerOf(Window w) const
    {
        // The first type this code knows wins, as EWMH orders them by preference.
        for (unsigned long type : longs(w, atoms->windowType, XA_ATOM)) {
            if (type == atoms->typeNormal || type == atoms->typeDialog) return normalLayer;
            if (type == atoms->typeDesktop) return desktopLayer;
            if (type == atoms->typeDock) return dockLayer;
            if (type == atoms->typeToolbar || type == atoms->typeMenu || type == atoms->typeUtility ||
                type == atoms->typeSplash || type == atoms->typeNotification)
                return floatingLayer;
        }
        return normalLayer;
    }

    std::optional<double> alphaOf(Window w) const
    {
        const std::vector<unsigned long> v = longs(w, atoms->opacity, XA_CARDINAL);
        if (v.empty()) return std::nullopt;
        return static_cast<double>(v.front() & 0xffffffffUL) / 4294967295.0;
    }

    bool isHidden(Window w) const
    {
        for (unsigned long s : longs(w, atoms->state, XA_ATOM))
            if (s == atoms->stateHidden) return true;
        return false;
    }

    // The client area in root coordinates.
    std::optional<QRect> clientRect(Window w) const
    {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, w, &a)) return std::nullopt;
        int x = 0;
        int y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, w, root, 0, 0, &x, &y, &child)) return std::nullopt;
        return QRect(x, y, a.width, a.height);
    }

    // What the user sees as the window: the client area grown by the decorations.
    std::optional<QRectF> frameOf(Window w) const
    {
        const std::optional<QRect> client = clientRect(w);
        if (!client) return std::nullopt;
        const std::vector<unsigned long> e = longs(w, atoms->frameExtents, XA_CARDINAL);
        if (e.size() < 4) return QRectF(*client);
        const auto left = static_cast<int>(e[0]), right = static_cast<int>(e[1]),
                   top = static_cast<int>(e[2]), bottom = static_cast<int>(e[3]);
        return QRectF(client->adjusted(-left, -top, right, bottom));
    }

    // MARK: pixels

    // The window's own pixels from the compositor's copy of its top-level
    // window: nothing that covers it, the HUD included. Null when no
    // compositor redirects that window.
    QImage fromWindowPixmap(Window client, const QRect& clientArea) const
    {
        if (!composite) return {};
        const std::optional<Window> top = topLevelOf(client);
        if (!top) return {};
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, *top, &a)) return {};
        X11ErrorTrap trap(display);
        const Pixmap pixmap = XCompositeNameWindowPixmap(display, *top);
        // BadMatch: the window is not redirected, so there is no such copy.
        if (trap.failedSinceLastCheck()) return {};
        int x = 0;
        int y = 0;
        Window child = 0;
        QImage image;
        // The pixmap includes the border; the client's place is measured inside it.
        if (XTranslateCoordinates(display, client, *top, 0, 0, &x, &y, &child))
            image = reader->read(
                pixmap, a.visual, a.depth,
                QRect(x + a.border_width, y + a.border_width, clientArea.width(), clientArea.height()));
        XFreePixmap(display, pixmap);
        return image;
    }

    // What the screen shows at the window's place; parts off the screen stay black.
    QImage fromScreen(const QRect& clientArea) const
    {
        XWindowAttributes r;
        if (!XGetWindowAttributes(display, root, &r)) return {};
        const QRect visible = clientArea.intersected(QRect(0, 0, r.width, r.height));
        if (visible.isEmpty()) return {};
        const QImage part = reader->read(root, r.visual, r.depth, visible);
        if (part.isNull() || visible == clientArea) return part;
        QImage whole(clientArea.size(), QImage::Format_RGB32);
        whole.fill(Qt::black);
        QPainter painter(&whole);
        painter.drawImage(visible.topLeft() - clientArea.topLeft(), part);
        return whole;
    }
};

X11WindowSystem::X11WindowSystem(const QString& display, bool sharedMemory) : d(std::make_unique<Impl>())
{
    const QByteArray name = display.toLocal8Bit();
    d->display = XOpenDisplay(display.isEmpty() ? nullptr : name.constData());
    if (!d->display) return;
    d->root = DefaultRootWindow(d->display);
    d->atoms = std::make_unique<Atoms>(d->display);
    d->reader = std::make_unique<X11PixelReader>(d->display, sharedMemory);
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    d->xres = XResQueryExtension(d->display, &event, &error) &&
              XResQueryVersion(d->display, &major, &minor) && (major > 1 || (major == 1 && minor >= 2));
    major = 0;
    minor = 2;
    // Window pixmaps need Composite 0.2.
    d->composite = XCompositeQueryExtension(d->display, &event, &error) &&
                   XCompositeQueryVersion(d->display, &major, &minor) && (major > 0 || minor >= 2);
}

X11WindowSystem::~X11WindowSystem()
{
    // The reader detaches its shared memory through the connection.
    d->reader.reset();
    if (d->display) XCloseDisplay(d->display);
}

bool X11WindowSystem::isConnected() const
{
    return d->display != nullptr;
}

std::optional<FrontApp> X11WindowSystem::frontmostApp() const
{
    if (!d->display) return std::nullopt;
    X11ErrorTrap trap(d->display);
    const std::optional<Window> active = d->activeWindow();
    if (!active) return std::nullopt;
    FrontApp app;
    app.pid = d->ownerOf(*active);
    XClassHint hint{};
    if (XGetClassHint(d->display, *active, &hint)) {
        app.instanceName = QString::fromLocal8Bit(hint.res_name);
        app.bundleID = QString::fromLocal8Bit(hint.res_class);
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    if (trap.failedSinceLastCheck()) return std::nullopt; // it closed while we asked
    if (app.bundleID.isEmpty()) app.bundleID = app.instanceName;
    app.name = app.bundleID;
    if (app.name.isEmpty() && app.pid > 0) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(app.pid));
        if (comm.open(QIODevice::ReadOnly)) app.name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    }
    return app;
}

QList<WindowInfo> X11WindowSystem::onScreenWindows() const
{
    if (!d->display) return {};
    X11ErrorTrap trap(d->display);
    const std::vector<Window> clients = d->clientsBottomToTop();
    QList<WindowInfo> result;
    for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
        const Window w = *it;
        XWindowAttributes a;
        if (!XGetWindowAttributes(d->display, w, &a) || a.map_state != IsViewable || d->isHidden(w)) continue;
        WindowInfo info;
        info.ownerPid = d->ownerOf(w);
        info.layer = d->layerOf(w);
        info.alpha = d->alphaOf(w);
        info.number = static_cast<quint32>(w);
        if (const std::optional<QRectF> frame = d->frameOf(w)) info.bounds = *frame;
        if (d->hasTitle(w)) info.name = d->title(w);
        // A window destroyed while we read it is not on screen any more.
        if (trap.failedSinceLastCheck()) continue;
        result.append(info);
    }
    return result;
}

std::optional<QRectF> X11WindowSystem::focusedFrame(const FrontApp& app) const
{
    if (!d->display) return std::nullopt;
    X11ErrorTrap trap(d->display);
    const std::optional<Window> active = d->activeWindow();
    if (!active || d->ownerOf(*active) != app.pid) return std::nullopt;
    const std::optional<QRectF> frame = d->frameOf(*active);
    if (trap.failedSinceLastCheck()) return std::nullopt;
    return frame;
}

QList<QRectF> X11WindowSystem::screens() const
{
    QList<QRectF> result;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // Qt works in device-independent pixels; windows are measured in device pixels.
        for (const QScreen* s : QGuiApplication::screens()) {
            const QRect g = s->geometry();
            const qreal ratio = s->devicePixelRatio();
            result.append(QRectF(g.x() * ratio, g.y() * ratio, g.width() * ratio, g.height() * ratio));
        }
    }
    if (result.isEmpty() && d->display)
        result.append(QRectF(0, 0, DisplayWidth(d->display, DefaultScreen(d->display)),
                             DisplayHeight(d->display, DefaultScreen(d->display))));
    return result;
}

WindowGrab X11WindowSystem::grab(quint32 window)
{
    if (!d->display) return WindowGrab::failed(QStringLiteral("no connection to the X server"));
    X11ErrorTrap trap(d->display);
    XWindowAttributes a;
    if (!XGetWindowAttributes(d->display, window, &a) || trap.failedSinceLastCheck() ||
        a.map_state != IsViewable)
        return WindowGrab::missing();
    const std::optional<QRect> area = d->clientRect(window);
    if (!area || area->isEmpty()) return WindowGrab::missing();

    QImage image = d->fromWindowPixmap(window, *area);
    if (image.isNull()) {
        if (!area->intersects(QRect(0, 0, DisplayWidth(d->display, DefaultScreen(d->display)),
                                    DisplayHeight(d->display, DefaultScreen(d->display)))))
            return WindowGrab::failed(QStringLiteral("window is off screen"));
        image = d->fromScreen(*area);
    }
    if (image.isNull()) return WindowGrab::failed(QStringLiteral("could not read the window's pixels"));
    return WindowGrab::ok(image);
}
