// The microphone, as the speech transcriber uses it: mono signed 16-bit
// capture at the recogniser's sample rate, one loudness value per buffer.
#pragma once

#include "AccessStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

class AudioInput {
public:
    // Where a capture goes.
    struct Sink {
        // Each captured buffer, on the capture thread: hand it on without blocking.
        std::function<void(const QByteArray& pcm)> audio;
        // The loudness of each buffer (see level()), on the main thread.
        std::function<void(float)> level;
    };

    virtual ~AudioInput() = default;

    // authorized when a default input device exists; there is no other
    // microphone permission on this platform.
    virtual AccessStatus access() const = 0;
    // Whether the default input can deliver mono 16-bit audio at this rate.
    virtual bool supports(int sampleRate) const = 0;
    // Starts capturing from the default input. Returns an empty string on
    // success, otherwise what went wrong.
    virtual QString start(int sampleRate, Sink sink) = 0;
    // Stops capturing. Once it returns, the sink is never called again.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // Plain RMS of mono signed 16-bit samples on a 0..1 scale (full scale is
    // 1): no decibels, no smoothing. 0 for an empty buffer.
    static float level(QByteArrayView pcm);
};
