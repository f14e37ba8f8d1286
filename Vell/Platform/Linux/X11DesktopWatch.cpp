#include "X11DesktopWatch.h"

#include <QGuiApplication>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

std::uint32_t atom(xcb_connection_t* c, const QByteArray& name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, false, uint16_t(name.size()), name.constData()), nullptr);
    if (!reply) return 0;
    const std::uint32_t a = reply->atom;
    std::free(reply);
    return a;
}

} // namespace

std::unique_ptr<X11DesktopWatch> X11DesktopWatch::forApplication()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display()) return nullptr;
    return std::unique_ptr<X11DesktopWatch>(
        new X11DesktopWatch(x11->connection(), DefaultScreen(x11->display())));
}

X11DesktopWatch::X11DesktopWatch(xcb_connection_t* connection, int screen) : connection_(connection)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) return;
    root_ = it.data->root;
    currentDesktop_ = atom(connection_, "_NET_CURRENT_DESKTOP");
    compositorSelection_ = atom(connection_, "_NET_WM_CM_S" + QByteArray::number(screen));

    // Add property changes to whatever this connection already selects on the root window.
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, root_), nullptr);
    const std::uint32_t mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    std::free(attributes);
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_);
    qGuiApp->installNativeEventFilter(this);
}

X11DesktopWatch::~X11DesktopWatch()
{
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

bool X11DesktopWatch::compositorRunning() const
{
    if (!compositorSelection_) return false;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        connection_, xcb_get_selection_owner(connection_, compositorSelection_), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

bool X11DesktopWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY) return false;
    const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
    if (property->window == root_ && property->atom == currentDesktop_ && currentDesktop_ && onDesktopChange)
        onDesktopChange();
    return false; // Qt keeps tracking the root window's properties too
}
