// Speech end to end on real parts: recordings played into a private
// PulseAudio daemon's microphone at real-time pace, captured by Qt
// Multimedia and decoded by pocketsphinx. How results become a transcript is
// pinned by the unit tests.
#include "PocketSphinxEngine.h"
#include "PulseAudioServer.h"
#include "QtAudioInput.h"
#include "Scheduler.h"
#include "ScopedLog.h"
#include "Transcriber.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QTest>

#include <memory>
#include <optional>

namespace {

const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data/");
const QString goForward = QStringLiteral("go forward ten meters");
const QString goSomewhere = QStringLiteral("go somewhere and do something");

QByteArray recording(const QString& name)
{
    return PulseAudioServer::readRecording(testData + name);
}

QCoro::Task<void> collect(QCoro::Task<QString> task, std::optional<QString>* out)
{
    *out = co_await std::move(task);
}

QCoro::Task<void> collectPrepare(SpeechEngine& engine, std::optional<QString>* out)
{
    *out = co_await engine.prepare();
}

// What a transcriber reported.
struct Reports {
    explicit Reports(Transcriber& t)
    {
        t.onText = [this](const QString& text) { texts << text; };
        t.onState = [this](const Mic& mic) { states << mic.rendered(); };
        t.onLevel = [this](float level) {
            levels << level;
            loudest = std::max(loudest, level);
        };
    }
    QString lastText() const { return texts.isEmpty() ? QString() : texts.last(); }
    QStringList texts;
    QStringList states;
    QList<float> levels;
    float loudest = 0;
};

// Everything one recogniser run reported.
struct RunLog {
    QStringList results; // "v:text" or "f:text"
    std::optional<QString> done;
    SpeechEngine::Callbacks callbacks()
    {
        return {[this](const SpeechEngine::Result& r) { results << (r.isFinal ? "f:" : "v:") + r.text; },
                [this](const QString& error) { done = error; }};
    }
    QStringList finals() const
    {
        QStringList out;
        for (const QString& r : results)
            if (r.startsWith(QLatin1String("f:"))) out << r.mid(2);
        return out;
    }
};

void feedAll(SpeechEngine::Run& run, const QByteArray& pcm)
{
    const auto feed = run.feeder();
    const qsizetype chunk = QtAudioInput::bufferFrames(16000) * 2;
    for (qsizetype at = 0; at < pcm.size(); at += chunk)
        feed(pcm.mid(at, chunk));
}

} // namespace

class TestSpeech : public QObject {
    Q_OBJECT

    std::unique_ptr<PulseAudioServer> pulse_;
    std::unique_ptr<PocketSphinxEngine> engine_;
    std::unique_ptr<QtAudioInput> audio_;
    std::unique_ptr<MainScheduler> scheduler_;

private Q_SLOTS:
    void initTestCase()
    {
        pulse_ = std::make_unique<PulseAudioServer>();
        QVERIFY2(pulse_->isRunning(), "the private PulseAudio daemon did not start");
        pulse_->exportEnvironment();
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::defaultAudioInput().isNull(), 10000);
        QCOMPARE(QMediaDevices::defaultAudioInput().id(), QByteArray("mic"));
        QVERIFY(!recording(QStringLiteral("goforward.raw")).isEmpty());

        engine_ = std::make_unique<PocketSphinxEngine>();
        audio_ = std::make_unique<QtAudioInput>();
        scheduler_ = std::make_unique<MainScheduler>();
        std::optional<QString> prepared;
        collectPrepare(*engine_, &prepared);
        QTRY_VERIFY_WITH_TIMEOUT(prepared.has_value(), 20000);
        QCOMPARE(*prepared, QString());
        QCOMPARE(engine_->sampleRate(), 16000);
    }

    void cleanupTestCase()
    {
        audio_.reset();
        engine_.reset();
        pulse_.reset();
    }

    // A run that is gone reports nothing even while its decoder is still busy; the
    // next one hears two utterances, each ended by a second of silence, as one text.
    void cancelledRunReportsNothingAndTheNextHearsAll()
    {
        RunLog first;
        auto run = engine_->begin(SpeechEngine::Shape::segments, first.callbacks());
        feedAll(*run, recording(QStringLiteral("goforward.raw")) + PulseAudioServer::silence(1.0));
        run->endAudio();
        // Gone long before the decoder is through its audio.
        run.reset();
        const QStringList seen = first.results;

        RunLog second;
        auto next = engine_->begin(SpeechEngine::Shape::cumulative, second.callbacks());
        feedAll(*next, recording(QStringLiteral("goforward.raw")) + PulseAudioServer::silence(1.0) +
                           recording(QStringLiteral("something.raw")) + PulseAudioServer::silence(1.0));
        next->endAudio();
        QTRY_VERIFY_WITH_TIMEOUT(second.done.has_value(), 20000);

        QCOMPARE(*second.done, QString());
        QCOMPARE(first.results, seen);
        QVERIFY(!first.done);
        QCOMPARE(second.finals(), QStringList{goForward + QLatin1Char(' ') + goSomewhere});
    }

    void speechReachesTheTranscript()
    {
        ScopedLog log;
        Transcriber transcriber(*audio_, *engine_, *scheduler_, false);
        Reports reports(transcriber);
        const QString expected = Transcriber::join({QStringLiteral("my words"), goForward});

        transcriber.start(QStringLiteral("my words"));
        QTRY_VERIFY_WITH_TIMEOUT(reports.states.contains(QStringLiteral("listening")), 10000);
        QCOMPARE(log.messagesStartingWith(QStringLiteral("speech: ")),
                 QStringList{"speech: listening (pocketsphinx) 1 ch, 16000 Hz, Int16"});
        pulse_->play(recording(QStringLiteral("goforward.raw")) + PulseAudioServer::silence(1.0));

        QTRY_COMPARE_WITH_TIMEOUT(reports.lastText(), expected, 10000);
        QVERIFY2(reports.texts.size() > 1, "no partial text came before the final one");
        QVERIFY2(reports.loudest > 0.05f, qPrintable(QString::number(reports.loudest)));
        QTRY_COMPARE_WITH_TIMEOUT(pulse_->queued(), 0, 10000);

        std::optional<QString> text;
        collect(transcriber.finish(), &text);
        QTRY_VERIFY_WITH_TIMEOUT(text.has_value(), 2000);
        QCOMPARE(*text, expected);
        QCOMPARE(reports.states.last(), QStringLiteral("off"));
        QCOMPARE(reports.levels.last(), 0.0f);
        QVERIFY(!audio_->isRunning());
    }
};

QTEST_GUILESS_MAIN(TestSpeech)
#include "tst_speech.moc"
