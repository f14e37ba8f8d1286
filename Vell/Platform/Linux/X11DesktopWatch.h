// Desktop switches and the compositor on X11, read on Qt's own xcb
// connection: a change of _NET_CURRENT_DESKTOP on the root window arrives as
// an event (no polling), and a compositor owns the _NET_WM_CM_S<n> selection.
#pragma once

#include "DesktopWatch.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

class X11DesktopWatch final : public DesktopWatch, public QAbstractNativeEventFilter {
public:
    // None unless the application runs on the xcb platform.
    static std::unique_ptr<X11DesktopWatch> forApplication();
    ~X11DesktopWatch() override;

    bool compositorRunning() const override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    X11DesktopWatch(xcb_connection_t* connection, int screen);

    xcb_connection_t* connection_;
    std::uint32_t root_ = 0;
    std::uint32_t currentDesktop_ = 0;
    std::uint32_t compositorSelection_ = 0;
};
