// A key source the test drives by hand: each call delivers one event at once.
#pragma once

#include "KeyEventSource.h"

class FakeKeySource final : public KeyEventSource {
public:
    bool start() override
    {
        ++starts;
        return startSucceeds;
    }

    void press(Key key, quint32 code, quint32 timeMs) { send({key, code, true, timeMs}); }
    void release(Key key, quint32 code, quint32 timeMs) { send({key, code, false, timeMs}); }
    void send(const KeyEvent& event)
    {
        if (onKey) onKey(event);
    }

    int starts = 0;
    bool startSucceeds = true;
};
