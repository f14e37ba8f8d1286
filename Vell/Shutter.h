// The camera sound that goes with a screenshot.
#pragma once

#include <QString>

#include <functional>

// Plays short sound files without blocking the caller. A missing file or sound
// server is not an error: nothing is heard.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Plays `file` at `volume` (0..1, linear gain), cutting short the previous
    // sound of this player if it is still playing.
    virtual void play(const QString& file, double volume) = 0;
};

class Shutter {
public:
    static constexpr double volume = 0.35;
    // The freedesktop sound theme's camera shutter.
    static QString defaultFile();

    // `enabled` is read at every click, so a change of the setting applies at once.
    Shutter(SoundPlayer& player, std::function<bool()> enabled, QString file = defaultFile());

    // Plays the shutter sound when the setting is on.
    void click();

private:
    SoundPlayer& player_;
    std::function<bool()> enabled_;
    QString file_;
};
