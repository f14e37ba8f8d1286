// A desktop described by the test: who is in front, the window list, the
// focused frame, the screens and what a grab of each window returns.
#pragma once

#include "WindowSystem.h"

#include <QHash>

class FakeWindowSystem final : public WindowSystem {
public:
    std::optional<FrontApp> front;
    QList<WindowInfo> windows; // front to back
    std::optional<QRectF> focused;
    QList<QRectF> screenFrames{QRectF(0, 0, 1920, 1080)};
    QHash<quint32, WindowGrab> grabs; // a window without an entry is missing
    bool allowed = true;
    QList<quint32> grabbed; // every grab asked for, in order

    // An ordinary window: layer 0, no alpha entry.
    static WindowInfo window(quint32 number, qint64 pid, const QRectF& bounds, const QString& title = {})
    {
        WindowInfo w;
        w.ownerPid = pid;
        w.layer = 0;
        w.number = number;
        w.bounds = bounds;
        w.name = title;
        return w;
    }

    std::optional<FrontApp> frontmostApp() const override { return front; }
    QList<WindowInfo> onScreenWindows() const override { return windows; }
    std::optional<QRectF> focusedFrame(const FrontApp&) const override { return focused; }
    QList<QRectF> screens() const override { return screenFrames; }
    WindowGrab grab(quint32 window) override
    {
        grabbed << window;
        return grabs.value(window, WindowGrab::missing());
    }
    bool captureAllowed() const override { return allowed; }
};
