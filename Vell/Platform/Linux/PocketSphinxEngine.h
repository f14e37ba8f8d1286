// The on-device recogniser: pocketsphinx with the US English model from
// Debian's pocketsphinx-en-us. Decoding runs on a thread of its own; results
// come back to the main thread as queued calls. Silence ends an utterance.
// The model is let go after a long time without a run and loaded again by the
// next run, whose audio waits for it.
#pragma once

#include "SpeechEngine.h"

#include <QHash>
#include <QObject>
#include <QThread>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <coroutine>
#include <memory>
#include <vector>

class PocketSphinxEngine final : public QObject, public SpeechEngine {
    Q_OBJECT
public:
    // Where the model's files are.
    struct Model {
        QString acoustic;   // folder of the acoustic model
        QString language;   // n-gram language model (.lm.bin)
        QString dictionary; // pronunciation dictionary (.dict)
        // Where the dictionary cut down to the language model's words is kept;
        // empty to load the whole dictionary.
        QString cache;

        // The package's US English model, its cut-down dictionary in the user's cache.
        static Model installed();
    };

    explicit PocketSphinxEngine(Model model = Model::installed(), QObject* parent = nullptr);
    // Runs must be gone before the engine.
    ~PocketSphinxEngine() override;

    QString name() const override { return QStringLiteral("pocketsphinx"); }
    // The model takes most of a second to load and about 75 MB. Once loaded,
    // the engine stays ready: a run that finds the model let go loads it again
    // first and decodes the audio that arrived meanwhile.
    QCoro::Task<QString> prepare() override;
    int sampleRate() const override { return sampleRate_; }
    std::unique_ptr<Run> begin(Shape shape, Callbacks callbacks) override;

    // How long the model stays loaded after the last run (or the load) when no run follows.
    void setKeepLoaded(std::chrono::milliseconds idle);
    static constexpr std::chrono::milliseconds defaultKeepLoaded = std::chrono::minutes(3);

private:
    class Decoder;
    class Inbox;
    class SphinxRun;

    // Main thread, from the decoder thread.
    void loaded(const QString& error, int sampleRate);
    void deliver(quint64 run, const Result& result);
    void finished(quint64 run, const QString& error);
    void forget(quint64 run);
    void released();
    void reloaded(const QString& error, qint64 ms);

    const Model model_;
    QThread thread_;
    // The run whose audio is wanted; the decoder skips the rest without decoding it.
    std::shared_ptr<std::atomic<quint64>> liveRun_ = std::make_shared<std::atomic<quint64>>(0);
    std::shared_ptr<Inbox> inbox_;
    bool loading_ = false;
    bool ready_ = false;
    QString loadError_;
    int sampleRate_ = 0;
    std::vector<std::coroutine_handle<>> waitingForModel_;
    quint64 lastRun_ = 0;
    QHash<quint64, Callbacks> runs_;
    // Runs while the model is loaded and no run is open.
    QTimer idle_;
};
