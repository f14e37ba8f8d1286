// The transcriber on virtual time: transcript building, run generations, bounded finish, failures.
#include "FakeAudioInput.h"
#include "FakeSpeechEngine.h"
#include "Transcriber.h"
#include "VirtualScheduler.h"

#include <QTest>

#include <optional>

namespace {

struct Rig {
    explicit Rig(bool legacy = false) : transcriber(audio, engine, scheduler, legacy)
    {
        transcriber.onText = [this](const QString& text) { texts << text; };
        transcriber.onState = [this](const Mic& mic) { states << mic.rendered(); };
        transcriber.onLevel = [this](float level) { levels << level; };
    }

    VirtualScheduler scheduler;
    FakeAudioInput audio;
    FakeSpeechEngine engine;
    Transcriber transcriber;
    QStringList texts;
    QStringList states;
    QList<float> levels;
};

QCoro::Task<void> collect(QCoro::Task<QString> task, std::optional<QString>* out)
{
    *out = co_await std::move(task);
}

// Runs finish() to its end on virtual time; returns the text and how long it took.
std::pair<QString, Scheduler::Duration> finishAndWait(Rig& rig)
{
    std::optional<QString> text;
    const auto began = rig.scheduler.elapsed();
    collect(rig.transcriber.finish(), &text);
    for (int i = 0; !text && i < 5000; ++i)
        rig.scheduler.advance(Scheduler::Duration(1));
    return {text.value_or(QStringLiteral("<finish never returned>")), rig.scheduler.elapsed() - began};
}

// Mono 16-bit samples as bytes.
QByteArray pcm(const QList<int>& samples)
{
    QByteArray bytes;
    for (int s : samples) {
        const qint16 v = qint16(s);
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    return bytes;
}

// "v:text" a volatile result, "f:text" a final one.
void deliver(FakeSpeechEngine::RunRecord& run, const QStringList& events)
{
    for (const QString& event : events)
        run.result(event.mid(2), event.startsWith(QLatin1String("f:")));
}

} // namespace

class TestTranscriber : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void resultsBuildTheTranscript_data()
    {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QString>("keeping");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("finalized");
        QTest::addColumn<QString>("volatileText");

        // clang-format off
        QTest::newRow("segments: finals accumulate, the volatile tail follows") << false << ""
            << QStringList{"v:hel", "f:hello", "v:th", "f:there.", "v:how"} << "hello there. how" << "hello there." << "how";
        QTest::newRow("segments: empty final drops the volatile tail")
            << false << "kept" << QStringList{"v:uh", "f:"} << "kept" << "" << "";
        QTest::newRow("cumulative: kept words continue") << true << "my words"
            << QStringList{"v:more", "f:more words"} << "my words more words" << "" << "more words";
        // clang-format on
    }
    void resultsBuildTheTranscript()
    {
        QFETCH(bool, legacy);
        QFETCH(QString, keeping);
        QFETCH(QStringList, events);
        Rig rig(legacy);
        rig.transcriber.start(keeping);
        QCOMPARE(rig.engine.lastRun().shape,
                 legacy ? SpeechEngine::Shape::cumulative : SpeechEngine::Shape::segments);
        deliver(rig.engine.lastRun(), events);

        QTEST(rig.texts.last(), "last");
        QTEST(rig.transcriber.finalized(), "finalized");
        QTEST(rig.transcriber.volatileText(), "volatileText");
        QCOMPARE(rig.transcriber.prefix(), keeping);
    }

    void startUpFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("userText");

        QTest::newRow("access refused") << "no device"
                                        << "Allow Microphone for Vell in System Settings";
        QTest::newRow("model does not load") << "prepare"
                                             << "Dictation unavailable. See ~/.local/state/Vell/Vell.log";
    }
    void startUpFailures()
    {
        QFETCH(QString, failure);
        QFETCH(QString, userText);
        Rig rig;
        if (failure == QLatin1String("no device")) rig.audio.accessStatus = AccessStatus::denied;
        if (failure == QLatin1String("prepare")) rig.engine.prepareError = QStringLiteral("model missing");

        rig.transcriber.start(QStringLiteral("kept words"));

        const QString failed = Mic::failed(userText).rendered();
        if (failure == QLatin1String("no device")) {
            // Reported at once, and nothing else is touched.
            QCOMPARE(rig.states, (QStringList{"off", failed}));
            QCOMPARE(rig.engine.prepares, 0);
            QVERIFY(rig.engine.runs.empty());
        } else {
            QCOMPARE(rig.states, (QStringList{"off", "preparing", failed}));
        }
        QVERIFY(!rig.audio.isRunning());

        // finish() after a failed start answers at once with what was kept.
        const auto [text, took] = finishAndWait(rig);
        QCOMPARE(text, QStringLiteral("kept words"));
        QCOMPARE(took.count(), 0);
        for (const auto& run : rig.engine.runs)
            QVERIFY(run->cancelled);
    }

    // Listening, levels and audio reaching the recogniser are checked end to end with a real
    // microphone; a level already on its way when the microphone stopped only shows here.
    void noLevelAfterTheMicrophoneStops()
    {
        Rig rig;
        rig.transcriber.start({});
        rig.audio.capture(pcm({16384, -16384}));
        QCOMPARE(rig.levels.last(), 0.5f);
        QCOMPARE(AudioInput::level(pcm({-32768}) + QByteArray(1, '\x7f')), 1.0f); // odd byte ignored
        rig.transcriber.teardown();
        QCOMPARE(rig.levels.last(), 0.0f);
        rig.audio.lateLevel(0.8f);
        QCOMPARE(rig.levels.last(), 0.0f);
    }

    // A run ended by a new start while finish() waits on it.
    void anEndedRunIsForgotten()
    {
        Rig rig(true);
        rig.transcriber.start({});
        auto old = rig.engine.runs.back();
        old->result(QStringLiteral("first"));
        std::optional<QString> text;
        collect(rig.transcriber.finish(), &text);
        QVERIFY(!text);

        rig.transcriber.start(QStringLiteral("again"));
        rig.scheduler.runDue();
        QVERIFY(old->cancelled);
        // The waiting finish() answers at once, with the text of the moment.
        QCOMPARE(text.value_or(QStringLiteral("<pending>")), QStringLiteral("again"));

        const QStringList textsBefore = rig.texts;
        const QStringList statesBefore = rig.states;
        old->result(QStringLiteral("late words"), true);
        old->done(QStringLiteral("late error"));
        rig.scheduler.advance(2.0); // past the finish limit
        QCOMPARE(rig.texts, textsBefore);
        QCOMPARE(rig.states, statesBefore);
        // The new run is unharmed and still works.
        QVERIFY(rig.audio.isRunning());
        QVERIFY(!rig.engine.lastRun().cancelled);
        rig.engine.lastRun().result(QStringLiteral("words"), true);
        QCOMPARE(finishAndWait(rig).first, QStringLiteral("again words"));
    }

    void overtakenStartUpStaysQuiet()
    {
        Rig rig;
        rig.engine.holdPrepare = true;
        rig.engine.prepareError = QStringLiteral("model missing");
        rig.transcriber.start(QStringLiteral("first"));
        rig.transcriber.teardown();
        QCOMPARE(rig.engine.waitingPrepares(), 1);
        rig.states.clear();

        rig.engine.completePrepare();

        // The abandoned start-up neither reports nor opens the microphone.
        QCOMPARE(rig.states, QStringList{});
        QVERIFY(rig.engine.runs.empty());
        QCOMPARE(rig.audio.starts, 0);

        // A newer run started while an older one loads gets its own answer.
        rig.engine.prepareError.clear();
        rig.transcriber.start(QStringLiteral("second"));
        rig.transcriber.start(QStringLiteral("third"));
        QCOMPARE(rig.engine.waitingPrepares(), 2);
        rig.engine.completePrepare();
        QCOMPARE(rig.engine.runs.size(), std::size_t(1));
        QCOMPARE(rig.audio.starts, 1);
        QCOMPARE(rig.states.count(QStringLiteral("listening")), 1);
        QCOMPARE(rig.transcriber.prefix(), QStringLiteral("third"));
    }

    void finishIsBounded_data()
    {
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<int>("answerAfterMs"); // -1: the recogniser never answers
        QTest::addColumn<int>("tookMs");
        QTest::addColumn<QString>("text");

        QTest::newRow("segments, silent recogniser") << false << -1 << 700 << "so far";
        QTest::newRow("segments, last words at 0.2 s") << false << 200 << 200 << "so far and the end";
        QTest::newRow("cumulative, last words after its longer limit") << true << 1000 << 900 << "so far";
    }
    void finishIsBounded()
    {
        QFETCH(bool, legacy);
        QFETCH(int, answerAfterMs);
        Rig rig(legacy);
        rig.transcriber.start({});
        auto run = rig.engine.runs.back();
        run->result(QStringLiteral("so far"));
        if (answerAfterMs >= 0) {
            rig.scheduler.schedule(Scheduler::Duration(answerAfterMs), [run] {
                run->result(QStringLiteral("so far and the end"), true);
                run->done({});
            });
        }

        const auto [text, took] = finishAndWait(rig);

        QTEST(text, "text");
        QTEST(int(took.count()), "tookMs");
        QVERIFY(run->audioEnded);
        QVERIFY(run->cancelled);
        QVERIFY(!rig.audio.isRunning());
        QCOMPARE(rig.states.last(), QStringLiteral("off"));
        QCOMPARE(rig.states.count(QStringLiteral("off")), 2); // the first state, then the end
        // Words that come after the limit are not reported either.
        rig.scheduler.advance(2.0);
        QCOMPARE(rig.texts.contains(QStringLiteral("so far and the end")),
                 text == QStringLiteral("so far and the end"));
    }
};

QTEST_GUILESS_MAIN(TestTranscriber)
#include "tst_transcriber.moc"
