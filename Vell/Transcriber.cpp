#include "Transcriber.h"

#include "Log.h"

#include <coroutine>
#include <utility>

const QString Transcriber::micNotAllowedText = QStringLiteral("Allow Microphone for Vell in System Settings");
const QString Transcriber::recognitionNotAllowedText =
    QStringLiteral("Allow Speech Recognition for Vell in System Settings › Privacy & Security");
const QString Transcriber::recognizerUnavailableText =
    QStringLiteral("Dictation unavailable right now. Try again in a moment.");
const QString Transcriber::noMicrophoneText = QStringLiteral("No microphone input");
const QString Transcriber::unavailableSeeLogText =
    QStringLiteral("Dictation unavailable. See ~/.local/state/Vell/Vell.log");

// A finish() waiting for the recogniser's last words. It is resumed once, by
// whichever comes first: the run's end, the time limit, or a teardown.
struct Transcriber::Drain {
    std::coroutine_handle<> waiter;
    JobHandle timeout;
    bool over = false;

    void wake()
    {
        if (over) return;
        over = true;
        if (timeout) timeout->cancel();
        std::exchange(waiter, {}).resume();
    }
    // The Transcriber is going away: the waiting finish() is never resumed.
    void abandon()
    {
        over = true;
        if (timeout) timeout->cancel();
        waiter = {};
    }
};

namespace {

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(const QString& s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && isBlank(s.at(begin)))
        ++begin;
    while (end > begin && isBlank(s.at(end - 1)))
        --end;
    return s.mid(begin, end - begin);
}

QString formatDescription(int sampleRate)
{
    return QStringLiteral("1 ch, %1 Hz, Int16").arg(sampleRate);
}

} // namespace

Transcriber::Transcriber(AudioInput& audio, SpeechEngine& engine, Scheduler& scheduler, bool legacy)
    : audio_(audio), engine_(engine), scheduler_(scheduler), legacy_(legacy)
{
}

Transcriber::~Transcriber()
{
    ++generation_;
    if (audio_.isRunning()) audio_.stop();
    run_.reset();
    if (drain_) drain_->abandon();
}

QString Transcriber::join(const QStringList& parts)
{
    QStringList kept;
    for (const QString& part : parts) {
        const QString trimmed = trimBlanks(part);
        if (!trimmed.isEmpty()) kept.append(trimmed);
    }
    return kept.join(QLatin1Char(' '));
}

QString Transcriber::transcript() const
{
    return join({prefix_, finalized_, volatile_});
}

QCoro::Task<void> Transcriber::warmUp()
{
    // Only the segments recogniser is prepared ahead; the cumulative one loads on first use.
    if (legacy_) co_return;
    const QString error = co_await engine_.prepare();
    if (error.isEmpty())
        Log::write(QStringLiteral("speech: model ready"));
    else
        Log::write(QStringLiteral("speech: warmUp failed ") + error);
}

void Transcriber::start(const QString& keeping)
{
    teardown();
    const int g = ++generation_;
    prefix_ = keeping;
    finalized_.clear();
    volatile_.clear();

    const AccessStatus access = audio_.access();
    if (access != AccessStatus::authorized) {
        // No device means nothing to ask for here; the user starts again once one exists.
        Log::write(QStringLiteral("speech: mic not authorized (%1)").arg(int(access)));
        reportState(Mic::failed(micNotAllowedText));
        return;
    }
    reportState(Mic::preparing());
    if (legacy_)
        bootCumulative(g);
    else
        bootSegments(g);
}

QCoro::Task<void> Transcriber::bootSegments(int g)
{
    const std::weak_ptr<int> life = life_;
    QString error = co_await engine_.prepare();
    if (life.expired()) co_return;
    if (error.isEmpty() && engine_.sampleRate() <= 0) error = QStringLiteral("no audio format");
    if (!error.isEmpty()) {
        failStart(g, error);
        co_return;
    }
    if (generation_ != g) co_return;

    const int rate = engine_.sampleRate();
    run_ = engine_.begin(SpeechEngine::Shape::segments, segmentsCallbacks(g));
    if (!audio_.supports(rate)) {
        failStart(g, QStringLiteral("no microphone input"));
        co_return;
    }
    error = startMic(g, rate);
    if (!error.isEmpty()) {
        failStart(g, error);
        co_return;
    }
    recognising_ = true;
    reportState(Mic::listening());
    Log::write(QStringLiteral("speech: listening (%1) %2").arg(engine_.name(), formatDescription(rate)));
}

QCoro::Task<void> Transcriber::bootCumulative(int g)
{
    const std::weak_ptr<int> life = life_;
    const AccessStatus access = co_await engine_.requestAuthorization();
    if (life.expired() || generation_ != g) co_return;
    if (access != AccessStatus::authorized) {
        Log::write(QStringLiteral("speech: recognition not authorized (%1)").arg(int(access)));
        reportState(Mic::failed(recognitionNotAllowedText));
        co_return;
    }

    const QString error = co_await engine_.prepare();
    if (life.expired() || generation_ != g) co_return;
    if (!error.isEmpty() || engine_.sampleRate() <= 0) {
        Log::write(QStringLiteral("speech: recognizer unavailable"));
        reportState(Mic::failed(recognizerUnavailableText));
        co_return;
    }

    const int rate = engine_.sampleRate();
    run_ = engine_.begin(SpeechEngine::Shape::cumulative, cumulativeCallbacks(g));
    if (!audio_.supports(rate)) {
        Log::write(QStringLiteral("speech: no microphone input"));
        reportState(Mic::failed(noMicrophoneText));
        co_return;
    }
    const QString micError = startMic(g, rate);
    if (!micError.isEmpty()) {
        Log::write(QStringLiteral("speech: engine failed ") + micError);
        reportState(Mic::failed(unavailableSeeLogText));
        co_return;
    }
    recognising_ = true;
    reportState(Mic::listening());
    Log::write(QStringLiteral("speech: listening (%1, on-device true)").arg(engine_.name()));
}

void Transcriber::failStart(int g, const QString& error)
{
    // What was set up stays until the next teardown or start.
    Log::write(QStringLiteral("speech: start failed ") + error);
    if (generation_ == g) reportState(Mic::failed(unavailableSeeLogText));
}

SpeechEngine::Callbacks Transcriber::segmentsCallbacks(int g)
{
    return {
        [this, g](const SpeechEngine::Result& result) {
            if (generation_ != g) return;
            if (result.isFinal) {
                finalized_ = join({finalized_, result.text});
                volatile_.clear();
            } else {
                volatile_ = result.text;
            }
            reportText();
        },
        [this, g](const QString& error) {
            if (generation_ != g) return;
            if (!error.isEmpty()) Log::write(QStringLiteral("speech: results error ") + error);
            runDone(g);
        },
    };
}

SpeechEngine::Callbacks Transcriber::cumulativeCallbacks(int g)
{
    return {
        [this, g](const SpeechEngine::Result& result) {
            if (generation_ != g) return;
            // The hypothesis is always everything heard in this run.
            volatile_ = result.text;
            reportText();
            if (result.isFinal) runDone(g);
        },
        [this, g](const QString&) {
            if (generation_ != g) return;
            runDone(g);
        },
    };
}

void Transcriber::runDone(int g)
{
    if (generation_ != g) return;
    runDone_ = true;
    if (drain_) std::exchange(drain_, {})->wake();
}

AudioInput::Sink Transcriber::sink(int g)
{
    return {
        run_->feeder(),
        [this, g](float level) {
            // A level still on its way when the microphone stopped would undo the final 0.
            if (generation_ == g && micOn_) reportLevel(level);
        },
    };
}

QString Transcriber::startMic(int g, int sampleRate)
{
    const QString error = audio_.start(sampleRate, sink(g));
    micOn_ = error.isEmpty();
    return error;
}

void Transcriber::stopMic()
{
    if (audio_.isRunning()) audio_.stop();
    micOn_ = false;
    if (run_) run_->endAudio();
    reportLevel(0.0f);
}

QCoro::Task<QString> Transcriber::finish()
{
    const int g = generation_;
    stopMic();
    if (recognising_ && !runDone_) {
        struct Awaiter {
            Transcriber& t;
            bool await_ready() const noexcept { return false; }
            void await_suspend(std::coroutine_handle<> handle)
            {
                auto drain = std::make_shared<Drain>();
                drain->waiter = handle;
                drain->timeout = t.scheduler_.schedule(t.legacy_ ? cumulativeDrain : segmentsDrain,
                                                       [drain] { drain->wake(); });
                t.drain_ = drain;
            }
            void await_resume() const noexcept {}
        };
        co_await Awaiter{*this};
        if (drain_ && drain_->over) drain_.reset();
    }
    const QString text = transcript();
    if (generation_ == g) teardown();
    co_return text;
}

void Transcriber::teardown()
{
    ++generation_;
    stopMic();
    // Dropping the run cancels the recogniser; nothing of it is reported any more.
    run_.reset();
    recognising_ = false;
    runDone_ = false;
    if (drain_) {
        // Resumed from the event loop, not from inside this call.
        scheduler_.schedule(Scheduler::Duration(0), [drain = std::exchange(drain_, {})] { drain->wake(); });
    }
    reportState(Mic::off());
}

void Transcriber::reportText()
{
    if (onText) onText(transcript());
}

void Transcriber::reportState(const Mic& mic)
{
    if (onState) onState(mic);
}

void Transcriber::reportLevel(float level)
{
    if (onLevel) onLevel(level);
}
