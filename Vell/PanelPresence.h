// When the HUD panel is on screen. Every show and hide starts a new
// generation; a delayed step (the end of a fade-out, re-placing after a
// desktop switch) runs only if no show or hide came after it.
#pragma once

#include "Scheduler.h"

#include <QtGlobal>

#include <functional>
#include <memory>

class PanelPresence {
public:
    // What the panel does on request; all run on the main thread.
    struct Panel {
        std::function<void()> place;                             // move under the pointer and put on screen
        std::function<void()> orderOut;                          // take off screen
        std::function<void(double, Scheduler::Duration)> fadeTo; // content opacity over a duration
    };

    static constexpr Scheduler::Duration fadeIn = fromSeconds(0.15);
    static constexpr Scheduler::Duration fadeOut = fromSeconds(0.25);
    static constexpr Scheduler::Duration followDelay = fromSeconds(0.2);

    PanelPresence(Scheduler& scheduler, Panel panel);
    ~PanelPresence();

    void show();
    void hide();
    // The current desktop changed: a shown HUD follows it after a short delay.
    void desktopChanged();

    qint64 generation() const { return generation_; }
    // Shown or fading in; false before the first show and from the start of a hide.
    bool shown() const { return shown_; }

private:
    Scheduler& scheduler_;
    Panel panel_;
    qint64 generation_ = 0;
    bool shown_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
