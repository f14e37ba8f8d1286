// The running application as a user has it: started on a private desktop
// (Xvfb, openbox, xcompmgr, trayer) with a private PulseAudio, then measured
// from outside the process:
//   - tap to HUD on screen: XTest tap of Right Alt until the HUD window is
//     mapped, then Escape (each cancelled session closes the HUD again);
//   - idle CPU and memory over 60 s with nothing happening;
//   - memory after 50 sessions in a row (open, listen, screenshot, cancel).
//
//   app_bench [idle seconds]     (default 60)
#include "PulseAudioServer.h"
#include "VellApp.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One session: tap, wait for the HUD, Escape, wait until it has gone. The time to the HUD in ms.
double session(XDesk& desk, const VellApp& app)
{
    QElapsedTimer clock;
    clock.start();
    desk.tap("Alt_R");
    if (!XDesk::waitUntil([&] { return desk.hudOnScreen(app.pid()); }, 10000, 1)) return -1;
    const double shown = clock.nsecsElapsed() / 1e6;
    // Some listening and the screenshot happen while the session is open.
    XDesk::waitUntil([] { return false; }, 300, 50);
    desk.tap("Escape");
    if (!XDesk::waitUntil([&] { return !desk.hudOnScreen(app.pid()); }, 10000, 5)) return -1;
    return shown;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication qapp(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;
    XServer x(XServer::Options{1600, 1000, true, true});
    if (!x.isRunning()) return std::puts("no X server"), 1;
    x.startOnDisplay(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
    PulseAudioServer pulse;
    if (!pulse.isRunning()) return std::puts("no PulseAudio"), 1;
    XDesk desk(x.display());

    QProcessEnvironment env = x.environment();
    const QProcessEnvironment audio = pulse.environment();
    for (const QString& key : audio.keys())
        env.insert(key, audio.value(key));
    VellApp app(QStringLiteral(VELL_EXECUTABLE), env);
    app.writeSetUpPrefs({{QStringLiteral("sound"), QStringLiteral("false")}});
    QElapsedTimer startup;
    startup.start();
    if (!app.start() || !app.waitForLog(QStringLiteral("speech: model ready"), 60000))
        return std::printf("vell did not start:\n%s\n", qPrintable(app.log())), 1;
    std::printf("start to speech model ready: %.0f ms\n", startup.nsecsElapsed() / 1e6);

    // Settle, then idle.
    XDesk::waitUntil([] { return false; }, 3000, 100);
    const double cpuBefore = app.cpuSeconds();
    const qint64 idleStart = app.residentKiB();
    XDesk::waitUntil([] { return false; }, idleSeconds * 1000, 500);
    const double idleCpu = (app.cpuSeconds() - cpuBefore) / idleSeconds * 100;
    std::printf("idle %d s: CPU %.3f %% of a core, resident %.1f MB (at start of idle %.1f MB)\n",
                idleSeconds, idleCpu, app.residentKiB() / 1024.0, idleStart / 1024.0);

    std::vector<double> taps;
    std::vector<qint64> memory;
    for (int i = 0; i < 50; ++i) {
        const double ms = session(desk, app);
        if (ms < 0) return std::printf("session %d failed:\n%s\n", i, qPrintable(app.log())), 1;
        taps.push_back(ms);
        memory.push_back(app.residentKiB());
    }
    std::printf("tap to HUD on screen: median %.1f ms, min %.1f, max %.1f (50 sessions)\n", median(taps),
                *std::min_element(taps.begin(), taps.end()), *std::max_element(taps.begin(), taps.end()));
    std::printf("resident after session 1: %.1f MB, 10: %.1f MB, 25: %.1f MB, 50: %.1f MB\n",
                memory[0] / 1024.0, memory[9] / 1024.0, memory[24] / 1024.0, memory[49] / 1024.0);
    return 0;
}
