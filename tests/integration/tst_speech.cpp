// Speech end to end on real parts: recordings played into a private
// PulseAudio daemon's microphone at real-time pace, captured by Qt
// Multimedia and decoded by pocketsphinx. How results become a transcript is
// pinned by the unit tests.
#include "PocketSphinxEngine.h"
#include "PulseAudioServer.h"
#include "QtAudioInput.h"
#include "Scheduler.h"
#include "Transcriber.h"

#include <QAudioDevice>
#include <QCoro/QCoroTask>
#include <QMediaDevices>
#include <QTest>

#include <optional>

namespace {

QByteArray recording(const QString& name)
{
    return PulseAudioServer::readRecording("/usr/share/pocketsphinx/test/data/" + name);
}

} // namespace

class TestSpeech : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A run that is gone reports nothing even while its decoder is still busy, and the
    // next, through the microphone, reaches the transcript, first partly, then in full.
    void speechReachesTheTranscript()
    {
        PulseAudioServer pulse;
        QVERIFY2(pulse.isRunning(), "the private PulseAudio daemon did not start");
        pulse.exportEnvironment();
        QTRY_VERIFY_WITH_TIMEOUT(!QMediaDevices::defaultAudioInput().isNull(), 10000);
        QCOMPARE(QMediaDevices::defaultAudioInput().id(), QByteArray("mic"));
        const QByteArray goForward = recording("goforward.raw") + PulseAudioServer::silence(1.0);
        QVERIFY(goForward.size() > 32000);
        PocketSphinxEngine engine;
        QCOMPARE(QCoro::waitFor(engine.prepare()), QString());
        QCOMPARE(engine.sampleRate(), 16000);

        QStringList cancelled;
        bool cancelledDone = false;
        auto run = engine.begin(SpeechEngine::Shape::segments,
                                {[&](const SpeechEngine::Result& r) { cancelled << r.text; },
                                 [&](const QString&) { cancelledDone = true; }});
        const qsizetype chunk = QtAudioInput::bufferFrames(16000) * 2;
        for (qsizetype at = 0; at < goForward.size(); at += chunk)
            run->feeder()(goForward.mid(at, chunk));
        run->endAudio();
        run.reset(); // long before the decoder is through its audio
        const QStringList seen = cancelled;

        QtAudioInput audio;
        MainScheduler scheduler;
        Transcriber transcriber(audio, engine, scheduler, false);
        QStringList texts, states;
        float loudest = 0, lastLevel = -1;
        transcriber.onText = [&](const QString& text) { texts << text; };
        transcriber.onState = [&](const Mic& mic) { states << mic.rendered(); };
        transcriber.onLevel = [&](float level) { loudest = std::max(loudest, lastLevel = level); };
        const QString expected = Transcriber::join({"my words", "go forward ten meters"});

        transcriber.start("my words");
        QTRY_VERIFY_WITH_TIMEOUT(states.contains("listening"), 10000);
        pulse.play(goForward);
        QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty() && texts.last() == expected, 10000);
        QVERIFY2(texts.size() > 1, "no partial text came before the final one");
        QVERIFY2(loudest > 0.05f, qPrintable(QString::number(loudest)));
        QTRY_COMPARE_WITH_TIMEOUT(pulse.queued(), 0, 10000);

        QCOMPARE(QCoro::waitFor(transcriber.finish()), expected);
        QCOMPARE(states.last(), "off");
        QCOMPARE(lastLevel, 0.0f);
        QVERIFY(!audio.isRunning());
        QCOMPARE(cancelled, seen);
        QVERIFY(!cancelledDone);
    }
};

QTEST_GUILESS_MAIN(TestSpeech)
#include "tst_speech.moc"
