// Watches the keyboard for a short, clean tap of the chosen right-hand
// modifier key, and for Escape. Knows nothing of sessions: it only
// classifies key events and calls onTap / onEscape.
#pragma once

#include "ControllerPorts.h"
#include "KeyEventSource.h"
#include "Prefs.h"
#include "Scheduler.h"

#include <QSet>

#include <functional>
#include <optional>

class Hotkey final : public TriggerInput {
public:
    // A press and release closer together than this is a tap.
    static constexpr quint32 tapWindowMs = 350;
    // How often start() tries again while the process may not watch keys.
    static constexpr Scheduler::Duration installRetry = fromSeconds(1.0);

    // `trigger` is read on every event, so a change of the setting counts at
    // once. `trusted` says whether the platform lets this process watch the
    // keyboard; on X11 it always does.
    Hotkey(KeyEventSource& source, Scheduler& scheduler, std::function<TriggerKey()> trigger,
           std::function<bool()> trusted);
    ~Hotkey() override;
    Hotkey(const Hotkey&) = delete;
    Hotkey& operator=(const Hotkey&) = delete;

    // Hooks into the key source once; until `trusted` holds, tries again
    // every second. Later calls do nothing.
    void start() override;
    bool installed() const { return installed_; }

    // The key that stands for a trigger setting.
    static Key keyFor(TriggerKey trigger);

private:
    void handle(const KeyEvent& event);
    static bool isModifier(Key key);

    KeyEventSource& source_;
    Scheduler& scheduler_;
    std::function<TriggerKey()> trigger_;
    std::function<bool()> trusted_;

    std::optional<quint32> downAt_; // when the trigger key went down; none while it is up
    bool tainted_ = false;          // another key or modifier changed while the trigger was held
    bool installed_ = false;
    QSet<quint32> held_; // physical keys now down, to drop auto-repeated presses
    JobHandle retry_;
};
