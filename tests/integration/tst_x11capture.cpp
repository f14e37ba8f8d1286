// Screenshots on a real X server with a real window manager: what only the
// server, the window manager and a compositor decide. Which window is chosen
// and how the picture is bounded is pinned by the unit tests.
#include "FakeSoundPlayer.h"
#include "ScreenCapture.h"
#include "X11TestWindows.h"
#include "X11WindowSystem.h"
#include "XServer.h"

#include <QCoro/QCoroTask>
#include <QGuiApplication>
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

    // Stopped with the server.
    void startCompositor()
    {
        QVERIFY(server_.startOnDisplay(QStringLiteral("xcompmgr"), {}));
        QVERIFY(QTest::qWaitFor([this] { return compositorRuns(); }, 5000));
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

    // Fresh windows for every test.
    void cleanup() { windows_ = std::make_unique<X11TestWindows>(server_.display()); }

    void cleanupTestCase()
    {
        windows_.reset();
        system_.reset();
    }

    void windowDescriptionsAreRead()
    {
        X11TestWindows::Blueprint dock = notes({}, {1600, 120}, {0, 0});
        dock.type = "_NET_WM_WINDOW_TYPE_DOCK";
        dock.latin1Title = "Caf\xe9 panel";
        const quint32 d = windows_->create(dock);
        X11TestWindows::Blueprint other = notes(QStringLiteral("other app"), {400, 300}, {800, 400});
        other.pid = otherPid;
        const quint32 o = windows_->create(other);
        X11TestWindows::Blueprint unnamed = notes(QStringLiteral("no pid"), {300, 200}, {100, 500});
        unnamed.pid.reset();
        const quint32 u = windows_->create(unnamed);
        QVERIFY(d && o && u);

        // Without _NET_WM_PID the server knows the owner.
        QVERIFY(windows_->activate(u));
        QCOMPARE(system_->frontmostApp()->pid, QCoreApplication::applicationPid());
        QCOMPARE(system_->frontmostApp()->instanceName, QStringLiteral("notes"));

        QVERIFY(windows_->activate(o));
        const QList<WindowInfo> list = system_->onScreenWindows();
        const auto indexOf = [&](quint32 id) {
            for (qsizetype i = 0; i < list.size(); ++i)
                if (list.at(i).number == id) return i;
            return qsizetype(-1);
        };
        const auto find = [&](quint32 id) { return indexOf(id) < 0 ? WindowInfo{} : list.at(indexOf(id)); };
        // Front to back: the dock stays above everything, the active window next.
        QVERIFY(indexOf(d) == 0 && indexOf(o) == 1 && indexOf(u) == 2);
        QCOMPARE(find(d).name, std::optional<QString>(QStringLiteral("Café panel")));
        QVERIFY(find(d).layer != std::optional<int>(0));
        QCOMPARE(find(o).layer, std::optional<int>(0));
        QVERIFY(!find(o).alpha);
        QCOMPARE(find(o).ownerPid, std::optional<qint64>(otherPid));
        // Bounds include the window manager's frame around the 400 x 300 client.
        QVERIFY(find(o).bounds->width() >= 400 && find(o).bounds->height() > 300);
        QCOMPARE(system_->focusedFrame(*system_->frontmostApp()), find(o).bounds);
    }

    // Each capture path once: the screen with shared memory, and a composited
    // window's own pixmap (without what covers it) with GetImage. Last: the
    // compositor then runs until the end.
    void capturesTheFocusedWindowAmongSeveral_data()
    {
        QTest::addColumn<bool>("compositor");
        QTest::newRow("screen, shared memory") << false;
        QTest::newRow("window pixmap, GetImage") << true;
    }
    void capturesTheFocusedWindowAmongSeveral()
    {
        QFETCH(bool, compositor);
        if (compositor) startCompositor();
        X11WindowSystem system(server_.display(), !compositor);
        const quint32 a = windows_->create(notes(QStringLiteral("todo.md"), {500, 400}, {40, 40}));
        const quint32 b = windows_->create(notes(QStringLiteral("plan — ✓"), {1200, 800}, {200, 100}));
        QVERIFY(a && b);
        if (compositor) {
            // An unmanaged panel above them, as the HUD is: the window's own copy leaves it out.
            X11TestWindows::Blueprint panel;
            panel.overrideRedirect = true;
            panel.position = {150, 300};
            panel.size = {700, 200};
            panel.left = panel.right = Qt::green;
            panel.pid = otherPid;
            QVERIFY(windows_->create(panel));
        }
        ScreenCapture capture(system, shutter_);

        for (const auto& [window, title, size] :
             {std::tuple{b, QStringLiteral("plan — ✓"), QSize(1200, 800)},
              std::tuple{a, QStringLiteral("todo.md"), QSize(500, 400)}}) {
            QVERIFY(windows_->activate(window));
            QCOMPARE(capture.frontSource()->windowID, std::optional<quint32>(window));
            const std::optional<Item> item = shoot(capture);
            QVERIFY(item);
            QCOMPARE(item->title, title);
            QCOMPARE(item->image.size(), size);
            verifyHalves(item->image);
        }
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
