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

constexpr int screenWidth = 1600, screenHeight = 1000, dockHeight = 40;

class TestHUDPanel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void appearsTakesClicksAndHidesWithoutTakingFocus()
    {
        Display* x = XOpenDisplay(nullptr); // the server's display is exported
        QVERIFY(x);
        auto closeDisplay = qScopeGuard([x] { XCloseDisplay(x); });
        X11TestWindows windows(qEnvironmentVariable("DISPLAY"));
        // The server's own focus: a window manager that activated the panel, or a click on it, moves it.
        Window focus = 0;
        int revert = 0;
        const auto inputFocus = [&] { return XGetInputFocus(x, &focus, &revert), focus; };
        // Whether the server shows the panel, and where, in root coordinates.
        const auto placed = [x](Window w) {
            XWindowAttributes a{};
            Window child = 0;
            int left = 0, top = 0;
            if (!XGetWindowAttributes(x, w, &a) || a.map_state != IsViewable) return QRect();
            XTranslateCoordinates(x, w, DefaultRootWindow(x), 0, 0, &left, &top, &child);
            return QRect(left, top, a.width, a.height);
        };

        // A bottom panel with a strut: the work area ends 40 px above the screen's edge.
        const quint32 dock = windows.create({.size = {screenWidth, dockHeight},
                                             .position = {0, screenHeight - dockHeight},
                                             .type = "_NET_WM_WINDOW_TYPE_DOCK"});
        const long strut[12] = {0, 0, 0, dockHeight, 0, 0, 0, 0, 0, 0, 0, screenWidth - 1};
        XChangeProperty(x, dock, XInternAtom(x, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
        XSync(x, False);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::primaryScreen()->availableGeometry().height(),
                                  screenHeight - dockHeight, 5000);
        const quint32 editor = windows.create({.position = {100, 100}, .title = "editor"});
        QVERIFY(dock && editor && windows.activate(editor));

        QTemporaryDir dir;
        FakeInstalledApps apps;
        Prefs prefs(std::make_unique<QSettings>(dir.filePath("p.ini"), QSettings::IniFormat), apps);
        Theme theme{false};
        SessionModel model{Destination::claude(), Browser::chrome};
        const QStringList arguments{"vell", "--demo", "--hint"};
        Demo::stage(model, prefs, arguments);
        QStringList log;
        HUDActions actions{{}, [&] { log << "add"; }, {}, {}}; // a click elsewhere would throw
        HUDController hud(model, actions, prefs, theme, arguments);

        hud.show();
        const Window panel = hud.panel()->winId();
        const int bottom = screenHeight - dockHeight - 14;
        QTRY_COMPARE_WITH_TIMEOUT(placed(panel), QRect(screenWidth / 2 - 400, bottom - 340, 800, 340), 5000);
        QCOMPARE(inputFocus(), Window(editor));

        // No compositor here: the window is shaped to its surfaces, not a full 800 x 340 rectangle.
        int count = 0, ordering = 0;
        XRectangle* rects = XShapeGetRectangles(x, panel, ShapeBounding, &count, &ordering);
        QRegion shape;
        for (int i = 0; i < count; ++i)
            shape += QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height);
        if (rects) XFree(rects);
        QVERIFY(!shape.isEmpty() && shape.boundingRect().height() < 200 && !shape.contains(QPoint(3, 3)));

        auto* add = hud.panel()->contentItem()->findChild<QQuickItem*>("addWindow");
        QVERIFY(add);
        const QPoint target =
            hud.panel()->mapToGlobal(add->mapToScene(QPointF(add->width() / 2, add->height() / 2)).toPoint());
        XTestFakeMotionEvent(x, -1, target.x(), target.y(), 0);
        XTestFakeButtonEvent(x, 1, True, 10);
        XTestFakeButtonEvent(x, 1, False, 10);
        XFlush(x);
        QTRY_COMPARE_WITH_TIMEOUT(log, QStringList{"add"}, 5000);
        QCOMPARE(inputFocus(), Window(editor));

        hud.hide();
        QTRY_COMPARE_WITH_TIMEOUT(placed(panel), QRect(), 5000);
    }
};

int main(int argc, char* argv[])
{
    XServer server(XServer::Options{screenWidth, screenHeight, true, false});
    if (!server.isRunning()) return 1;
    server.exportDisplay();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestHUDPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hudpanel.moc"
