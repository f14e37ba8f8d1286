// The WindowSystem seam on X11 and an EWMH window manager: who is active,
// which client windows are on screen in stacking order, and one window's own
// pixels (XComposite's window pixmap when a compositor redirects windows,
// otherwise what the screen shows at the window's place).
#pragma once

#include "WindowSystem.h"

#include <memory>

class X11WindowSystem final : public WindowSystem {
public:
    // Opens its own connection to `display` (default: $DISPLAY). Pixels travel
    // through shared memory where the server allows it, unless `sharedMemory` is false.
    explicit X11WindowSystem(const QString& display = {}, bool sharedMemory = true);
    ~X11WindowSystem() override;
    X11WindowSystem(const X11WindowSystem&) = delete;
    X11WindowSystem& operator=(const X11WindowSystem&) = delete;

    // False when the X server could not be reached; every query then answers nothing.
    bool isConnected() const;

    std::optional<FrontApp> frontmostApp() const override;
    QList<WindowInfo> onScreenWindows() const override;
    std::optional<QRectF> focusedFrame(const FrontApp& app) const override;
    QList<QRectF> screens() const override;
    WindowGrab grab(quint32 window) override;
    // X11 has no capture permission.
    bool captureAllowed() const override { return true; }

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
