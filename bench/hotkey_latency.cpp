// How long a trigger-key tap takes from the injected key events to onTap,
// through a private Xvfb, XInput2 raw events, the monitor and the classifier.
// Also how much CPU the monitor uses while the keyboard is idle.
//
//   hotkey_latency [taps]     (default 300)
#include "Hotkey.h"
#include "Scheduler.h"
#include "X11KeyMonitor.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, static_cast<size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int taps = argc > 1 ? std::max(1, atoi(argv[1])) : 300;

    XServer server;
    if (!server.isRunning()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    Display* keyboard = XOpenDisplay(server.display().toLocal8Bit().constData());
    if (!keyboard) return 1;
    const KeyCode altR = XKeysymToKeycode(keyboard, XK_Alt_R);

    X11KeyMonitor monitor(server.display().toLocal8Bit());
    MainScheduler scheduler;
    Hotkey hotkey(
        monitor, scheduler, [] { return TriggerKey::rightOption; }, [] { return true; });
    QEventLoop loop;
    QElapsedTimer clock;
    std::vector<double> latencies;
    hotkey.onTap = [&] {
        latencies.push_back(clock.nsecsElapsed() / 1e6);
        loop.quit();
    };
    hotkey.start();
    if (!hotkey.installed()) return 1;

    // Each round blocks in the event loop until onTap quits it, or a timeout does.
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    int missed = 0;
    for (int i = 0; i < taps; ++i) {
        const size_t before = latencies.size();
        clock.start();
        XTestFakeKeyEvent(keyboard, altR, True, 0);
        XTestFakeKeyEvent(keyboard, altR, False, 0);
        XFlush(keyboard);
        timeout.start(2000);
        loop.exec();
        timeout.stop();
        if (latencies.size() == before) ++missed;
    }

    // Idle: the event loop waits on the X socket; nothing should wake it.
    const double cpuBefore = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    timeout.start(3000);
    loop.exec();
    const double idleCpu = (cpuSeconds() - cpuBefore) / (idle.nsecsElapsed() / 1e9) * 100.0;

    XCloseDisplay(keyboard);
    if (latencies.empty()) {
        std::fprintf(stderr, "no tap was recognised\n");
        return 1;
    }
    std::printf("taps %d, recognised %zu, missed %d\n", taps, latencies.size(), missed);
    std::printf("key events to onTap: median %.3f ms, p95 %.3f ms, max %.3f ms\n", percentile(latencies, 0.5),
                percentile(latencies, 0.95), *std::max_element(latencies.begin(), latencies.end()));
    std::printf("idle CPU while watching: %.3f %%\n", idleCpu);
    return missed == 0 ? 0 : 1;
}
