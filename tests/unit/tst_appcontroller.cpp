// The session controller on virtual time: transitions, timers, stale-result guards and start-up.
#include "AppController.h"
#include "ControllerFakes.h"
#include "ScopedLog.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct NoApps final : InstalledApps {
    bool isInstalled(const QString&) const override { return false; }
};

const ChatTarget budget{u"Budget plan"_s, u"https://claude.ai/chat/b1"_s};
const ChatTarget trip{u"Trip to Lisbon"_s, u"https://claude.ai/chat/t1"_s};
const ChatTarget recipes{u"Recipes"_s, u"https://claude.ai/chat/r1"_s};

ChatList listOf(const QList<ChatTarget>& tabs, const QList<ChatTarget>& recents)
{
    QList<QStringList> rows;
    for (const ChatTarget& t : tabs)
        rows << QStringList{u"t"_s, t.title, t.url};
    for (const ChatTarget& t : recents)
        rows << QStringList{u"r"_s, t.title, t.url};
    return ChatList::fromRows(rows);
}

// One controller with every double, started as the application would.
struct Rig {
    ScopedLog log;
    QTemporaryDir dir;
    NoApps apps;
    VirtualScheduler clock;
    std::unique_ptr<Prefs> prefs;
    FakeSpeech speech;
    FakeTrigger trigger;
    FakeClipboard clipboard;
    FakeCapture capture{clock};
    FakeBrowser browser{clock};
    FakeShell shell;
    std::unique_ptr<AppController> controller;

    explicit Rig(const QStringList& arguments = {}, const std::function<void(Rig&)>& configure = {})
    {
        prefs = std::make_unique<Prefs>(
            std::make_unique<QSettings>(dir.filePath(u"Vell.conf"_s), QSettings::IniFormat), apps);
        prefs->setBrowserID(Browsers::chromeID);
        prefs->setOnboarded(true);
        if (configure) configure(*this);
        controller = std::make_unique<AppController>(
            *prefs, clock, AppController::Parts{speech, trigger, clipboard, capture, browser, shell},
            QStringList{u"vell"_s} + arguments);
        controller->start();
        clock.runDue();
        log.clear();
    }
    SessionModel& model() { return controller->model(); }
    void advance(double seconds) { clock.advance(seconds); }
    // The phase as the log writes it, after `seconds` more.
    QString after(double seconds = 0) { return advance(seconds), model().phase().rendered(); }
    void tap() { trigger.tap(), clock.runDue(); }
    void say(const QString& text) { speech.say(text), clock.runDue(); }
    void sayAndSettle(const QString& text) { say(text), advance(0.6); }
    // A session that speaks `words` and is sent with a second tap; the pause before sending is over.
    void session(const QString& words)
    {
        tap();
        say(words);
        speech.finalText = words;
        tap();
        advance(0.9);
    }
    QStringList logged(const QString& prefix) { return log.messagesStartingWith(prefix); }
};

} // namespace

Q_DECLARE_METATYPE(std::optional<DeliveryError>)

class TestAppController : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aWholeSessionFromTapToSent()
    {
        Rig rig;
        rig.browser.chats = listOf({trip}, {budget});
        rig.tap();
        QCOMPARE(rig.after(), u"live"_s);
        QVERIFY(rig.shell.hudSurface.visible);
        QCOMPARE(rig.clipboard.begins, QList<bool>{true});
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(rig.model().items().first().automatic);
        QCOMPARE(rig.capture.clicks, 1);
        QCOMPARE(rig.model().chats(), std::optional(listOf({trip}, {budget})));

        // The HUD's buttons: another screenshot, removing one, picking a chat and going back to a new one.
        rig.capture.nextJpeg = QByteArray("window-9");
        rig.shell.actions.add();
        rig.clock.runDue();
        QCOMPARE(rig.model().items().size(), 2);
        rig.shell.actions.remove(rig.model().items().first().id);
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(!rig.model().items().first().automatic);
        rig.shell.actions.pick(trip);
        rig.shell.actions.pick(trip);
        QCOMPARE(rig.model().target(), std::optional(trip));
        QCOMPARE(rig.model().targetPulse(), 1);
        rig.shell.actions.pick(std::nullopt);
        QCOMPARE(rig.model().targetPulse(), 2);

        rig.say(u"why is this failing"_s);
        rig.speech.finalText = u"why is this failing?"_s;
        rig.tap();
        QCOMPARE(rig.after(), u"sending"_s);
        QVERIFY(!rig.clipboard.isLive);
        QCOMPARE(rig.after(0.89), u"sending"_s);
        QCOMPARE(rig.after(0.01), u"sent"_s);
        QCOMPARE(rig.browser.deliveries.size(), 1);
        const Delivery& d = rig.browser.deliveries.first();
        QVERIFY(std::tie(d.text, d.images, d.destination, d.browser, d.target) ==
                std::tuple(u"why is this failing?"_s, QList<QByteArray>{"window-9"}, Destination::claude(),
                           Browser::chrome, std::optional<ChatTarget>()));

        QCOMPARE(rig.after(1.39), u"sent"_s);
        QCOMPARE(rig.after(0.01), u"idle"_s);
        QVERIFY(!rig.shell.hudSurface.visible);
        rig.shell.actions.pick(trip); // too late: nothing to aim
        QVERIFY(!rig.model().target());
    }

    void tapsAndEscapeIgnoredWhereTheyMeanNothing()
    {
        Rig rig;
        rig.trigger.escape();
        QCOMPARE(rig.after(), u"idle"_s);
        rig.browser.deliverDelay = fromSeconds(5);
        rig.tap();
        rig.tap();
        rig.tap(); // during sending
        QCOMPARE(rig.after(), u"sending"_s);
        QCOMPARE(rig.after(0.9), u"delivering"_s);
        rig.tap();
        rig.trigger.escape();
        QCOMPARE(rig.after(), u"delivering"_s);
        rig.advance(5);
        rig.trigger.escape();
        QCOMPARE(rig.after(), u"sent"_s);
        QCOMPARE(rig.browser.deliveries.size(), 1);

        // A tap while "sent" shows starts a new session, which the old display timer leaves alone.
        rig.advance(1.0);
        rig.tap();
        QCOMPARE(rig.after(5), u"live"_s);
        QVERIFY(rig.shell.hudSurface.visible);
    }

    void spokenCommandsActOnceTheTranscriptSettles()
    {
        Rig rig;
        rig.tap();
        // "send it" that the next words carry on from is no command.
        rig.say(u"so send it"_s);
        rig.advance(0.5);
        rig.say(u"so send it to me later"_s);
        QCOMPARE(rig.after(0.6), u"live"_s);

        // Escape during the pause keeps the transcript and listens on from it.
        const QString first = u"so send it to me later, explain this diagram send it"_s;
        rig.speech.finalText = first;
        rig.sayAndSettle(first);
        QCOMPARE(rig.after(), u"sending"_s);
        rig.trigger.escape();
        QCOMPARE(rig.after(), u"live"_s);
        QCOMPARE(rig.model().transcript(), first);
        QCOMPARE(rig.speech.calls.last(), u"start:"_s + first);
        QCOMPARE(rig.after(2), u"live"_s);
        QVERIFY(rig.browser.deliveries.isEmpty());

        // The old "send it" no longer counts, new words that end in it do.
        rig.sayAndSettle(first + u" and the legend"_s);
        QCOMPARE(rig.after(), u"live"_s);
        rig.sayAndSettle(first + u" and the legend, send it!"_s);
        QCOMPARE(rig.after(), u"sending"_s);

        rig.trigger.escape();
        rig.sayAndSettle(first + u" and the legend, send it! Never mind, cancel."_s);
        QCOMPARE(rig.after(), u"idle"_s);
        QVERIFY(rig.model().items().isEmpty());
        QCOMPARE(rig.speech.calls.last(), u"teardown"_s);
        QVERIFY(rig.browser.deliveries.isEmpty());
    }

    void anAutomaticScreenshotLateAfterACopyIsDropped()
    {
        Rig rig;
        rig.capture.delay = fromSeconds(0.5);
        rig.clipboard.copy(u"before the session"_s);
        rig.tap();
        rig.advance(0.1);
        rig.clipboard.copy(u"héllo👍🏽"_s);
        rig.clipboard.copy(u"héllo👍🏽"_s); // no duplicate
        rig.advance(0.5);
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(rig.model().items().first().isClip());
        QCOMPARE(rig.capture.clicks, 0);
    }

    void nothingToSendNeverDelivers()
    {
        Rig rig({}, [](Rig& r) { r.prefs->setAutoScreenshot(false); });
        rig.session(u"um, uh"_s);
        QCOMPARE(rig.capture.captures, 0);
        QCOMPARE(rig.after(3.49), u"failed(\"Nothing to send\")"_s);
        QCOMPARE(rig.after(0.01), u"idle"_s);
    }

    void deliveryFailures_data()
    {
        QTest::addColumn<std::optional<DeliveryError>>("error");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("fixable");
        QTest::newRow("fixable") << std::optional(DeliveryError::jsOff(Browser::chrome))
                                 << "Chrome needs one setting turned on" << true;
        QTest::newRow("not fixable") << std::optional(DeliveryError::notSent()) << "Send didn't go through"
                                     << false;
        QTest::newRow("not a delivery error") << std::optional<DeliveryError>() << "Couldn't send" << false;
    }
    void deliveryFailures()
    {
        QFETCH(std::optional<DeliveryError>, error);
        QFETCH(QString, message);
        QFETCH(bool, fixable);
        Rig rig;
        rig.browser.deliverError = error;
        rig.browser.deliverFails = !error;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.tap();
        rig.clipboard.copy(u"E42"_s);
        rig.say(u"what does this mean"_s);
        rig.speech.finalText = u"what does this mean"_s;
        rig.tap();
        rig.advance(0.9);
        QCOMPARE(rig.model().phase(), Phase::failed(message));
        QCOMPARE(rig.model().fixable(), fixable);
        // The message waits on the clipboard, marked as the watcher's own; the remembered chat stays.
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.clipboard.written.first().text, u"what does this mean\n\n```\nE42\n```"_s);
        QCOMPARE(rig.prefs->stickyChat(Destination::claude()), std::optional(budget));
        rig.advance((fixable ? 7.0 : 3.5) - 0.01);
        QCOMPARE(rig.model().phase(), Phase::failed(message));
        QCOMPARE(rig.after(0.01), u"idle"_s);
        if (!fixable) return;

        // The fix button ends the failure at once and opens onboarding at the browser step.
        rig.session(u"hello"_s);
        rig.shell.windows.clear();
        rig.shell.actions.fix();
        QCOMPARE(rig.after(), u"idle"_s);
        QCOMPARE(rig.prefs->onboardingStep(), 3);
        QCOMPARE(rig.shell.windows, QStringList{u"onboarding"_s});
    }

    // A delivery past the watchdog, whose success arrives during the next session.
    void lateDeliveryResultsChangeNothing()
    {
        Rig rig;
        const Phase tooLong = Phase::failed(u"Chrome took too long to respond"_s);
        rig.browser.deliverDelay = fromSeconds(80);
        rig.session(u"summarise this page"_s);
        QCOMPARE(rig.after(74.99), u"delivering"_s);
        rig.advance(0.01);
        QCOMPARE(rig.model().phase(), tooLong);
        QVERIFY(rig.model().fixable());
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.clipboard.written.first().images, QList<QByteArray>{"window-1"});

        rig.advance(2);
        rig.browser.deliverDelay = fromSeconds(10);
        rig.browser.deliverError = DeliveryError::notSent();
        rig.session(u"second question"_s);       // while the failure shows
        QCOMPARE(rig.after(3), u"delivering"_s); // the first one's success has come and gone
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.prefs->stickyChat(Destination::claude()), std::nullopt);
        QCOMPARE(rig.after(4), u"delivering"_s); // past the first failure's display time
        rig.advance(3);
        QCOMPARE(rig.model().phase(), Phase::failed(u"Send didn't go through"_s));
    }

    void twoQuickTapsWhileChatsLoad()
    {
        Rig rig;
        rig.browser.chats = listOf({trip}, {budget, recipes});
        rig.browser.listDelay = fromSeconds(0.5);
        rig.tap();
        QVERIFY(!rig.model().chats());
        rig.sayAndSettle(u"send this to the budget chat"_s); // a second listing starts, done at 1.1
        rig.advance(0.1);
        rig.tap(); // sending at 0.7, before the listing is back
        QCOMPARE(rig.after(), u"sending"_s);
        QCOMPARE(rig.model().chats(), std::optional(listOf({trip}, {budget, recipes})));
        rig.advance(0.4);
        QCOMPARE(rig.model().target(), std::optional(budget));
        QCOMPARE(rig.model().targetPulse(), 1);
        QCOMPARE(rig.logged(u"chat target: "_s),
                 QStringList{"chat target: named(\"budget\") -> Budget plan (3 chats)"});
        QCOMPARE(rig.after(0.5), u"sent"_s);
        QCOMPARE(rig.browser.deliveries.first().target, std::optional(budget));
        QCOMPARE(rig.prefs->stickyChat(Destination::claude()), std::optional(budget));
    }

    void aChatListingThatFinishesAfterANewerOneIsDropped()
    {
        Rig rig;
        rig.browser.chats = listOf({trip}, {});
        rig.browser.listDelay = fromSeconds(5);
        rig.tap();
        rig.advance(1);
        rig.trigger.escape();
        rig.browser.chats = listOf({}, {recipes});
        rig.browser.listDelay = fromSeconds(0.5);
        rig.tap();
        rig.advance(0.5);
        QCOMPARE(rig.model().chats(), std::optional(listOf({}, {recipes})));
        rig.advance(5);
        QCOMPARE(rig.model().chats(), std::optional(listOf({}, {recipes})));
    }

    void aLaterSpokenIntentWins()
    {
        Rig rig;
        rig.browser.chats = listOf({}, {budget, trip});
        rig.tap();
        rig.browser.listDelay = fromSeconds(1);
        rig.sayAndSettle(u"send this to the budget chat"_s); // named resolution back at 1.6
        rig.sayAndSettle(u"send this to the budget chat, no, put it in a new chat"_s); // none at once
        rig.advance(1);
        QVERIFY(!rig.model().target());
        QCOMPARE(rig.model().targetPulse(), 0); // none to none is no change
        QCOMPARE(rig.logged(u"chat target: "_s),
                 (QStringList{"chat target: new chat (said)",
                              "chat target: named(\"budget\") -> Budget plan (2 chats)"}));
    }

    void callbacksAfterTheControllerIsGoneDoNothing()
    {
        Rig rig;
        rig.browser.deliverDelay = fromSeconds(3);
        rig.session(u"hello"_s);
        rig.advance(0.1);
        rig.controller.reset();
        rig.advance(100);
        rig.trigger.tap();
        rig.speech.say(u"send it"_s);
        rig.clipboard.copy(u"x"_s);
        rig.shell.actions.add();
        rig.shell.menuOpenSettings();
        rig.advance(1);
        QCOMPARE(rig.shell.windows.count(u"settings"_s), 0);
    }

    void startupOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<bool>("permissions");
        QTest::addColumn<QStringList>("windows");
        QTest::newRow("permission revoked")
            << QStringList{} << true << false << QStringList{"updater", "onboarding"};
        QTest::newRow("tool mode, not set up")
            << QStringList{"--automation-status", "--list-chats"} << false << false << QStringList{"exit:0"};
        QTest::newRow("export art") << QStringList{"--export-art", "/tmp/art", "--demo"} << true << true
                                    << QStringList{"art:/tmp/art", "exit:0"};
    }
    void startupOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, onboarded);
        QFETCH(bool, permissions);
        QFETCH(QStringList, windows);
        Rig rig(arguments, [&](Rig& r) {
            r.prefs->setOnboarded(onboarded);
            r.shell.permissions = permissions;
        });
        QCOMPARE(rig.shell.windows, windows);
        const bool exported = arguments.contains(u"/tmp/art"_s);
        QCOMPARE(rig.shell.menuMade, !exported);
        QCOMPARE(rig.trigger.starts, exported ? 0 : 1);
        QCOMPARE(rig.speech.calls.contains(u"warmUp"_s), !exported);
    }

    void onboardingAndSettingsWindows()
    {
        Rig rig; // onboarded, all permissions
        rig.shell.windows.clear();
        rig.controller->reopen();
        QCOMPARE(rig.shell.windows, QStringList{u"settings"_s});

        // A revoked permission reopens onboarding at the permissions step; an unfinished one keeps its step.
        rig.shell.permissions = false;
        rig.prefs->setOnboardingStep(5);
        rig.controller->reopen();
        QCOMPARE(rig.shell.windows.last(), u"onboarding"_s);
        QCOMPARE(rig.prefs->onboardingStep(), 2);
        // Closing the window ends any practice.
        rig.model().setPractice(true);
        rig.shell.onboardingClose();
        QVERIFY(!rig.model().practice());
    }
};

QTEST_GUILESS_MAIN(TestAppController)
#include "tst_appcontroller.moc"
