// The recogniser's model over a long-running session of the application: it
// is let go after a quiet spell, giving its memory back, and the next run
// loads it again without losing the words spoken while it loads.
#include "PocketSphinxEngine.h"
#include "PulseAudioServer.h"
#include "QtAudioInput.h"
#include "ScopedLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace std::chrono_literals;

namespace {

const QString testData = QStringLiteral("/usr/share/pocketsphinx/test/data/");

// Anonymous resident memory of this process, in MB.
double anonymousMB()
{
    QFile rollup(QStringLiteral("/proc/self/smaps_rollup"));
    if (!rollup.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : rollup.readAll().split('\n'))
        if (line.startsWith("Anonymous:")) return line.simplified().split(' ').value(1).toDouble() / 1024.0;
    return -1;
}

QCoro::Task<void> collectPrepare(SpeechEngine& engine, std::optional<QString>* out)
{
    *out = co_await engine.prepare();
}

struct RunLog {
    QStringList finals;
    std::optional<QString> done;
    SpeechEngine::Callbacks callbacks()
    {
        return {[this](const SpeechEngine::Result& r) {
                    if (r.isFinal) finals << r.text;
                },
                [this](const QString& error) { done = error; }};
    }
};

// A run fed the whole recording at once, as a microphone that started before
// the model was back would have queued it.
QStringList recognise(PocketSphinxEngine& engine, const QString& name)
{
    RunLog log;
    auto run = engine.begin(SpeechEngine::Shape::segments, log.callbacks());
    const auto feed = run->feeder();
    const QByteArray pcm = PulseAudioServer::readRecording(testData + name) + PulseAudioServer::silence(1.0);
    const qsizetype chunk = QtAudioInput::bufferFrames(16000) * 2;
    for (qsizetype at = 0; at < pcm.size(); at += chunk)
        feed(pcm.mid(at, chunk));
    run->endAudio();
    if (!QTest::qWaitFor([&] { return log.done.has_value(); }, 30000)) return {QStringLiteral("(no end)")};
    if (!log.done->isEmpty()) return {QStringLiteral("(error) ") + *log.done};
    return log.finals;
}

} // namespace

class TestSpeechModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void quietModelIsLetGoAndComesBackWithItsAudio()
    {
        ScopedLog log;
        QTemporaryDir cache;
        PocketSphinxEngine::Model model = PocketSphinxEngine::Model::installed();
        model.cache = cache.path();
        const double before = anonymousMB();
        PocketSphinxEngine engine(model);
        engine.setKeepLoaded(300ms);
        std::optional<QString> prepared;
        collectPrepare(engine, &prepared);
        QTRY_VERIFY_WITH_TIMEOUT(prepared.has_value(), 30000);
        QCOMPARE(*prepared, QString());
        const double loaded = anonymousMB();
        // The cut-down dictionary was made and is what got loaded.
        QCOMPARE(QDir(cache.path()).entryList(QDir::Files).size(), 1);

        // A run holds the model however long it stays open.
        {
            RunLog open;
            auto run = engine.begin(SpeechEngine::Shape::segments, open.callbacks());
            QTest::qWait(600);
            QVERIFY(log.messagesStartingWith(QStringLiteral("speech: model let go")).isEmpty());
        }

        QTRY_COMPARE_WITH_TIMEOUT(log.messagesStartingWith(QStringLiteral("speech: model let go")).size(), 1,
                                  5000);
        const double released = anonymousMB();
        QVERIFY2(loaded - before > 40 && loaded - released > 40,
                 qPrintable(QStringLiteral("anonymous MB: %1 before, %2 loaded, %3 let go")
                                .arg(before)
                                .arg(loaded)
                                .arg(released)));

        // Ready all along: the next run loads the model itself and loses none of its words.
        QCOMPARE(engine.sampleRate(), 16000);
        QCOMPARE(recognise(engine, QStringLiteral("goforward.raw")),
                 QStringList{QStringLiteral("go forward ten meters")});
        QCOMPARE(log.messagesStartingWith(QStringLiteral("speech: model loaded again")).size(), 1);
        // And is let go again once that run is over.
        QTRY_COMPARE_WITH_TIMEOUT(log.messagesStartingWith(QStringLiteral("speech: model let go")).size(), 2,
                                  5000);
    }
};

QTEST_GUILESS_MAIN(TestSpeechModel)
#include "tst_speechmodel.moc"
