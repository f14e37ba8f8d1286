#include "PanelPresence.h"

PanelPresence::PanelPresence(Scheduler& scheduler, Panel panel)
    : scheduler_(scheduler), panel_(std::move(panel))
{
}

PanelPresence::~PanelPresence() = default;

void PanelPresence::show()
{
    ++generation_;
    shown_ = true;
    panel_.place();
    panel_.fadeTo(1.0, fadeIn);
}

void PanelPresence::hide()
{
    const qint64 g = ++generation_;
    shown_ = false;
    panel_.fadeTo(0.0, fadeOut);
    scheduler_.schedule(fadeOut, [this, g, alive = std::weak_ptr<int>(alive_)] {
        // A later show or hide owns the panel now.
        if (alive.expired() || generation_ != g) return;
        panel_.orderOut();
    });
}

void PanelPresence::desktopChanged()
{
    // Before the first show the panel is not on screen either, so it must not
    // appear just because the desktop changed.
    if (!shown_) return;
    const qint64 g = generation_;
    scheduler_.schedule(followDelay, [this, g, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired() || generation_ != g) return;
        panel_.place();
    });
}
