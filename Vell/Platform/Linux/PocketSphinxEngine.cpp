#include "PocketSphinxEngine.h"

#include "Log.h"
#include "SpeechDictionary.h"
#include "UtteranceShaper.h"

#include <pocketsphinx.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QStandardPaths>

#include <malloc.h>

#include <atomic>
#include <optional>
#include <utility>

namespace {

const QString modelRoot = QStringLiteral("/usr/share/pocketsphinx/model/en-us");

} // namespace

PocketSphinxEngine::Model PocketSphinxEngine::Model::installed()
{
    return {modelRoot + QStringLiteral("/en-us"), modelRoot + QStringLiteral("/en-us.lm.bin"),
            modelRoot + QStringLiteral("/cmudict-en-us.dict"),
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Vell")};
}

// Owns the pocketsphinx decoder; lives on the decoder thread. A decoder
// handles one utterance stream at a time, so runs take turns: opening a run
// drops whatever the previous one had not finished.
class PocketSphinxEngine::Decoder final : public QObject {
public:
    Decoder(PocketSphinxEngine* engine, std::shared_ptr<const std::atomic<quint64>> liveRun)
        : engine_(engine), liveRun_(std::move(liveRun))
    {
    }
    ~Decoder() override { unload(); }

    void load(const Model& model)
    {
        model_ = model;
        const QString error = loadModel();
        const int rate = error.isEmpty() ? int(cmd_ln_float32_r(config_, "-samprate")) : 0;
        toMain([error, rate](PocketSphinxEngine& e) { e.loaded(error, rate); });
    }

    // Lets the model go while no run is open; the next run loads it again.
    void release()
    {
        if (!ps_ || run_ != 0) return;
        unload();
        // Most of the model is many small blocks: give the freed pages back.
        malloc_trim(0);
        toMain([](PocketSphinxEngine& e) { e.released(); });
    }

    void open(quint64 run, Shape shape)
    {
        drop();
        if (!ps_ && model_) {
            // The run's audio queues up behind this load and is decoded after it.
            QElapsedTimer clock;
            clock.start();
            const QString error = loadModel();
            toMain([error, ms = clock.elapsed()](PocketSphinxEngine& e) { e.reloaded(error, ms); });
        }
        if (!ps_) return fail(run, QStringLiteral("the speech model is not loaded"));
        if (ps_start_utt(ps_) < 0)
            return fail(run, QStringLiteral("pocketsphinx could not start an utterance"));
        run_ = run;
        shaper_.emplace(shape);
        speaking_ = false;
    }

    void feed(quint64 run, const QByteArray& pcm)
    {
        if (!isCurrent(run)) return;
        const auto* samples = reinterpret_cast<const int16*>(pcm.constData());
        if (ps_process_raw(ps_, samples, size_t(pcm.size()) / sizeof(int16), FALSE, FALSE) < 0) {
            ps_end_utt(ps_);
            run_ = 0;
            return fail(run, QStringLiteral("pocketsphinx could not decode the audio"));
        }
        const bool inSpeech = ps_get_in_speech(ps_);
        if (inSpeech && !speaking_) speaking_ = true;
        if (speaking_ && !inSpeech) {
            // Enough silence after speech: the utterance is over.
            ps_end_utt(ps_);
            report(run, shaper_->utteranceEnded(hypothesis()));
            speaking_ = false;
            if (ps_start_utt(ps_) < 0) {
                run_ = 0;
                return fail(run, QStringLiteral("pocketsphinx could not start an utterance"));
            }
        } else if (speaking_) {
            report(run, shaper_->partial(hypothesis()));
        }
    }

    void end(quint64 run)
    {
        if (!isCurrent(run)) return;
        ps_end_utt(ps_);
        run_ = 0;
        report(run, shaper_->audioEnded(hypothesis()));
        toMain([run](PocketSphinxEngine& e) { e.finished(run, QString()); });
    }

    void cancel(quint64 run)
    {
        if (run == run_) drop();
    }

private:
    QString loadModel()
    {
        if (ps_) return {};
        const Model& model = *model_;
        for (const QString& path : {model.acoustic, model.language, model.dictionary})
            if (!QFileInfo::exists(path)) return QStringLiteral("speech model missing: ") + path;
        const QByteArray hmm = model.acoustic.toLocal8Bit();
        const QByteArray lm = model.language.toLocal8Bit();
        const QByteArray dict =
            SpeechDictionary::forModel(model.language, model.dictionary, model.cache).toLocal8Bit();
        // No second (flat-lexicon) pass: it costs 0.2-0.4 s at the end of every
        // utterance, time that finish() may not have, and on the test
        // recordings it was no more accurate. pocketsphinx's stderr chatter is
        // of no use to a user.
        config_ = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                              "-dict", dict.constData(), "-fwdflat", "no", "-logfn", "/dev/null", nullptr);
        if (config_) ps_ = ps_init(config_);
        // Loading leaves freed scratch memory behind (and building the cut-down
        // dictionary reads the whole language model once).
        malloc_trim(0);
        if (ps_) return {};
        if (config_) cmd_ln_free_r(std::exchange(config_, nullptr));
        return QStringLiteral("pocketsphinx could not load the model in ") + model.acoustic;
    }

    void unload()
    {
        if (ps_) ps_free(std::exchange(ps_, nullptr));
        if (config_) cmd_ln_free_r(std::exchange(config_, nullptr));
    }

    // Whether audio of this run is still wanted. A run that was let go is
    // dropped at once, without decoding the audio queued behind it.
    bool isCurrent(quint64 run)
    {
        if (run != run_) return false; // cancelled, ended or failed
        if (liveRun_->load() == run) return true;
        drop();
        return false;
    }

    QString hypothesis() const
    {
        const char* text = ps_get_hyp(ps_, nullptr);
        return text ? QString::fromUtf8(text) : QString();
    }

    void drop()
    {
        if (run_ != 0) ps_end_utt(ps_);
        run_ = 0;
    }

    void report(quint64 run, const std::optional<Result>& result)
    {
        if (result) toMain([run, r = *result](PocketSphinxEngine& e) { e.deliver(run, r); });
    }

    void fail(quint64 run, const QString& error)
    {
        toMain([run, error](PocketSphinxEngine& e) { e.finished(run, error); });
    }

    template <typename Fn> void toMain(Fn fn)
    {
        // The engine outlives this thread: its destructor stops the thread first.
        QMetaObject::invokeMethod(
            engine_, [e = engine_, fn = std::move(fn)] { fn(*e); }, Qt::QueuedConnection);
    }

    PocketSphinxEngine* engine_;
    std::shared_ptr<const std::atomic<quint64>> liveRun_;
    std::optional<Model> model_; // what load() was asked for
    cmd_ln_t* config_ = nullptr;
    ps_decoder_t* ps_ = nullptr;
    quint64 run_ = 0; // the run whose utterance is open, 0 for none
    std::optional<UtteranceShaper> shaper_;
    bool speaking_ = false;
};

// Work for the decoder thread, posted from any thread (the capture thread
// feeds audio). Posting stops when the engine goes away.
class PocketSphinxEngine::Inbox {
public:
    explicit Inbox(Decoder* decoder) : decoder_(decoder) {}

    template <typename Fn> void post(Fn fn)
    {
        QMutexLocker guard(&mutex_);
        if (!decoder_) return;
        QMetaObject::invokeMethod(
            decoder_, [d = decoder_, fn = std::move(fn)] { fn(*d); }, Qt::QueuedConnection);
    }
    void close()
    {
        QMutexLocker guard(&mutex_);
        decoder_ = nullptr;
    }

private:
    QMutex mutex_;
    Decoder* decoder_;
};

class PocketSphinxEngine::SphinxRun final : public Run {
public:
    SphinxRun(PocketSphinxEngine* engine, quint64 id)
        : engine_(engine), inbox_(engine->inbox_), liveRun_(engine->liveRun_), id_(id)
    {
    }
    ~SphinxRun() override
    {
        quint64 live = id_;
        liveRun_->compare_exchange_strong(live, 0);
        inbox_->post([id = id_](Decoder& d) { d.cancel(id); });
        if (engine_) engine_->forget(id_);
    }

    std::function<void(const QByteArray&)> feeder() override
    {
        return [inbox = inbox_, id = id_](const QByteArray& pcm) {
            inbox->post([id, pcm](Decoder& d) { d.feed(id, pcm); });
        };
    }

    void endAudio() override
    {
        if (std::exchange(ended_, true)) return;
        inbox_->post([id = id_](Decoder& d) { d.end(id); });
    }

private:
    QPointer<PocketSphinxEngine> engine_;
    std::shared_ptr<Inbox> inbox_;
    std::shared_ptr<std::atomic<quint64>> liveRun_;
    quint64 id_;
    bool ended_ = false;
};

PocketSphinxEngine::PocketSphinxEngine(Model model, QObject* parent)
    : QObject(parent), model_(std::move(model))
{
    auto* decoder = new Decoder(this, liveRun_);
    decoder->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, decoder, &QObject::deleteLater);
    inbox_ = std::make_shared<Inbox>(decoder);
    thread_.setObjectName(QStringLiteral("speech decoder"));
    thread_.start();
    idle_.setSingleShot(true);
    idle_.setInterval(defaultKeepLoaded);
    connect(&idle_, &QTimer::timeout, this, [this] { inbox_->post([](Decoder& d) { d.release(); }); });
}

void PocketSphinxEngine::setKeepLoaded(std::chrono::milliseconds idle)
{
    idle_.setInterval(idle);
    if (idle_.isActive()) idle_.start();
}

PocketSphinxEngine::~PocketSphinxEngine()
{
    inbox_->close();
    thread_.quit();
    thread_.wait();
}

QCoro::Task<QString> PocketSphinxEngine::prepare()
{
    if (ready_) co_return QString();
    if (!loading_) {
        loading_ = true;
        inbox_->post([model = model_](Decoder& d) { d.load(model); });
    }
    struct ModelLoaded {
        PocketSphinxEngine& engine;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) { engine.waitingForModel_.push_back(handle); }
        void await_resume() const noexcept {}
    };
    co_await ModelLoaded{*this};
    co_return loadError_;
}

void PocketSphinxEngine::loaded(const QString& error, int sampleRate)
{
    loading_ = false;
    ready_ = error.isEmpty();
    loadError_ = error;
    sampleRate_ = sampleRate;
    if (ready_ && runs_.isEmpty()) idle_.start();
    for (std::coroutine_handle<> waiter : std::exchange(waitingForModel_, {}))
        waiter.resume();
}

std::unique_ptr<SpeechEngine::Run> PocketSphinxEngine::begin(Shape shape, Callbacks callbacks)
{
    const quint64 id = ++lastRun_;
    idle_.stop();
    liveRun_->store(id);
    runs_.insert(id, std::move(callbacks));
    inbox_->post([id, shape](Decoder& d) { d.open(id, shape); });
    return std::make_unique<SphinxRun>(this, id);
}

void PocketSphinxEngine::deliver(quint64 run, const Result& result)
{
    const auto it = runs_.constFind(run);
    if (it == runs_.constEnd() || !it->result) return;
    // The callback may end the run, which removes it from runs_.
    const auto callback = it->result;
    callback(result);
}

void PocketSphinxEngine::finished(quint64 run, const QString& error)
{
    const auto it = runs_.constFind(run);
    if (it == runs_.constEnd() || !it->done) return;
    const auto callback = it->done;
    callback(error);
}

void PocketSphinxEngine::forget(quint64 run)
{
    runs_.remove(run);
    if (ready_ && runs_.isEmpty()) idle_.start();
}

void PocketSphinxEngine::released()
{
    Log::write(QStringLiteral("speech: model let go after %1 s without use").arg(idle_.interval() / 1000));
}

void PocketSphinxEngine::reloaded(const QString& error, qint64 ms)
{
    if (error.isEmpty())
        Log::write(QStringLiteral("speech: model loaded again in %1 ms").arg(ms));
    else
        Log::write(QStringLiteral("speech: model could not be loaded again ") + error);
}
