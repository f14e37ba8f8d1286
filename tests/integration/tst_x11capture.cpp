// Screenshots on a real X server with a real window manager: the focused
// window is found among several, its own pixels are captured at full size
// (through the compositor's copy when one runs, so a panel drawn above it
// stays out), window descriptions are read as the window manager keeps them
// and vanished windows fail quietly.
#include "FakeSoundPlayer.h"
#include "ScopedLog.h"
#include "ScreenCapture.h"
#include "X11TestWindows.h"
#include "X11WindowSystem.h"
#include "XServer.h"

#include <QCoro/QCoroTask>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <X11/Xlib.h>

namespace {

constexpr qint64 notesPid = 31337;
constexpr qint64 otherPid = 31338;

bool near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 && qAbs(a.blue() - b.blue()) < 24;
}

} // namespace

class TestX11Capture : public QObject {
    Q_OBJECT

public:
    explicit TestX11Capture(XServer& server) : server_(server) {}

private:
    XServer& server_;
    std::unique_ptr<X11TestWindows> windows_;
    std::unique_ptr<X11WindowSystem> system_;
    FakeSoundPlayer player_;
    Shutter shutter_{player_, [] { return false; }};
    std::unique_ptr<QProcess> compositor_;

    static std::optional<Item> shoot(ScreenCapture& capture) { return QCoro::waitFor(capture.frontWindow()); }

    X11TestWindows::Blueprint notes(const QString& title, QSize size, QPoint at = {60, 60})
    {
        X11TestWindows::Blueprint blueprint;
        blueprint.title = title;
        blueprint.size = size;
        blueprint.position = at;
        blueprint.pid = notesPid;
        return blueprint;
    }

    bool compositorRuns() const
    {
        Display* d = XOpenDisplay(server_.display().toLocal8Bit().constData());
        if (!d) return false;
        const bool owned = XGetSelectionOwner(d, XInternAtom(d, "_NET_WM_CM_S0", False)) != 0;
        XCloseDisplay(d);
        return owned;
    }

    void startCompositor()
    {
        compositor_ = std::make_unique<QProcess>();
        compositor_->setProcessEnvironment(server_.environment());
        compositor_->start(QStringLiteral("xcompmgr"), {});
        QVERIFY(compositor_->waitForStarted(5000));
        QVERIFY(QTest::qWaitFor([this] { return compositorRuns(); }, 5000));
    }

    void stopCompositor()
    {
        if (!compositor_) return;
        compositor_->terminate();
        if (!compositor_->waitForFinished(3000)) {
            compositor_->kill();
            compositor_->waitForFinished(3000);
        }
        compositor_.reset();
        QVERIFY(QTest::qWaitFor([this] { return !compositorRuns(); }, 5000));
    }

    // Left half red, right half blue, nothing else: the crop is exact and the
    // decorations are not part of the picture.
    void verifyHalves(const QImage& image)
    {
        const int w = image.width(), h = image.height();
        for (const QPoint p : {QPoint(2, 2), QPoint(w / 4, h / 2), QPoint(w / 2 - 3, h - 3)})
            QVERIFY2(near(image.pixelColor(p), Qt::red), qPrintable(image.pixelColor(p).name()));
        for (const QPoint p : {QPoint(w - 3, 2), QPoint(3 * w / 4, h / 2), QPoint(w / 2 + 3, h - 3)})
            QVERIFY2(near(image.pixelColor(p), Qt::blue), qPrintable(image.pixelColor(p).name()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        windows_ = std::make_unique<X11TestWindows>(server_.display());
        QVERIFY(windows_->isOpen());
        system_ = std::make_unique<X11WindowSystem>(server_.display());
        QVERIFY(system_->isConnected());
    }

    void cleanup()
    {
        stopCompositor();
        // Fresh windows for every test.
        windows_ = std::make_unique<X11TestWindows>(server_.display());
    }

    void cleanupTestCase()
    {
        windows_.reset();
        system_.reset();
    }

    void capturesTheFocusedWindowAmongSeveral_data()
    {
        QTest::addColumn<bool>("compositor");
        QTest::addColumn<bool>("sharedMemory");
        QTest::newRow("screen, shared memory") << false << true;
        QTest::newRow("screen, GetImage") << false << false;
        QTest::newRow("window pixmap, shared memory") << true << true;
        QTest::newRow("window pixmap, GetImage") << true << false;
    }

    void capturesTheFocusedWindowAmongSeveral()
    {
        QFETCH(bool, compositor);
        QFETCH(bool, sharedMemory);
        if (compositor) startCompositor();
        X11WindowSystem system(server_.display(), sharedMemory);
        const quint32 a = windows_->create(notes(QStringLiteral("todo.md"), {500, 400}, {40, 40}));
        const quint32 b = windows_->create(notes(QStringLiteral("plan — ✓"), {1200, 800}, {200, 100}));
        const quint32 c = windows_->create(notes(QStringLiteral("scratch"), {600, 300}, {300, 500}));
        QVERIFY(a && b && c);
        ScreenCapture capture(system, shutter_);

        for (const auto& [window, title, size] :
             {std::tuple{b, QStringLiteral("plan — ✓"), QSize(1200, 800)},
              std::tuple{a, QStringLiteral("todo.md"), QSize(500, 400)}}) {
            QVERIFY(windows_->activate(window));
            const auto source = capture.frontSource();
            QVERIFY(source);
            QCOMPARE(source->windowID, std::optional<quint32>(window));
            QCOMPARE(source->title, title);
            QCOMPARE(source->app, QStringLiteral("Notes"));

            ScopedLog log;
            const std::optional<Item> item = shoot(capture);
            QVERIFY(item);
            QCOMPARE(item->image.size(), size);
            QCOMPARE(item->title, title);
            verifyHalves(item->image);
            QImage decoded;
            QVERIFY(decoded.loadFromData(item->jpeg, "JPEG"));
            QCOMPARE(decoded.size(), size);
            // The logged frame is the window as the user sees it, decorations included.
            QCOMPARE(log.messages().size(), 1);
            const QRegularExpressionMatch m =
                QRegularExpression(QStringLiteral("^capture: Notes window (\\d+)x(\\d+) → (\\d+)x(\\d+)$"))
                    .match(log.messages().at(0));
            QVERIFY2(m.hasMatch(), qPrintable(log.messages().at(0)));
            QVERIFY(m.captured(1).toInt() >= size.width() && m.captured(2).toInt() > size.height());
            QCOMPARE(QSize(m.captured(3).toInt(), m.captured(4).toInt()), size);
        }
    }

    void compositedWindowIsCapturedWithoutWhatCoversIt()
    {
        startCompositor();
        const quint32 target =
            windows_->create(notes(QStringLiteral("under the panel"), {800, 500}, {100, 100}));
        QVERIFY(target);
        QVERIFY(windows_->activate(target));
        // An unmanaged panel above it, as the HUD is.
        X11TestWindows::Blueprint panel;
        panel.overrideRedirect = true;
        panel.position = {150, 300};
        panel.size = {700, 200};
        panel.left = panel.right = Qt::green;
        panel.pid = otherPid;
        QVERIFY(windows_->create(panel));

        ScreenCapture capture(*system_, shutter_);
        const std::optional<Item> item = shoot(capture);
        QVERIFY(item);
        QCOMPARE(item->image.size(), QSize(800, 500));
        verifyHalves(item->image);
    }

    void partlyOffScreenWindowKeepsItsSize()
    {
        const quint32 w = windows_->create(notes(QStringLiteral("edge"), {600, 400}, {100, 100}));
        QVERIFY(w);
        QVERIFY(windows_->activate(w));
        const std::optional<QPoint> at = windows_->moveTo(w, {-250, 200});
        QVERIFY(at);
        QVERIFY2(at->x() < 0, "the window manager kept the window on screen");
        const WindowGrab grab = system_->grab(w);
        QCOMPARE(grab.kind, WindowGrab::Kind::ok);
        QCOMPARE(grab.image.size(), QSize(600, 400));
        // What is off screen cannot be seen without a compositor: black, not garbage.
        QCOMPARE(grab.image.pixelColor(1, 1), QColor(Qt::black));
        QVERIFY(near(grab.image.pixelColor(599, 399), Qt::blue));
    }

    void processIdComesFromTheServerWhenTheWindowHasNone()
    {
        X11TestWindows::Blueprint blueprint = notes(QStringLiteral("no pid"), {500, 300});
        blueprint.pid.reset();
        const quint32 w = windows_->create(blueprint);
        QVERIFY(w);
        QVERIFY(windows_->activate(w));
        const std::optional<FrontApp> app = system_->frontmostApp();
        QVERIFY(app);
        QCOMPARE(app->pid, QCoreApplication::applicationPid());
        QCOMPARE(app->bundleID, QStringLiteral("Notes"));
        QCOMPARE(app->instanceName, QStringLiteral("notes"));
        ScreenCapture capture(*system_, shutter_);
        QCOMPARE(capture.frontSource()->windowID, std::optional<quint32>(w));
    }

    void windowDescriptionsAreRead()
    {
        X11TestWindows::Blueprint dock = notes({}, {1600, 120}, {0, 0});
        dock.type = "_NET_WM_WINDOW_TYPE_DOCK";
        dock.latin1Title = "Caf\xe9 panel";
        const quint32 d = windows_->create(dock);
        X11TestWindows::Blueprint faded = notes(QStringLiteral("faded"), {400, 300}, {500, 400});
        faded.opacity = 0.005;
        const quint32 f = windows_->create(faded);
        X11TestWindows::Blueprint other = notes(QStringLiteral("other app"), {400, 300}, {800, 400});
        other.pid = otherPid;
        const quint32 o = windows_->create(other);
        QVERIFY(d && f && o);

        QVERIFY(windows_->activate(f));
        QVERIFY(windows_->activate(o));
        const QList<WindowInfo> list = system_->onScreenWindows();
        const auto indexOf = [&](quint32 id) {
            for (qsizetype i = 0; i < list.size(); ++i)
                if (list.at(i).number == id) return i;
            return qsizetype(-1);
        };
        const auto find = [&](quint32 id) { return indexOf(id) < 0 ? WindowInfo{} : list.at(indexOf(id)); };
        // Front to back: the dock stays above everything, the active window next.
        QVERIFY(indexOf(d) == 0 && indexOf(o) == 1 && indexOf(f) == 2);
        QCOMPARE(find(d).name, std::optional<QString>(QStringLiteral("Café panel")));
        QVERIFY(find(d).layer != std::optional<int>(0));
        QVERIFY(find(f).alpha && *find(f).alpha < 0.01);
        QCOMPARE(find(f).layer, std::optional<int>(0));
        QVERIFY(!find(o).alpha);
        QCOMPARE(find(o).ownerPid, std::optional<qint64>(otherPid));
        // Bounds include the window manager's frame around the 400 x 300 client.
        QVERIFY(find(o).bounds->width() >= 400 && find(o).bounds->height() > 300);
        QCOMPARE(system_->focusedFrame(*system_->frontmostApp()), find(o).bounds);

        // The dock and the nearly transparent window are of the same
        // application, but neither is a candidate: nothing usable remains.
        QVERIFY(windows_->activate(f));
        ScreenCapture capture(*system_, shutter_);
        QVERIFY(!capture.frontSource()->windowID);
    }

    void vanishedWindowYieldsNothing()
    {
        const quint32 w = windows_->create(notes(QStringLiteral("closing"), {500, 300}));
        QVERIFY(w);
        QVERIFY(windows_->activate(w));
        ScreenCapture capture(*system_, shutter_);
        QCOMPARE(capture.frontSource()->windowID, std::optional<quint32>(w));
        windows_->destroy(w);
        QCOMPARE(system_->grab(w).kind, WindowGrab::Kind::missing);
        QVERIFY(!shoot(capture));
    }
};

int main(int argc, char* argv[])
{
    XServer::Options options;
    options.windowManager = true;
    XServer server(options);
    if (!server.isRunning()) {
        qCritical("could not start Xvfb");
        return 1;
    }
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestX11Capture test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11capture.moc"
