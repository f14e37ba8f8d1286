// The HUD panel on a real X server with a window manager: it appears at the
// bottom centre of the work area without taking focus, its controls take a
// click while another window keeps the focus, and hide() takes it away.
#include "Demo.h"
#include "DemoSnap.h"
#include "FakeInstalledApps.h"
#include "HUD.h"
#include "ScopedLog.h"
#include "X11TestWindows.h"
#include "XServer.h"

#include <QApplication>
#include <QFileInfo>
#include <QImage>
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
    void clickAt(QPoint global)
    {
        XTestFakeMotionEvent(x_, -1, global.x(), global.y(), 0);
        XTestFakeButtonEvent(x_, 1, True, 10);
        XTestFakeButtonEvent(x_, 1, False, 10);
        XFlush(x_);
    }
    QPoint globalCentre(const QString& name) const
    {
        QQuickItem* item = findItem(hud_->panel()->contentItem(), name);
        if (!item) return {};
        const QPointF scene = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        return hud_->panel()->mapToGlobal(scene.toPoint());
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

    void appearsBottomCentreWithoutTakingFocus()
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
    }

    void aClickActsWhileTheEditorKeepsFocus()
    {
        const QPoint target = globalCentre(QStringLiteral("addWindow"));
        QVERIFY(!target.isNull());
        clickAt(target);
        QTRY_COMPARE_WITH_TIMEOUT(actions_, QStringList{QStringLiteral("add")}, 5000);
        QCOMPARE(inputFocus(), Window(editor_));
    }

    void snapWritesThePanelOrSaysWhyNot()
    {
        ScopedLog log;
        const QString path = dir_.filePath(QStringLiteral("hud.png"));
        DemoSnap::save(*hud_->panel(), path);
        const QImage picture(path);
        QCOMPARE(picture.size(), QSize(800, 340));
        const QString unwritable = dir_.filePath(QStringLiteral("missing/hud.png"));
        DemoSnap::save(*hud_->panel(), unwritable);
        QVERIFY(!QFileInfo::exists(unwritable));
        const QStringList lines = log.messagesStartingWith(QStringLiteral("demo snap"));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("demo snap → ") + path);
        QVERIFY2(lines.at(1).startsWith(QStringLiteral("demo snap failed ")), qPrintable(lines.at(1)));
    }

    void hideTakesItOffScreen()
    {
        const Window panel = hud_->panel()->winId();
        hud_->hide();
        QTRY_VERIFY_WITH_TIMEOUT(!viewable(panel), 5000);
        hud_->hide();
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
