// On a desktop without a compositor a screenshot shows whatever covers the
// window, the HUD included. There the HUD of a new session waits for the
// session's automatic screenshot before it appears (never longer than
// `longestWait`), so the picture shows the window and not Vell.
#pragma once

#include "ControllerPorts.h"
#include "Scheduler.h"

#include <functional>
#include <memory>

class CaptureFirst final : public WindowCapture {
public:
    static constexpr Scheduler::Duration longestWait = fromSeconds(0.3);

    // `holdHud` is asked on every show: whether this show should wait for a screenshot
    // (no compositor, and the session takes one at once).
    CaptureFirst(WindowCapture& inner, Scheduler& scheduler, std::function<bool()> holdHud);
    ~CaptureFirst() override;
    CaptureFirst(const CaptureFirst&) = delete;
    CaptureFirst& operator=(const CaptureFirst&) = delete;

    // The surface the session controller shows and hides in place of `hud`.
    HudSurface& guard(HudSurface& hud);

    QCoro::Task<std::optional<Item>> frontWindow() override;
    bool screenCaptureAllowed() const override { return inner_.screenCaptureAllowed(); }
    void click() override { inner_.click(); }

private:
    class HeldHud;

    // Shows the HUD if a show is waiting.
    void release();

    WindowCapture& inner_;
    Scheduler& scheduler_;
    std::function<bool()> holdHud_;
    std::unique_ptr<HeldHud> held_;
};
