// An on-device speech recogniser, as the transcriber drives it: one run per
// listening session, fed audio from the microphone, reporting text.
#pragma once

#include "AccessStatus.h"

#include <QCoro/QCoroTask>

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class SpeechEngine {
public:
    // The two ways a recogniser reports what it heard.
    enum class Shape {
        // The not-yet-final text of the utterance being spoken, replaced on every
        // result, then that utterance's final text when it ends; the next
        // utterance starts afresh.
        segments,
        // One hypothesis for everything heard in the run, replaced on every
        // result; the last one is final.
        cumulative,
    };

    struct Result {
        QString text;
        bool isFinal = false;
        bool operator==(const Result&) const = default;
    };

    // What a run reports, always on the main thread, never after the run is gone.
    struct Callbacks {
        std::function<void(const Result&)> result;
        // The run has reported everything it will: after endAudio() once the
        // audio is used up, or early on an error (a non-empty description).
        std::function<void(const QString& error)> done;
    };

    // One recognition, from the first buffer to the end of the audio.
    // Destroying it cancels it at once.
    class Run {
    public:
        virtual ~Run() = default;
        // Hands audio (mono signed 16-bit at sampleRate()) to the recogniser.
        // Thread-safe and cheap; audio that arrives after the run is gone is dropped.
        virtual std::function<void(const QByteArray& pcm)> feeder() = 0;
        // No more audio comes: the recogniser finishes what it has, reports
        // its last result and then done. Calling it again does nothing.
        virtual void endAudio() = 0;
    };

    virtual ~SpeechEngine() = default;

    // How the log names the recogniser.
    virtual QString name() const = 0;
    // The recogniser's own permission. An on-device recogniser that reads
    // no private data has none to ask for.
    virtual QCoro::Task<AccessStatus> requestAuthorization() { co_return AccessStatus::authorized; }
    // Loads the model, once; later calls return at once. Returns an empty
    // string when the recogniser is ready, otherwise what went wrong.
    virtual QCoro::Task<QString> prepare() = 0;
    // The sample rate the recogniser takes, 0 when it has none. Meaningful
    // once prepare() has succeeded.
    virtual int sampleRate() const = 0;
    // Starts a run. Needs a successful prepare().
    virtual std::unique_ptr<Run> begin(Shape shape, Callbacks callbacks) = 0;
};
