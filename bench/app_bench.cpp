// The running application as a user has it: started on a private desktop
// (Xvfb, openbox, xcompmgr, trayer) with a private PulseAudio, then measured
// from outside the process:
//   - tap to HUD on screen: XTest tap of Right Alt until the HUD window is
//     mapped, then Escape (each cancelled session closes the HUD again);
//   - idle CPU and memory over 60 s with nothing happening;
//   - memory after a run of sessions in a row (open, listen, screenshot, cancel).
//
//   app_bench [idle seconds] [sessions]     (defaults 60 and 50)
#include "PulseAudioServer.h"
#include "VellApp.h"
#include "XServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Resident memory split into anonymous and file-backed pages, in MB: the
// model's files are mapped, its tables are not.
QString residentSplit(qint64 pid)
{
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly)) return QStringLiteral("?");
    double anonymous = 0, file = 0;
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2) continue;
        const double mb = fields[1].toDouble() / 1024.0;
        if (fields[0] == "Anonymous:")
            anonymous = mb;
        else if (fields[0] == "Rss:")
            file = mb;
    }
    return QStringLiteral("anonymous %1 MB, file-backed %2 MB")
        .arg(anonymous, 0, 'f', 1)
        .arg(file - anonymous, 0, 'f', 1);
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
    const int sessions = std::max(argc > 2 ? std::atoi(argv[2]) : 50, 1);
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
    std::printf("idle resident: %s\n", qPrintable(residentSplit(app.pid())));

    std::vector<double> taps;
    std::vector<qint64> memory;
    for (int i = 0; i < sessions; ++i) {
        const double ms = session(desk, app);
        if (ms < 0) return std::printf("session %d failed:\n%s\n", i, qPrintable(app.log())), 1;
        taps.push_back(ms);
        memory.push_back(app.residentKiB());
    }
    std::printf("tap to HUD on screen: median %.1f ms, min %.1f, max %.1f (%d sessions)\n", median(taps),
                *std::min_element(taps.begin(), taps.end()), *std::max_element(taps.begin(), taps.end()),
                sessions);
    std::printf("resident after session");
    for (int n : {1, 10, 25, 50, 100, 200, 500, 1000})
        if (n < sessions) std::printf(" %d: %.1f MB,", n, memory[n - 1] / 1024.0);
    std::printf(" %d: %.1f MB\n", sessions, memory.back() / 1024.0);
    std::printf("after sessions: %s\n", qPrintable(residentSplit(app.pid())));
    return 0;
}
