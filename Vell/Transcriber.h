// Live speech to text for a session: the microphone feeds an on-device
// recogniser, the running transcript and the input loudness go to the
// controller, and finish() drains the recogniser for a bounded time.
#pragma once

#include "AudioInput.h"
#include "ControllerPorts.h"
#include "Scheduler.h"
#include "SpeechEngine.h"

#include <QString>
#include <QStringList>

#include <memory>

class Transcriber final : public SpeechInput {
public:
    // `legacy` selects the recogniser's cumulative shape ("--legacy") instead
    // of final segments with a volatile tail.
    Transcriber(AudioInput& audio, SpeechEngine& engine, Scheduler& scheduler, bool legacy);
    ~Transcriber() override;
    Transcriber(const Transcriber&) = delete;
    Transcriber& operator=(const Transcriber&) = delete;

    QCoro::Task<void> warmUp() override;
    void start(const QString& keeping) override;
    QCoro::Task<QString> finish() override;
    void teardown() override;

    // Trims spaces and tabs (not line breaks) from both ends of every part,
    // drops the parts left empty and joins the rest with one space.
    static QString join(const QStringList& parts);

    // join(prefix, finalized, volatile): what is reported and returned.
    QString transcript() const;
    QString prefix() const { return prefix_; }
    QString finalized() const { return finalized_; }
    QString volatileText() const { return volatile_; }

    // How long finish() waits for the recogniser's last words.
    static constexpr Scheduler::Duration segmentsDrain = fromSeconds(0.7);
    static constexpr Scheduler::Duration cumulativeDrain = fromSeconds(0.9);

    // The failure texts the user sees.
    static const QString micNotAllowedText;
    static const QString recognitionNotAllowedText;
    static const QString recognizerUnavailableText;
    static const QString noMicrophoneText;
    static const QString unavailableSeeLogText;

private:
    struct Drain;

    QCoro::Task<void> bootSegments(int g);
    QCoro::Task<void> bootCumulative(int g);
    SpeechEngine::Callbacks segmentsCallbacks(int g);
    SpeechEngine::Callbacks cumulativeCallbacks(int g);
    AudioInput::Sink sink(int g);
    // Starts the microphone into the current run; empty on success.
    QString startMic(int g, int sampleRate);
    void stopMic();
    void runDone(int g);
    void failStart(int g, const QString& error);

    void reportText();
    void reportState(const Mic& mic);
    void reportLevel(float level);

    AudioInput& audio_;
    SpeechEngine& engine_;
    Scheduler& scheduler_;
    const bool legacy_;

    QString prefix_;
    QString finalized_;
    QString volatile_;
    // Run counter: every start and every teardown moves it on, and every
    // asynchronous step checks it so a late answer of an old run changes nothing.
    int generation_ = 0;
    // The recogniser's run, from its creation until teardown.
    std::unique_ptr<SpeechEngine::Run> run_;
    // The microphone feeds the run.
    bool micOn_ = false;
    // The run is listening, so finish() waits for its last words.
    bool recognising_ = false;
    // The run has reported everything.
    bool runDone_ = false;
    // A finish() waiting for the run.
    std::shared_ptr<Drain> drain_;
    // Suspended start-up steps hold this weakly and give up once it is gone.
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};
