#include "X11KeyMonitor.h"

#include "Log.h"

#include <QSocketNotifier>

#include <algorithm>

// Xlib last: its macros (None, Bool, KeyPress, ...) collide with Qt names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

X11KeyMonitor::X11KeyMonitor(QByteArray displayName) : displayName_(std::move(displayName))
{
    keys_.fill(Key::other);
}

X11KeyMonitor::~X11KeyMonitor()
{
    notifier_.reset();
    if (display_) XCloseDisplay(display_);
}

Key X11KeyMonitor::keyForSymbol(unsigned long keysym, bool inModifierMap, bool layoutHasAltR)
{
    switch (keysym) {
    case XK_Alt_R:
        return Key::rightAlt;
    case XK_ISO_Level3_Shift:
        return layoutHasAltR ? Key::modifier : Key::rightAlt;
    case XK_Super_R:
        return Key::rightSuper;
    case XK_Control_R:
        return Key::rightControl;
    case XK_Escape:
        return Key::escape;
    default:
        return inModifierMap || IsModifierKey(keysym) ? Key::modifier : Key::other;
    }
}

bool X11KeyMonitor::start()
{
    if (display_) return true;

    Display* display = XOpenDisplay(displayName_.isEmpty() ? nullptr : displayName_.constData());
    if (!display) {
        Log::write(
            QStringLiteral("hotkey: cannot open the X display %1; the trigger key is not watched")
                .arg(QString::fromLocal8Bit(displayName_.isEmpty() ? qgetenv("DISPLAY") : displayName_)));
        return false;
    }
    int event = 0;
    int error = 0;
    int major = 2;
    int minor = 2;
    // Raw events reach the root window whoever holds a grab from XInput 2.1 on.
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode_, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) {
        Log::write(QStringLiteral("hotkey: the X server lacks XInput 2.1; the trigger key is not watched"));
        XCloseDisplay(display);
        return false;
    }
    display_ = display;

    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);

    // With XKB the server tells XKB-aware clients (every Xlib client) of map
    // changes through XKB events only; without it, core MappingNotify comes.
    int xkbOpcode = 0;
    int xkbMajor = XkbMajorVersion;
    int xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(display_, &xkbOpcode, &xkbEventBase_, &error, &xkbMajor, &xkbMinor)) {
        const unsigned int changes = XkbMapNotifyMask | XkbNewKeyboardNotifyMask;
        XkbSelectEvents(display_, XkbUseCoreKbd, changes, changes);
    } else {
        xkbEventBase_ = -1;
    }
    loadKeymap();

    notifier_ = std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
    // The round trips above may already have queued events that the socket will not announce again.
    readEvents();

    if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        Log::write(QStringLiteral("hotkey: this is a Wayland session; the trigger key is seen only while an "
                                  "X11 window has the focus"));
    return true;
}

void X11KeyMonitor::loadKeymap()
{
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display_, &minCode, &maxCode);
    minCode = std::max(minCode, 0);
    maxCode = std::min(maxCode, static_cast<int>(keys_.size()) - 1);

    std::array<KeySym, 256> symbols{};
    std::array<bool, 256> inModifierMap{};
    int perCode = 0;
    if (KeySym* map =
            XGetKeyboardMapping(display_, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode)) {
        for (int code = minCode; code <= maxCode && perCode > 0; ++code)
            symbols[code] = map[(code - minCode) * perCode];
        XFree(map);
    }
    if (XModifierKeymap* modifiers = XGetModifierMapping(display_)) {
        for (int i = 0; i < 8 * modifiers->max_keypermod; ++i)
            if (const KeyCode code = modifiers->modifiermap[i]) inModifierMap[code] = true;
        XFreeModifiermap(modifiers);
    }

    const bool hasAltR = std::find(symbols.begin(), symbols.end(), KeySym(XK_Alt_R)) != symbols.end();
    keys_.fill(Key::other);
    for (int code = minCode; code <= maxCode; ++code)
        keys_[code] = keyForSymbol(symbols[code], inModifierMap[code], hasAltR);
}

void X11KeyMonitor::readEvents()
{
    while (display_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);

        // Layout switches and remaps: read the map again so keycodes keep their meaning.
        if (event.type == MappingNotify) {
            if (event.xmapping.request == MappingPointer) continue;
            XRefreshKeyboardMapping(&event.xmapping);
            loadKeymap();
            continue;
        }
        if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
            loadKeymap();
            continue;
        }

        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != xiOpcode_) continue;
        if (cookie->evtype != XI_RawKeyPress && cookie->evtype != XI_RawKeyRelease) continue;
        if (!XGetEventData(display_, cookie)) continue;
        const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
        KeyEvent key;
        key.code = static_cast<quint32>(raw->detail);
        key.key = key.code < keys_.size() ? keys_[key.code] : Key::other;
        key.pressed = cookie->evtype == XI_RawKeyPress;
        key.time = static_cast<quint32>(raw->time); // server milliseconds, 32 bits on the wire
        XFreeEventData(display_, cookie);
        if (onKey) onKey(key);
    }
}
