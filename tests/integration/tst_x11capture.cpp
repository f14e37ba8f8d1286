// Screenshots on a real X server with a real window manager: what only the server, the
// window manager and a compositor decide; window choice and bounds are unit-tested.
#include "FakeSoundPlayer.h"
#include "ScreenCapture.h"
#include "X11DesktopWatch.h"
#include "X11TestWindows.h"
#include "X11WindowSystem.h"
#include "XServer.h"

#include <QCoro/QCoroTask>
#include <QGuiApplication>
#include <QTest>

namespace {

constexpr qint64 otherPid = 31338;

// Left half red, right half blue, nothing else: the crop is exact and the decorations are not
// part of the picture.
bool halves(const QImage& image)
{
    const int w = image.width(), h = image.height();
    const auto near = [&](QPoint p, const QColor& c) {
        const QColor a = image.pixelColor(p);
        return qAbs(a.red() - c.red()) < 24 && qAbs(a.green() - c.green()) < 24 &&
               qAbs(a.blue() - c.blue()) < 24;
    };
    return near({2, 2}, Qt::red) && near({w / 4, h / 2}, Qt::red) && near({w / 2 - 3, h - 3}, Qt::red) &&
           near({w - 3, 2}, Qt::blue) && near({3 * w / 4, h / 2}, Qt::blue) &&
           near({w / 2 + 3, h - 3}, Qt::blue);
}

} // namespace

class TestX11Capture : public QObject {
    Q_OBJECT

public:
    explicit TestX11Capture(XServer& server) : server_(server) {}

private:
    XServer& server_;
    FakeSoundPlayer player_;
    Shutter shutter_{player_, [] { return false; }};

private Q_SLOTS:
    void windowDescriptionsAreRead()
    {
        X11TestWindows windows(server_.display());
        X11WindowSystem system(server_.display());
        QVERIFY(windows.isOpen() && system.isConnected());
        const quint32 d =
            windows.create({.latin1Title = "Caf\xe9 panel", .type = "_NET_WM_WINDOW_TYPE_DOCK"});
        const quint32 o = windows.create({.position = {800, 400}, .title = "other app", .pid = otherPid});
        const quint32 u = windows.create({.position = {100, 500}, .title = "no pid"});
        QVERIFY(d && o && u);

        // Without _NET_WM_PID the server knows the owner.
        QVERIFY(windows.activate(u));
        QCOMPARE(system.frontmostApp()->pid, QCoreApplication::applicationPid());

        QVERIFY(windows.activate(o));
        const QList<WindowInfo> list = system.onScreenWindows();
        // Front to back: the dock stays above everything, the active window next.
        QVERIFY(list.size() >= 3 && list[0].number == d && list[1].number == o && list[2].number == u);
        QCOMPARE(list[0].name, std::optional<QString>(QStringLiteral("Café panel")));
        QVERIFY(list[0].layer != std::optional<int>(0));
        QCOMPARE(list[1].ownerPid, std::optional<qint64>(otherPid));
        // Bounds include the window manager's frame around the 400 x 300 client.
        QVERIFY(list[1].bounds->width() >= 400 && list[1].bounds->height() > 300);
        QCOMPARE(system.focusedFrame(*system.frontmostApp()), list[1].bounds);
    }

    // Each capture path once: the screen with shared memory, and a composited window's own
    // pixmap (without the panel covering it) with GetImage. The compositor then runs to the end.
    void capturesTheFocusedWindowAmongSeveral()
    {
        for (const bool compositor : {false, true}) {
            X11TestWindows windows(server_.display());
            if (compositor) {
                const auto watch = X11DesktopWatch::forApplication();
                QVERIFY(server_.startOnDisplay(QStringLiteral("xcompmgr"), {}));
                QVERIFY(QTest::qWaitFor([&] { return watch->compositorRunning(); }, 5000));
                // An unmanaged panel above them, as the HUD is: the window's own copy leaves it out.
                QVERIFY(windows.create({.size = {700, 200},
                                        .position = {150, 300},
                                        .left = Qt::green,
                                        .right = Qt::green,
                                        .overrideRedirect = true}));
            }
            X11WindowSystem system(server_.display(), !compositor);
            ScreenCapture capture(system, shutter_);
            const quint32 a = windows.create({.size = {500, 400}, .title = "todo.md"});
            const quint32 b =
                windows.create({.size = {1200, 800}, .position = {200, 100}, .title = "plan — ✓"});
            for (const auto& [window, title, size] :
                 {std::tuple{b, QStringLiteral("plan — ✓"), QSize(1200, 800)},
                  std::tuple{a, QStringLiteral("todo.md"), QSize(500, 400)}}) {
                QVERIFY(windows.activate(window));
                QCOMPARE(capture.frontSource()->windowID, std::optional<quint32>(window));
                const std::optional<Item> item = QCoro::waitFor(capture.frontWindow());
                QVERIFY(item);
                QCOMPARE(item->title, title);
                QCOMPARE(item->image.size(), size);
                QVERIFY2(halves(item->image), compositor ? "window pixmap" : "screen");
            }
        }
    }
};

int main(int argc, char* argv[])
{
    XServer::Options options;
    options.windowManager = true;
    XServer server(options);
    if (!server.isRunning()) return 1;
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestX11Capture test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11capture.moc"
