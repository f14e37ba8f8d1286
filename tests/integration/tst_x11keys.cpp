// The trigger key through a real X server: keys injected with XTest reach the
// Hotkey through XInput2 raw events, and the focused window still gets every key.
#include "Hotkey.h"
#include "Scheduler.h"
#include "X11KeyMonitor.h"
#include "XServer.h"

#include <QRegularExpression>
#include <QTest>

#include <utility>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// The application side: the monitor and the Hotkey on it, counting reports.
struct Watcher {
    explicit Watcher(const QString& display) : monitor(display.toLocal8Bit())
    {
        hotkey.onTap = [this] { ++taps; };
        hotkey.onEscape = [this] { ++escapes; };
    }

    X11KeyMonitor monitor;
    MainScheduler scheduler;
    TriggerKey trigger = TriggerKey::rightOption;
    Hotkey hotkey{monitor, scheduler, [this] { return trigger; }, [] { return true; }};
    int taps = 0, escapes = 0;
};

} // namespace

class TestX11Keys : public QObject {
    Q_OBJECT

    Display* keyboard_ = nullptr; // the test's own connection: XTest and the keyboard map
    QList<QPair<int, int>> sent_; // (event type, keycode) of every key played

    // Plays "Alt_R+ a+ a- Alt_R-400" (a keysym name, + to press or - to release, optionally the
    // milliseconds the server waits first), then Escape: once the watcher reports that, every
    // earlier key has been classified. False for an unknown key or no report in time.
    bool play(Watcher& watcher, const QString& script)
    {
        const int before = watcher.escapes;
        for (const QString& token :
             (script + " Escape+ Escape-").split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype sign = token.indexOf(QRegularExpression(QStringLiteral("[+-]")));
            const KeySym sym = XStringToKeysym(token.left(sign).toLatin1().constData());
            const KeyCode code = XKeysymToKeycode(keyboard_, sym);
            if (sign <= 0 || sym == NoSymbol || code == 0) return false;
            const bool press = token.at(sign) == QLatin1Char('+');
            XTestFakeKeyEvent(keyboard_, code, press, token.mid(sign + 1).toULong());
            sent_.append({press ? KeyPress : KeyRelease, code});
        }
        XFlush(keyboard_);
        return QTest::qWaitFor([&] { return watcher.escapes > before; });
    }

private Q_SLOTS:
    // Each trigger's real key is tapped, the server's timestamps time the hold, a focused
    // window receives every press and release, and another client can still grab the
    // keyboard while the monitor keeps seeing taps.
    void tapsReachTheHotkeyAndTheFocusedWindow()
    {
        XServer server;
        QVERIFY(server.isRunning());
        keyboard_ = XOpenDisplay(server.display().toLocal8Bit().constData());
        Display* app = XOpenDisplay(server.display().toLocal8Bit().constData());
        QVERIFY(keyboard_ && app);
        auto close = qScopeGuard([&] {
            XCloseDisplay(app);
            XCloseDisplay(std::exchange(keyboard_, nullptr));
        });
        const Window window = XCreateSimpleWindow(app, DefaultRootWindow(app), 10, 10, 200, 100, 0, 0, 0);
        XSelectInput(app, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(app, window);
        QList<QPair<int, int>> received;
        bool mapped = false;
        const auto pump = [&] {
            for (XEvent event; XPending(app) > 0;) {
                XNextEvent(app, &event);
                mapped = mapped || event.type == MapNotify;
                if (event.type == KeyPress || event.type == KeyRelease)
                    received.append({event.type, static_cast<int>(event.xkey.keycode)});
            }
        };
        QVERIFY(QTest::qWaitFor([&] {
            pump();
            return mapped;
        }));
        XSetInputFocus(app, window, RevertToParent, CurrentTime);
        XSync(app, False);

        Watcher watcher(server.display());
        watcher.hotkey.start();
        QVERIFY(watcher.hotkey.installed());
        sent_.clear();
        QVERIFY(play(watcher, "Alt_R+ Alt_R- a+ a- Alt_L+ Alt_L- Alt_R+ Alt_R-400 Super_R+ Super_R-"));
        QVERIFY(QTest::qWaitFor([&] {
            pump();
            return received.size() >= sent_.size();
        }));
        QCOMPARE(received, sent_);
        QCOMPARE(watcher.taps, 1);

        watcher.trigger = TriggerKey::rightCommand;
        QVERIFY(play(watcher, "Super_R+ Super_R-"));
        QCOMPARE(watcher.taps, 2);
        watcher.trigger = TriggerKey::rightControl;
        QCOMPARE(XGrabKeyboard(app, window, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
        QVERIFY(play(watcher, "Control_R+ Control_R-"));
        QCOMPARE(watcher.taps, 3);
    }
};

QTEST_GUILESS_MAIN(TestX11Keys)
#include "tst_x11keys.moc"
