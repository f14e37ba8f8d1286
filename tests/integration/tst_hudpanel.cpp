// The HUD panel on a real X server with a window manager: placement in the
// work area, focus, shape, clicks and hiding, which only a real server shows.
#include "Demo.h"
#include "FakeInstalledApps.h"
#include "HUD.h"
#include "X11TestWindows.h"
#include "XServer.h"

#include <QApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>

namespace {

constexpr int screenWidth = 1600, screenHeight = 1000, dockHeight = 40;

QQuickItem* findItem(QQuickItem* item, const QString& name)
{
    if (item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = findItem(child, name)) return found;
    return nullptr;
}

} // namespace

class TestHUDPanel : public QObject {
    Q_OBJECT

public:
    explicit TestHUDPanel(XServer& server) : server_(server) {}

private:
    XServer& server_;
    Display* x_ = nullptr;
    std::unique_ptr<X11TestWindows> windows_;
    quint32 editor_ = 0;
    QTemporaryDir dir_;
    FakeInstalledApps apps_;
    std::unique_ptr<Prefs> prefs_;
    Theme theme_{false};
    SessionModel model_{Destination::claude(), Browser::chrome};
    std::unique_ptr<HUDController> hud_;
    QStringList actions_;

    // The server's own focus: a window manager that activated the panel would have moved it.
    Window inputFocus() const
    {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(x_, &focus, &revert);
        return focus;
    }
    bool viewable(Window w) const
    {
        XWindowAttributes a{};
        return XGetWindowAttributes(x_, w, &a) && a.map_state == IsViewable;
    }
    // Where the server has the panel, in root coordinates.
    QRect serverGeometry(Window w) const
    {
        XWindowAttributes a{};
        Window child = 0;
        int x = 0, y = 0;
        XGetWindowAttributes(x_, w, &a);
        XTranslateCoordinates(x_, w, DefaultRootWindow(x_), 0, 0, &x, &y, &child);
        return {x, y, a.width, a.height};
    }
private Q_SLOTS:
    void initTestCase()
    {
        x_ = XOpenDisplay(server_.display().toLocal8Bit().constData());
        QVERIFY(x_);
        windows_ = std::make_unique<X11TestWindows>(server_.display());

        // A bottom panel with a strut: the work area ends 40 px above the screen's edge.
        X11TestWindows::Blueprint dock;
        dock.size = {screenWidth, dockHeight};
        dock.position = {0, screenHeight - dockHeight};
        dock.type = "_NET_WM_WINDOW_TYPE_DOCK";
        const quint32 dockWindow = windows_->create(dock);
        QVERIFY(dockWindow);
        const long strut[12] = {0, 0, 0, dockHeight, 0, 0, 0, 0, 0, 0, 0, screenWidth - 1};
        XChangeProperty(x_, dockWindow, XInternAtom(x_, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
        XSync(x_, False);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->availableGeometry().height(),
                                  screenHeight - dockHeight, 5000);

        X11TestWindows::Blueprint editor;
        editor.title = QStringLiteral("editor");
        editor.position = {100, 100};
        editor_ = windows_->create(editor);
        QVERIFY(editor_);
        QVERIFY(windows_->activate(editor_));

        prefs_ = std::make_unique<Prefs>(
            std::make_unique<QSettings>(dir_.filePath(QStringLiteral("p.ini")), QSettings::IniFormat), apps_);
        const QStringList arguments{QStringLiteral("vell"), QStringLiteral("--demo"),
                                    QStringLiteral("--hint")};
        Demo::stage(model_, *prefs_, arguments);
        HUDActions actions{[this](const QUuid&) { actions_ << QStringLiteral("remove"); },
                           [this] { actions_ << QStringLiteral("add"); },
                           [this] { actions_ << QStringLiteral("fix"); },
                           [this](const std::optional<ChatTarget>&) { actions_ << QStringLiteral("pick"); }};
        hud_ = std::make_unique<HUDController>(model_, actions, *prefs_, theme_, arguments);
    }

    void cleanupTestCase()
    {
        hud_.reset();
        windows_.reset();
        if (x_) XCloseDisplay(x_);
    }

    void appearsTakesClicksAndHidesWithoutTakingFocus()
    {
        hud_->show();
        const Window panel = hud_->panel()->winId();
        QTRY_VERIFY_WITH_TIMEOUT(viewable(panel), 5000);
        const int bottom = screenHeight - dockHeight - 14;
        QTRY_COMPARE_WITH_TIMEOUT(serverGeometry(panel), QRect(screenWidth / 2 - 400, bottom - 340, 800, 340),
                                  5000);
        QCOMPARE(inputFocus(), Window(editor_));

        // No compositor here: the window is shaped to its surfaces, not a full 800 x 340 rectangle.
        int count = 0, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(x_, panel, ShapeBounding, &count, &ordering);
        QRegion shape;
        for (int i = 0; i < count; ++i)
            shape += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
        if (rects) XFree(rects);
        QVERIFY(!shape.isEmpty());
        QVERIFY(shape.boundingRect().height() < 200);
        QVERIFY(!shape.contains(QPoint(3, 3)));

        // A click acts while the editor keeps the focus.
        QQuickItem* add = findItem(hud_->panel()->contentItem(), QStringLiteral("addWindow"));
        QVERIFY(add);
        const QPoint target = hud_->panel()->mapToGlobal(
            add->mapToScene(QPointF(add->width() / 2, add->height() / 2)).toPoint());
        XTestFakeMotionEvent(x_, -1, target.x(), target.y(), 0);
        XTestFakeButtonEvent(x_, 1, True, 10);
        XTestFakeButtonEvent(x_, 1, False, 10);
        XFlush(x_);
        QTRY_COMPARE_WITH_TIMEOUT(actions_, QStringList{QStringLiteral("add")}, 5000);
        QCOMPARE(inputFocus(), Window(editor_));

        hud_->hide();
        QTRY_VERIFY_WITH_TIMEOUT(!viewable(panel), 5000);
        hud_->show();
        QTRY_VERIFY_WITH_TIMEOUT(viewable(panel), 5000);
    }
};

int main(int argc, char* argv[])
{
    XServer server(XServer::Options{screenWidth, screenHeight, true, false});
    if (!server.isRunning()) {
        qCritical("could not start Xvfb");
        return 1;
    }
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestHUDPanel test(server);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hudpanel.moc"
