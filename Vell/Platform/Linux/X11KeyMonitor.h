// Key events from the whole X11 desktop through XInput2 raw events on the
// root window of a connection of our own. Nothing is grabbed, so every
// window still receives every key; the socket is watched, never polled.
#pragma once

#include "KeyEventSource.h"

#include <QByteArray>

#include <array>
#include <memory>

class QSocketNotifier;
struct _XDisplay;

class X11KeyMonitor final : public KeyEventSource {
public:
    // An empty display name means $DISPLAY.
    explicit X11KeyMonitor(QByteArray displayName = {});
    ~X11KeyMonitor() override;
    X11KeyMonitor(const X11KeyMonitor&) = delete;
    X11KeyMonitor& operator=(const X11KeyMonitor&) = delete;

    bool start() override;

    // What a key is, from the keysym on its first level. `inModifierMap`: the
    // keycode carries a modifier bit. `layoutHasAltR`: some key carries Alt_R;
    // where none does, the right Alt is AltGr (ISO_Level3_Shift).
    static Key keyForSymbol(unsigned long keysym, bool inModifierMap, bool layoutHasAltR);

private:
    void readEvents();
    void loadKeymap();

    QByteArray displayName_;
    _XDisplay* display_ = nullptr;
    int xiOpcode_ = 0;
    int xkbEventBase_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<Key, 256> keys_{}; // by keycode, from the current keyboard mapping
};
