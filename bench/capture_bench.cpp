// Screenshot and clipboard costs on a private Xvfb with openbox:
//  - capture + JPEG of a 1200 x 800 window, from the screen and from the
//    compositor's window pixmap, through shared memory and plain GetImage;
//  - copy (xclip) to onClip latency of the clipboard watcher;
//  - CPU used by the idle clipboard watcher.
//
//   capture_bench [rounds] [idle seconds]     (default 40 and 60)
#include "ClipboardWatch.h"
#include "Jpeg.h"
#include "QtClipboard.h"
#include "Scheduler.h"
#include "ScreenCapture.h"
#include "X11TestWindows.h"
#include "X11WindowSystem.h"
#include "XServer.h"

#include <QClipboard>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

#include <X11/Xlib.h>

namespace {

class Silent final : public SoundPlayer {
public:
    void play(const QString&, double) override {}
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool compositorRuns(const QString& display)
{
    Display* d = XOpenDisplay(display.toLocal8Bit().constData());
    if (!d) return false;
    const bool owned = XGetSelectionOwner(d, XInternAtom(d, "_NET_WM_CM_S0", False)) != 0;
    XCloseDisplay(d);
    return owned;
}

void benchCapture(XServer& server, int rounds, const char* label, bool sharedMemory)
{
    X11WindowSystem system(server.display(), sharedMemory);
    Silent silent;
    Shutter shutter(silent, [] { return false; });
    ScreenCapture capture(system, shutter);
    const auto source = capture.frontSource();
    if (!source || !source->windowID) {
        std::printf("%-34s no window\n", label);
        return;
    }
    std::vector<double> grab, whole, bytes;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        const WindowGrab g = system.grab(*source->windowID);
        grab.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        const std::optional<Item> item = QCoro::waitFor(capture.frontWindow());
        whole.push_back(t.nsecsElapsed() / 1e6);
        if (item) bytes.push_back(item->jpeg.size() / 1024.0);
        if (g.kind != WindowGrab::Kind::ok || !item) {
            std::printf("%-34s capture failed\n", label);
            return;
        }
    }
    std::printf("%-34s grab %6.2f ms   frontWindow (grab+JPEG) %6.2f ms   JPEG %5.1f KB\n", label,
                median(grab), median(whole), median(bytes));
}

void benchClipboard(XServer& server, int rounds)
{
    QtClipboard clipboard;
    MainScheduler scheduler;
    ClipboardWatch watch(clipboard, scheduler);
    QElapsedTimer sinceCopy;
    QElapsedTimer sinceChange;
    std::vector<double> total, poll;
    bool arrived = false;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] { sinceChange.start(); });
    watch.onClip = [&](const Item&) {
        total.push_back(sinceCopy.nsecsElapsed() / 1e6);
        poll.push_back(sinceChange.isValid() ? sinceChange.nsecsElapsed() / 1e6 : 0);
        arrived = true;
    };
    watch.begin(false);
    for (int i = 0; i < rounds; ++i) {
        // Copies land anywhere between two polls, as a user's do.
        QTest::qWait(QRandomGenerator::global()->bounded(300));
        arrived = false;
        sinceChange.invalidate();
        QProcess xclip;
        xclip.setProcessEnvironment(server.environment());
        sinceCopy.start();
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-quiet")});
        xclip.waitForStarted();
        xclip.write(QByteArray("copy number ") + QByteArray::number(i));
        xclip.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return arrived; }, 5000)) std::printf("copy %d not seen\n", i);
        xclip.terminate();
        xclip.waitForFinished(3000);
    }
    std::printf(
        "copy to onClip (xclip start)        median %6.1f ms  (of which change seen to onClip %5.1f ms), %zu "
        "copies\n",
        median(total), median(poll), total.size());
}

void benchIdle(int seconds, bool withWatcher)
{
    QtClipboard clipboard;
    MainScheduler scheduler;
    std::unique_ptr<ClipboardWatch> watch;
    if (withWatcher) {
        watch = std::make_unique<ClipboardWatch>(clipboard, scheduler);
        watch->begin(false);
    }
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A plain event loop: QTest::qWait would wake every few milliseconds itself.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuSeconds() - before;
    std::printf("idle %-28s %d s: CPU %.1f ms (%.4f %%)\n",
                withWatcher ? "with the clipboard watcher" : "event loop alone", seconds, used * 1000,
                used * 100 / (wall.nsecsElapsed() / 1e9));
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    const int idleSeconds = argc > 2 ? std::max(1, atoi(argv[2])) : 60;

    XServer::Options options;
    options.windowManager = true;
    XServer server(options);
    if (!server.isRunning()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);

    X11TestWindows windows(server.display());
    X11TestWindows::Blueprint blueprint;
    blueprint.size = {1200, 800};
    blueprint.title = QStringLiteral("bench");
    blueprint.pid = 4242;
    const quint32 window = windows.create(blueprint);
    if (!window || !windows.activate(window)) {
        std::fprintf(stderr, "the test window did not appear (%u)\n", window);
        return 1;
    }

    benchCapture(server, rounds, "screen, shared memory", true);
    benchCapture(server, rounds, "screen, GetImage", false);
    QProcess* compositor = server.startOnDisplay(QStringLiteral("xcompmgr"), {});
    if (compositor && QTest::qWaitFor([&] { return compositorRuns(server.display()); }, 5000)) {
        benchCapture(server, rounds, "window pixmap, shared memory", true);
        benchCapture(server, rounds, "window pixmap, GetImage", false);
    }

    QElapsedTimer t;
    QImage image(1200, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    std::vector<double> encode;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        Jpeg::encode(image);
        encode.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("JPEG 88 of a plain 1200x800 image  %6.2f ms\n", median(encode));

    benchClipboard(server, rounds);
    benchIdle(idleSeconds, false);
    benchIdle(idleSeconds, true);
    return 0;
}
