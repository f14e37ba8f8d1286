// The trigger key through a real X server: keys injected with XTest (exact
// keycodes) reach the Hotkey through XInput2 raw events, and the focused
// window still gets every key.
#include "Hotkey.h"
#include "Scheduler.h"
#include "X11KeyMonitor.h"
#include "XServer.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

struct NamedSym {
    const char* name;
    KeySym sym;
};

constexpr NamedSym namedSyms[] = {
    {"altR", XK_Alt_R},      {"altL", XK_Alt_L}, {"superR", XK_Super_R},
    {"ctrlR", XK_Control_R}, {"esc", XK_Escape}, {"a", XK_a},
};

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
    int taps = 0;
    int escapes = 0;
};

} // namespace

class TestX11Keys : public QObject {
    Q_OBJECT

    std::unique_ptr<XServer> server_;
    Display* keyboard_ = nullptr; // the test's own connection: XTest and the keyboard map

    KeyCode codeOf(KeySym sym) const { return XKeysymToKeycode(keyboard_, sym); }

    // Plays "altR+ a+ a- altR-400": a key name, + to press or - to release,
    // optionally the milliseconds the server waits before that event.
    QString play(const QString& script)
    {
        for (const QString& token : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype sign = token.indexOf(QRegularExpression(QStringLiteral("[+-]")));
            KeySym sym = NoSymbol;
            for (const NamedSym& s : namedSyms)
                if (token.left(sign) == QLatin1String(s.name)) sym = s.sym;
            const QString delay = token.mid(sign + 1);
            if (sign <= 0 || sym == NoSymbol || codeOf(sym) == 0) return token;
            XTestFakeKeyEvent(keyboard_, codeOf(sym), token.at(sign) == QLatin1Char('+'),
                              delay.isEmpty() ? 0 : delay.toULong());
        }
        XFlush(keyboard_);
        return {};
    }

    // Escape goes through the same path after everything played before it, so
    // once it is reported every earlier key has been classified.
    bool settle(Watcher& watcher)
    {
        const int before = watcher.escapes;
        if (!play(QStringLiteral("esc+ esc-")).isEmpty()) return false;
        return QTest::qWaitFor([&] { return watcher.escapes > before; });
    }

private Q_SLOTS:
    void initTestCase()
    {
        server_ = std::make_unique<XServer>();
        QVERIFY(server_->isRunning());
        keyboard_ = XOpenDisplay(server_->display().toLocal8Bit().constData());
        QVERIFY(keyboard_);
        int event = 0, error = 0, major = 0, minor = 0;
        QVERIFY(XTestQueryExtension(keyboard_, &event, &error, &major, &minor));
    }

    void cleanupTestCase()
    {
        if (keyboard_) XCloseDisplay(keyboard_);
        server_.reset();
    }

    void classifiesInjectedKeys_data()
    {
        QTest::addColumn<TriggerKey>("trigger");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("taps");

        // Each trigger's real key and what the server's timestamps and raw events make of it;
        // the classification itself is covered on virtual time.
        const auto alt = TriggerKey::rightOption;
        QTest::newRow("right alt") << alt << "altR+ altR-" << 1;
        QTest::newRow("right super") << TriggerKey::rightCommand << "superR+ superR-" << 1;
        QTest::newRow("right ctrl") << TriggerKey::rightControl << "ctrlR+ ctrlR-" << 1;
        QTest::newRow("left alt") << alt << "altL+ altL-" << 0;
        QTest::newRow("held 0.4 s") << alt << "altR+ altR-400" << 0;
    }

    void classifiesInjectedKeys()
    {
        QFETCH(TriggerKey, trigger);
        QFETCH(QString, script);
        QFETCH(int, taps);

        Watcher watcher(server_->display());
        watcher.trigger = trigger;
        watcher.hotkey.start();
        QVERIFY(watcher.hotkey.installed());
        QCOMPARE(play(script), QString());
        QVERIFY(settle(watcher));
        QCOMPARE(watcher.taps, taps);
        QCOMPARE(watcher.escapes, 1);
    }

    // A focused window receives every press and release while the monitor
    // runs, and another client can still grab the keyboard; the monitor
    // keeps seeing taps during that grab.
    void nothingIsGrabbedOrSwallowed()
    {
        Display* app = XOpenDisplay(server_->display().toLocal8Bit().constData());
        QVERIFY(app);
        auto closeApp = qScopeGuard([app] { XCloseDisplay(app); });
        const Window window = XCreateSimpleWindow(app, DefaultRootWindow(app), 10, 10, 200, 100, 0, 0, 0);
        XSelectInput(app, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(app, window);
        XSync(app, False);

        QList<QPair<int, int>> received; // (event type, keycode)
        bool mapped = false;
        const auto pump = [&] {
            while (XPending(app) > 0) {
                XEvent event;
                XNextEvent(app, &event);
                if (event.type == MapNotify) mapped = true;
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
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(app, &focus, &revert);
        QCOMPARE(focus, window);

        Watcher watcher(server_->display());
        watcher.hotkey.start();
        const QString script = QStringLiteral("altR+ altR- a+ a- superR+ superR- esc+ esc-");
        QCOMPARE(play(script), QString());

        QList<QPair<int, int>> expected;
        for (const QString& token : script.split(QLatin1Char(' '))) {
            const QString name = token.chopped(1);
            for (const NamedSym& s : namedSyms)
                if (name == QLatin1String(s.name))
                    expected.append(
                        {token.endsWith(QLatin1Char('+')) ? KeyPress : KeyRelease, codeOf(s.sym)});
        }
        QVERIFY(QTest::qWaitFor([&] {
            pump();
            return received.size() >= expected.size() && watcher.escapes == 1;
        }));
        QCOMPARE(received, expected);
        QCOMPARE(watcher.taps, 1);

        QCOMPARE(XGrabKeyboard(app, window, False, GrabModeAsync, GrabModeAsync, CurrentTime), GrabSuccess);
        QCOMPARE(play(QStringLiteral("altR+ altR-")), QString());
        QVERIFY(settle(watcher));
        QCOMPARE(watcher.taps, 2);
        XUngrabKeyboard(app, CurrentTime);
        XSync(app, False);
    }
};

QTEST_GUILESS_MAIN(TestX11Keys)
#include "tst_x11keys.moc"
