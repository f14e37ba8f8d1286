// Without a compositor the HUD of a new session waits for the automatic
// screenshot, so the picture shows the window and not the HUD.
#include "CaptureFirst.h"
#include "ControllerFakes.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QtTest>

class TestCaptureFirst : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hudWaitsForTheScreenshot_data()
    {
        QTest::addColumn<bool>("hold");
        QTest::addColumn<int>("shotMs");    // when the screenshot is done; -1: none is taken
        QTest::addColumn<int>("hideMs");    // when the session ends; -1: it does not
        QTest::addColumn<int>("visibleMs"); // when the HUD appears; -1: never
        QTest::newRow("compositor: at once") << false << 50 << -1 << 0;
        QTest::newRow("after the screenshot") << true << 50 << -1 << 50;
        QTest::newRow("no screenshot: after the longest wait") << true << -1 << -1 << 300;
        QTest::newRow("slow screenshot: the wait is bounded") << true << 500 << -1 << 300;
        QTest::newRow("session ended while waiting") << true << 100 << 20 << -1;
    }
    void hudWaitsForTheScreenshot()
    {
        QFETCH(bool, hold);
        QFETCH(int, shotMs);
        QFETCH(int, hideMs);
        QFETCH(int, visibleMs);
        VirtualScheduler clock;
        FakeCapture capture(clock);
        capture.delay = Scheduler::Duration(std::max(shotMs, 0));
        FakeHud hud;
        CaptureFirst first(capture, clock, [hold] { return hold; });
        HudSurface& surface = first.guard(hud);

        surface.show();
        std::optional<StartedTask<std::optional<Item>>> shot;
        if (shotMs >= 0) shot.emplace(first.frontWindow());
        int shownAt = -1;
        for (int ms = 0; ms <= 600; ms += 10) {
            if (ms == hideMs) surface.hide();
            clock.advance(ms == 0 ? 0 : 0.01);
            if (shownAt < 0 && hud.visible) shownAt = ms;
        }
        QCOMPARE(shownAt, visibleMs);
        QCOMPARE(hud.shows, visibleMs < 0 ? 0 : 1);
    }

    // A screenshot taken later in the session ("add this") does not show a hidden HUD again.
    void laterScreenshotsLeaveTheHudAlone()
    {
        VirtualScheduler clock;
        FakeCapture capture(clock);
        FakeHud hud;
        CaptureFirst first(capture, clock, [] { return true; });
        HudSurface& surface = first.guard(hud);
        surface.show();
        StartedTask<std::optional<Item>> opening(first.frontWindow());
        clock.advance(0.01);
        surface.hide();
        StartedTask<std::optional<Item>> addThis(first.frontWindow());
        clock.advance(0.5);
        QVERIFY(opening.done() && addThis.done());
        QCOMPARE(hud.shows, 1);
        QVERIFY(!hud.visible);
    }
};

QTEST_GUILESS_MAIN(TestCaptureFirst)
#include "tst_capturefirst.moc"
