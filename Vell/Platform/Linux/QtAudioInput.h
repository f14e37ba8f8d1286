// The microphone through Qt Multimedia (PulseAudio or PipeWire): the default
// input at the recogniser's rate, mono signed 16-bit, captured on a thread of
// its own so the main thread only ever sees the levels.
#pragma once

#include "AudioInput.h"

#include <QObject>
#include <QThread>

class QtAudioInput final : public QObject, public AudioInput {
    Q_OBJECT
public:
    explicit QtAudioInput(QObject* parent = nullptr);
    ~QtAudioInput() override;

    AccessStatus access() const override;
    bool supports(int sampleRate) const override;
    QString start(int sampleRate, Sink sink) override;
    void stop() override;
    bool isRunning() const override { return running_; }

    // Frames in one captured buffer: as long as 2048 frames of a 48 kHz
    // device (about 43 ms), whatever the rate, so the voice bars move as
    // often as at the device's own rate.
    static int bufferFrames(int sampleRate);

private:
    class Capture;

    void deliverLevel(quint64 session, float level);

    QThread thread_;
    Capture* capture_;
    // Each start is a new session; levels of an older one are dropped.
    quint64 session_ = 0;
    bool running_ = false;
    std::function<void(float)> level_;
};
