// A microphone the test plays buffers into. Buffers arrive on the calling
// thread; levels are the real meter's reading of each buffer.
#pragma once

#include "AudioInput.h"

class FakeAudioInput final : public AudioInput {
public:
    AccessStatus accessStatus = AccessStatus::authorized;
    bool supported = true;
    QString startError; // start() fails with this when set

    int starts = 0;
    int stops = 0;
    int startedRate = 0;

    AccessStatus access() const override { return accessStatus; }
    bool supports(int) const override { return supported; }
    QString start(int sampleRate, Sink sink) override
    {
        ++starts;
        if (!startError.isEmpty()) return startError;
        startedRate = sampleRate;
        sink_ = std::move(sink);
        running_ = true;
        return {};
    }
    void stop() override
    {
        ++stops;
        running_ = false;
    }
    bool isRunning() const override { return running_; }

    // One captured buffer, while capturing.
    void capture(const QByteArray& pcm)
    {
        if (!running_) return;
        sink_.audio(pcm);
        sink_.level(level(pcm));
    }
    // A level that was already on its way to the main thread when capture stopped.
    void lateLevel(float value)
    {
        if (sink_.level) sink_.level(value);
    }

private:
    bool running_ = false;
    Sink sink_;
};
