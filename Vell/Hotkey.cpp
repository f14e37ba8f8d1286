#include "Hotkey.h"

Hotkey::Hotkey(KeyEventSource& source, Scheduler& scheduler, std::function<TriggerKey()> trigger,
               std::function<bool()> trusted)
    : source_(source), scheduler_(scheduler), trigger_(std::move(trigger)), trusted_(std::move(trusted))
{
}

Hotkey::~Hotkey()
{
    // The pending retry and the source's callback both point at this object.
    if (retry_) retry_->cancel();
    if (installed_) source_.onKey = nullptr;
}

void Hotkey::start()
{
    if (installed_) return;
    if (!trusted_()) {
        // One retry pending at most, however often start() is called meanwhile.
        if (retry_ && !retry_->isCancelled()) return;
        retry_ = scheduler_.schedule(installRetry, [this] {
            retry_.reset();
            start();
        });
        return;
    }
    if (retry_) retry_->cancel();
    retry_.reset();
    installed_ = true;
    source_.onKey = [this](const KeyEvent& event) { handle(event); };
    // A source that cannot start has logged why; there is nothing to retry.
    source_.start();
}

Key Hotkey::keyFor(TriggerKey trigger)
{
    switch (trigger) {
    case TriggerKey::rightOption:
        return Key::rightAlt;
    case TriggerKey::rightCommand:
        return Key::rightSuper;
    case TriggerKey::rightControl:
        return Key::rightControl;
    }
    return Key::rightAlt;
}

bool Hotkey::isModifier(Key key)
{
    switch (key) {
    case Key::rightAlt:
    case Key::rightSuper:
    case Key::rightControl:
    case Key::modifier:
        return true;
    case Key::escape:
    case Key::other:
        return false;
    }
    return false;
}

void Hotkey::handle(const KeyEvent& event)
{
    if (event.pressed) {
        // The keyboard repeats a held key as further presses; only the first counts.
        if (held_.contains(event.code)) return;
        held_.insert(event.code);
    } else {
        held_.remove(event.code);
    }

    if (!isModifier(event.key)) {
        // Releases of ordinary keys mean nothing: a letter let go just after
        // the trigger went down does not spoil the tap.
        if (!event.pressed) return;
        tainted_ = true;
        if (event.key == Key::escape && onEscape) onEscape();
        return;
    }

    if (event.key != keyFor(trigger_())) {
        // Another modifier, the left-hand twin included, went down or up.
        tainted_ = true;
        return;
    }

    if (event.pressed) {
        downAt_ = event.time;
        tainted_ = false;
        return;
    }

    if (!downAt_) return;
    const quint32 pressedAt = *downAt_;
    downAt_.reset();
    // Unsigned difference: right across a wrap of the 32-bit clock too.
    const quint32 held = event.time - pressedAt;
    if (!tainted_ && held < tapWindowMs && onTap) onTap();
}
