// Speech end to end on real parts: recordings played into a private
// PulseAudio daemon's microphone at real-time pace, captured by Qt
// Multimedia, decoded by pocketsphinx, and turned into a transcript.
#include "PocketSphinxEngine.h"
#include "PulseAudioServer.h"
#include "QtAudioInput.h"
#include "Scheduler.h"
#include "ScopedLog.h"
#include "Transcriber.h"

#include <QAudioDevice>
#include <QElapsedTimer>
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

    void engineShapesUtterances_data()
    {
        QTest::addColumn<bool>("cumulative");
        QTest::addColumn<QStringList>("finals");
        QTest::newRow("segments") << false << QStringList{goForward, goSomewhere};
        QTest::newRow("cumulative") << true << QStringList{goForward + QLatin1Char(' ') + goSomewhere};
    }
    void engineShapesUtterances()
    {
        QFETCH(bool, cumulative);
        RunLog log;
        auto run = engine_->begin(
            cumulative ? SpeechEngine::Shape::cumulative : SpeechEngine::Shape::segments, log.callbacks());
        // Two utterances, each ended by a second of silence.
        feedAll(*run, recording(QStringLiteral("goforward.raw")) + PulseAudioServer::silence(1.0) +
                          recording(QStringLiteral("something.raw")) + PulseAudioServer::silence(1.0));
        run->endAudio();
        QTRY_VERIFY_WITH_TIMEOUT(log.done.has_value(), 20000);

        QCOMPARE(*log.done, QString());
        QTEST(log.finals(), "finals");
        QVERIFY2(log.results.first().startsWith(QLatin1String("v:")), qPrintable(log.results.join(" | ")));
        // Nothing is reported twice in a row.
        for (qsizetype i = 1; i < log.results.size(); ++i)
            QVERIFY2(log.results.at(i) != log.results.at(i - 1), qPrintable(log.results.join(" | ")));
    }

    void cancelledRunReportsNothing()
    {
        RunLog first;
        auto run = engine_->begin(SpeechEngine::Shape::segments, first.callbacks());
        feedAll(*run, recording(QStringLiteral("goforward.raw")) + PulseAudioServer::silence(1.0));
        run->endAudio();
        // Gone long before the decoder is through its audio.
        run.reset();
        const QStringList seen = first.results;

        RunLog second;
        auto next = engine_->begin(SpeechEngine::Shape::segments, second.callbacks());
        feedAll(*next, recording(QStringLiteral("something.raw")) + PulseAudioServer::silence(1.0));
        next->endAudio();
        QTRY_VERIFY_WITH_TIMEOUT(second.done.has_value(), 20000);

        QCOMPARE(first.results, seen);
        QVERIFY(!first.done);
        QCOMPARE(second.finals(), QStringList{goSomewhere});
    }

    void speechReachesTheTranscript_data()
    {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QString>("keeping");
        QTest::addColumn<QString>("listeningLine");
        QTest::newRow("segments, continuing") << false << "my words"
                                              << "speech: listening (pocketsphinx) 1 ch, 16000 Hz, Int16";
        QTest::newRow("cumulative, continuing") << true << "my words"
                                                << "speech: listening (pocketsphinx, on-device true)";
    }
    void speechReachesTheTranscript()
    {
        QFETCH(bool, legacy);
        QFETCH(QString, keeping);
        QFETCH(QString, listeningLine);
        ScopedLog log;
        Transcriber transcriber(*audio_, *engine_, *scheduler_, legacy);
        Reports reports(transcriber);
        const QString expected = Transcriber::join({keeping, goForward});

        transcriber.start(keeping);
        QTRY_VERIFY_WITH_TIMEOUT(reports.states.contains(QStringLiteral("listening")), 10000);
        QCOMPARE(log.messagesStartingWith(QStringLiteral("speech: ")), QStringList{listeningLine});
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

    void finishDrainsTheLastWords()
    {
        Transcriber transcriber(*audio_, *engine_, *scheduler_, false);
        Reports reports(transcriber);
        transcriber.start({});
        QTRY_VERIFY_WITH_TIMEOUT(reports.states.contains(QStringLiteral("listening")), 10000);
        // No silence after the words: the recogniser has not closed the utterance yet.
        pulse_->play(recording(QStringLiteral("goforward.raw")));
        QTRY_COMPARE_WITH_TIMEOUT(pulse_->queued(), 0, 10000);

        QElapsedTimer clock;
        clock.start();
        std::optional<QString> text;
        collect(transcriber.finish(), &text);
        QTRY_VERIFY_WITH_TIMEOUT(text.has_value(), 2000);
        const qint64 took = clock.elapsed();

        QCOMPARE(*text, goForward);
        QVERIFY2(took < 900, qPrintable(QStringLiteral("finish took %1 ms").arg(took)));
    }

    // Last: it takes the daemon's inputs away and puts them back.
    void noMicrophone()
    {
        ScopedLog log;
        QVERIFY(pulse_->removeInputs());
        QTRY_VERIFY_WITH_TIMEOUT(QMediaDevices::defaultAudioInput().isNull(), 10000);
        Transcriber transcriber(*audio_, *engine_, *scheduler_, false);
        Reports reports(transcriber);

        transcriber.start(QStringLiteral("kept"));

        QCOMPARE(
            reports.states,
            (QStringList{
                "off",
                Mic::failed(QStringLiteral("Allow Microphone for Vell in System Settings")).rendered()}));
        QCOMPARE(log.messagesStartingWith(QStringLiteral("speech: ")),
                 QStringList{"speech: mic not authorized (2)"});
        std::optional<QString> text;
        collect(transcriber.finish(), &text);
        QCOMPARE(text.value_or(QString()), QStringLiteral("kept"));

        QVERIFY(pulse_->restoreInputs());
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::defaultAudioInput().isNull(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestSpeech)
#include "tst_speech.moc"
