// The shutter sound through a private PulseAudio daemon; a missing server or
// program is silently fine.
#include "PaplaySoundPlayer.h"
#include "PulseAudioServer.h"
#include "Shutter.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

class TestPaplaySound : public QObject {
    Q_OBJECT

    PulseAudioServer server_;

    // The volume of every stream the daemon is playing now.
    QList<int> playing()
    {
        QString out;
        if (!server_.pactl({QStringLiteral("list"), QStringLiteral("sink-inputs")}, &out)) return {};
        QList<int> volumes;
        auto it = QRegularExpression(QStringLiteral("Volume: front-left: (\\d+)")).globalMatch(out);
        while (it.hasNext())
            volumes << it.next().captured(1).toInt();
        return volumes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(server_.isRunning());
        server_.exportEnvironment();
    }

    // The caller never waits for the sound, and a new click cuts the old one short.
    void shutterPlaysAtItsVolumeWithoutBlocking()
    {
        PaplaySoundPlayer player;
        Shutter shutter(player, [] { return true; });
        QElapsedTimer timer;
        timer.start();
        shutter.click();
        qInfo("click returned after %lld ms", timer.elapsed());
        QList<int> volumes;
        QVERIFY(QTest::qWaitFor([&] { return !(volumes = playing()).isEmpty(); }, 5000));
        QVERIFY(player.isPlaying());
        // A linear 0.35 is about 70 % on PulseAudio's cubic scale.
        QCOMPARE(volumes, QList<int>{PaplaySoundPlayer::paVolume(Shutter::volume)});
        QVERIFY(qAbs(volumes.at(0) / 65536.0 - 0.705) < 0.005);

        shutter.click();
        qsizetype most = 0;
        QVERIFY(QTest::qWaitFor(
            [&] { return (most = std::max(most, playing().size())), !player.isPlaying(); }, 5000));
        QCOMPARE(most, 1);
        QVERIFY(QTest::qWaitFor([&] { return playing().isEmpty(); }, 5000));
    }

    void missingPiecesAreSilentlyFine()
    {
        PaplaySoundPlayer noProgram(QStringLiteral("/nonexistent/paplay"));
        noProgram.play(Shutter::defaultFile(), Shutter::volume);
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent");
        PaplaySoundPlayer noServer;
        noServer.play(Shutter::defaultFile(), Shutter::volume);
        QVERIFY(QTest::qWaitFor([&] { return !noServer.isPlaying() && !noProgram.isPlaying(); }, 5000));
        qputenv("PULSE_SERVER", saved);
        QVERIFY(playing().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPaplaySound)
#include "tst_paplaysound.moc"
