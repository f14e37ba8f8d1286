// Key presses and releases from the whole desktop, as the trigger-key monitor
// sees them. The platform layer decides which physical key is which; the
// monitor only needs to tell the right-hand modifiers, Escape, the other
// modifiers and every other key apart.
#pragma once

#include <QtGlobal>

#include <functional>

enum class Key {
    rightAlt,     // Alt_R, or the AltGr key on layouts that have no Alt_R
    rightSuper,   // Super_R
    rightControl, // Control_R
    escape,
    modifier, // any other modifier: Shift, Caps Lock, the left-hand twins, ...
    other,    // every other key
};

struct KeyEvent {
    Key key = Key::other;
    // The physical key (an X keycode); tells a repeated press of a held key
    // from a press of another key with the same identity.
    quint32 code = 0;
    bool pressed = false;
    // Milliseconds on the event source's clock. The counter is 32 bits wide
    // and wraps (X server time does after 49.7 days), so only differences
    // taken modulo 2^32 mean anything.
    quint32 time = 0;
};

class KeyEventSource {
public:
    virtual ~KeyEventSource() = default;

    // Called on the main thread for every key event, in the order they happened.
    std::function<void(const KeyEvent&)> onKey;

    // Begins delivering events. False when the source cannot watch the
    // keyboard at all (the reason is logged); calling it again after
    // success does nothing and returns true.
    virtual bool start() = 0;
};
