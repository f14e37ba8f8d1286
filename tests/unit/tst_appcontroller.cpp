// The session controller on virtual time: the transition table, the four
// timers, the guards against stale results, spoken commands, attachments,
// chat targeting and the start-up rules.
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
    QStringList startupLog;

    explicit Rig(const QStringList& arguments = {}, const std::function<void(Rig&)>& configure = {})
    {
        prefs = std::make_unique<Prefs>(
            std::make_unique<QSettings>(dir.filePath(u"Vell.conf"_s), QSettings::IniFormat), apps);
        prefs->setBrowserID(Browsers::chromeID);
        prefs->setOnboarded(true);
        if (configure) configure(*this);
        restart(arguments);
        startupLog = log.messages();
        log.clear();
    }
    void restart(const QStringList& arguments)
    {
        controller = std::make_unique<AppController>(
            *prefs, clock, AppController::Parts{speech, trigger, clipboard, capture, browser, shell},
            QStringList{u"vell"_s} + arguments);
        controller->start();
        clock.runDue();
    }

    SessionModel& model() { return controller->model(); }
    void advance(double seconds) { clock.advance(seconds); }
    // The phase as the log writes it, after `seconds` more.
    QString after(double seconds = 0)
    {
        advance(seconds);
        return model().phase().rendered();
    }
    void tap()
    {
        trigger.tap();
        clock.runDue();
    }
    void say(const QString& text)
    {
        speech.say(text);
        clock.runDue();
    }
    // Speaks, lets a spoken command settle.
    void sayAndSettle(const QString& text)
    {
        say(text);
        advance(0.6);
    }
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
    void aWholeSessionFromTapToSent_data()
    {
        QTest::addColumn<bool>("pause");
        QTest::addColumn<double>("wait");
        QTest::newRow("pause on") << true << 0.9;
        QTest::newRow("pause off still waits briefly") << false << 0.75;
    }
    void aWholeSessionFromTapToSent()
    {
        QFETCH(bool, pause);
        QFETCH(double, wait);
        Rig rig({}, [&](Rig& r) { r.prefs->setPauseBeforeSend(pause); });
        rig.browser.chats = listOf({trip}, {budget});
        rig.tap();
        QCOMPARE(rig.after(), u"live"_s);
        QCOMPARE(rig.speech.calls.last(), u"start:"_s);
        QVERIFY(rig.shell.hudSurface.visible);
        QCOMPARE(rig.clipboard.begins, QList<bool>{true});
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(rig.model().items().first().automatic);
        QCOMPARE(rig.capture.clicks, 1);
        QCOMPARE(rig.model().chats(), std::optional(listOf({trip}, {budget})));
        QCOMPARE(rig.browser.accessCalls.first(), (std::pair{Browser::chrome, false}));

        // The voice level falls off smoothly but rises at once.
        rig.speech.onLevel(1.0f);
        rig.speech.onLevel(0.0f);
        QCOMPARE(rig.model().level(), 0.6f);
        rig.speech.onLevel(0.9f);
        QCOMPARE(rig.model().level(), 0.9f);

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
        QCOMPARE(rig.logged(u"chat target: picked"_s).last(), u"chat target: picked new chat"_s);

        rig.say(u"why is this failing"_s);
        rig.speech.finalText = u"why is this failing?"_s;
        rig.tap();
        QCOMPARE(rig.after(), u"sending"_s);
        QVERIFY(!rig.clipboard.isLive);
        QCOMPARE(rig.model().transcript(), u"why is this failing?"_s);
        QCOMPARE(rig.after(wait - 0.01), u"sending"_s);
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
        QCOMPARE(rig.shell.hudsMade, 1);
        QCOMPARE(rig.logged(u"phase "_s),
                 (QStringList{"phase idle → live", "phase live → sending", "phase sending → delivering",
                              "phase delivering → sent", "phase sent → idle"}));
        QCOMPARE(rig.logged(u"tap in "_s), (QStringList{"tap in idle", "tap in live"}));
    }

    void tapsAndEscapeIgnoredWhereTheyMeanNothing()
    {
        Rig rig;
        rig.trigger.escape();
        QCOMPARE(rig.after(), u"idle"_s);
        QCOMPARE(rig.log.messages(), QStringList{u"esc in idle"_s});

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
        QVERIFY(rig.clipboard.isLive);
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
        QVERIFY(!rig.shell.hudSurface.visible);
        QVERIFY(rig.model().items().isEmpty());
        QVERIFY(rig.model().transcript().isEmpty());
        QCOMPARE(rig.speech.calls.last(), u"teardown"_s);
        QVERIFY(!rig.clipboard.isLive);
        QVERIFY(rig.browser.deliveries.isEmpty());
    }

    void addThisTakesAnotherScreenshotOnlyWhenTheWindowChanged()
    {
        Rig rig;
        rig.tap();
        rig.sayAndSettle(u"look at this, add this"_s);
        QCOMPARE(rig.model().items().size(), 1); // same bytes as the automatic one
        rig.capture.nextJpeg = QByteArray("window-2");
        rig.sayAndSettle(u"look at this, add this and this one too"_s);
        QCOMPARE(rig.model().items().size(), 2);
        QVERIFY(!rig.model().items().last().automatic);
        QCOMPARE(rig.capture.clicks, 2);
        // Consumed: settling again on the same words adds nothing more.
        rig.capture.nextJpeg = QByteArray("window-3");
        rig.sayAndSettle(u"look at this, add this and this one too "_s);
        QCOMPARE(rig.model().items().size(), 2);
    }

    void copiesBecomeAttachments()
    {
        Rig rig;
        rig.clipboard.copy(u"before the session"_s);
        QVERIFY(rig.model().items().isEmpty());
        rig.tap();
        rig.clipboard.copy(u"héllo👍🏽"_s);
        rig.clipboard.copy(u"héllo👍🏽"_s);
        QCOMPARE(rig.model().items().size(), 1); // replaced the automatic screenshot, no duplicate
        QVERIFY(rig.model().items().first().isClip());
        rig.model().appendItem(Item::shot(QImage(), "manual", {}, {}));
        rig.clipboard.onClip(Item::shot(QImage(), "copied picture", u"Viewer"_s, {}));
        QCOMPARE(rig.model().items().size(), 3);
        QCOMPARE(rig.logged(u"clip: "_s),
                 (QStringList{"clip: 6 chars from Editor", "clip: 0 chars from Viewer"}));
    }

    void anAutomaticScreenshotLateAfterACopyIsDropped()
    {
        Rig rig;
        rig.capture.delay = fromSeconds(0.5);
        rig.tap();
        rig.advance(0.1);
        rig.clipboard.copy(u"the error text"_s);
        rig.advance(0.5);
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(rig.model().items().first().isClip());
        QCOMPARE(rig.capture.clicks, 0);
    }

    void noWindowToCaptureIsLoggedAndTheSessionGoesOn()
    {
        Rig rig;
        rig.capture.nextJpeg.reset();
        rig.capture.allowed = false;
        rig.tap();
        QCOMPARE(rig.after(), u"live"_s);
        QVERIFY(rig.model().items().isEmpty());
        QCOMPARE(rig.logged(u"capture"_s),
                 QStringList{"capture: no window (screen recording granted: false)"});
    }

    void nothingToSendAndPracticeNeverDeliver()
    {
        Rig rig({}, [](Rig& r) { r.prefs->setAutoScreenshot(false); });
        rig.session(u"um, uh"_s);
        QCOMPARE(rig.capture.captures, 0);
        QCOMPARE(rig.after(3.49), u"failed(\"Nothing to send\")"_s);
        QCOMPARE(rig.after(0.01), u"idle"_s);

        rig.model().setPractice(true);
        rig.session(u"hello there"_s);
        QCOMPARE(rig.after(), u"sent"_s);
        QVERIFY(rig.browser.deliveries.isEmpty());
    }

    void deliveryFailures_data()
    {
        QTest::addColumn<std::optional<DeliveryError>>("error"); // none: not a delivery error
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("fixable");
        QTest::newRow("fixable") << std::optional(DeliveryError::jsOff(Browser::chrome))
                                 << "Chrome needs one setting turned on" << true;
        QTest::newRow("not fixable") << std::optional(DeliveryError::notSent()) << "Send didn't go through"
                                     << false;
        QTest::newRow("other error") << std::optional<DeliveryError>() << "Couldn't send" << false;
    }
    void deliveryFailures()
    {
        QFETCH(std::optional<DeliveryError>, error);
        QFETCH(QString, message);
        QFETCH(bool, fixable);
        Rig rig;
        rig.browser.deliverError = error;
        rig.browser.throwOther = !error;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.tap();
        rig.clipboard.copy(u"E42"_s);
        rig.say(u"what does this mean"_s);
        rig.speech.finalText = u"what does this mean"_s;
        rig.tap();
        rig.advance(0.9);
        QCOMPARE(rig.model().phase(), Phase::failed(message));
        QCOMPARE(rig.model().fixable(), fixable);
        const QString why = error ? error->rendered() : u"could not write the program file"_s;
        QCOMPARE(rig.logged(u"deliver failed: "_s), QStringList{"deliver failed: " + why});
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
        QVERIFY(!rig.shell.hudSurface.visible);
        QCOMPARE(rig.prefs->onboardingStep(), 3);
        QCOMPARE(rig.shell.windows, QStringList{u"onboarding"_s});
        QCOMPARE(rig.after(10), u"idle"_s);
    }

    void successRemembersTheChatAndNoTargetForgetsIt()
    {
        Rig rig;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.prefs->setStickyChat(trip, Destination::chatgpt());
        rig.tap();
        QCOMPARE(rig.model().target(), std::optional(budget));
        rig.sayAndSettle(u"start a new chat about taxes"_s);
        QVERIFY(!rig.model().target());
        rig.tap();
        QCOMPARE(rig.after(0.9), u"sent"_s);
        QVERIFY(!rig.prefs->stickyChat(Destination::claude()));
        QCOMPARE(rig.prefs->stickyChat(Destination::chatgpt()), std::optional(trip));
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
        QCOMPARE(rig.logged(u"deliver"_s), QStringList{"deliver: gave up after 75s"});
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

    void sameChatPrefersTheRememberedOne_data()
    {
        QTest::addColumn<bool>("remembered"); // Recipes remembered before the intent
        QTest::addColumn<QString>("logged");
        QTest::newRow("remembered") << true << "chat target: same chat -> Recipes";
        QTest::newRow("first recent") << false << "chat target: recent -> Budget plan (3 chats)";
    }
    void sameChatPrefersTheRememberedOne()
    {
        QFETCH(bool, remembered);
        QFETCH(QString, logged);
        Rig rig;
        rig.browser.chats = listOf({trip}, {budget, recipes});
        rig.tap();
        if (remembered) rig.prefs->setStickyChat(recipes, Destination::claude());
        rig.sayAndSettle(u"continue in the same chat"_s);
        QCOMPARE(rig.model().target(), std::optional(remembered ? recipes : budget));
        QCOMPARE(rig.logged(u"chat target: "_s), QStringList{logged});
    }

    void withoutAutomationAccessANameThatMatchesNothingAimsAtANewChat()
    {
        Rig rig;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.browser.accessAnswer = AutomationAccess::denied;
        rig.browser.chats = listOf({trip}, {});
        rig.tap();
        QCOMPARE(rig.browser.listings, 0);
        QCOMPARE(rig.model().chats(), std::optional(ChatList()));
        QCOMPARE(rig.model().target(), std::optional(budget));
        rig.browser.chats = listOf({}, {recipes});
        rig.sayAndSettle(u"send this to the astronomy chat"_s);
        QVERIFY(!rig.model().target());
        QCOMPARE(rig.model().targetPulse(), 1);
        QCOMPARE(rig.logged(u"chat target: "_s),
                 QStringList{"chat target: named(\"astronomy\") -> no match, new chat (1 chats)"});
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
        QTest::newRow("demo first") << QStringList{"--list-chats", "--demo", "--settings"} << false << true
                                    << QStringList{};
        QTest::newRow("settings over listing")
            << QStringList{"--list-chats", "--settings"} << true << true << QStringList{"settings"};
        QTest::newRow("tool mode, not set up")
            << QStringList{"--automation-status", "--list-chats"} << false << false << QStringList{"exit:0"};
        QTest::newRow("export art") << QStringList{"--export-art", "/tmp/art", "--demo"} << true << true
                                    << QStringList{"art:/tmp/art", "exit:0"};
        QTest::newRow("options match exactly")
            << QStringList{"--settings=1", "-demo"} << true << true << QStringList{"updater"};
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
        QCOMPARE(rig.startupLog.contains(u"launch"_s), !exported);
        QCOMPARE(rig.shell.menuMade, !exported);
        QCOMPARE(rig.trigger.starts, exported ? 0 : 1);
        QCOMPARE(rig.speech.calls.contains(u"warmUp"_s), !exported);
    }

    void demoStagesTheHudAndSnapsItLater()
    {
        Rig rig({u"--snap"_s, u"/tmp/f.png"_s, u"--demo"_s, u"--state"_s, u"failed"_s});
        QCOMPARE(rig.after(), u"failed(\"Safari needs one setting\")"_s);
        QVERIFY(rig.model().fixable());
        QCOMPARE(rig.model().items().size(), 2);
        QCOMPARE(rig.model().target()->title.size(), 26);
        QCOMPARE(rig.shell.hudSurface.shows, 1);
        rig.advance(1.4);
        QVERIFY(rig.shell.windows.isEmpty());
        rig.advance(0.2);
        QCOMPARE(rig.shell.windows, QStringList{"snap:/tmp/f.png"});
        // Nothing of a real session runs: no capture, no listening.
        QCOMPARE(rig.capture.captures, 0);
        QVERIFY(rig.speech.calls.filter(u"start"_s).isEmpty());
        // An unknown state stages a live session; --snap without a path snaps nothing.
        Rig other({u"--demo"_s, u"--state"_s, u"bogus"_s, u"--snap"_s});
        QCOMPARE(other.after(2), u"live"_s);
        QVERIFY(other.shell.windows.isEmpty());
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
        rig.prefs->setOnboarded(false);
        rig.prefs->setOnboardingStep(4);
        rig.controller->reopen();
        QCOMPARE(rig.prefs->onboardingStep(), 4);

        // Replay from the menu starts over; closing the window ends any practice.
        rig.model().setPractice(true);
        rig.shell.menuOpenTutorial();
        QCOMPARE(rig.prefs->onboardingStep(), 0);
        rig.shell.onboardingClose();
        QVERIFY(!rig.model().practice());
        rig.shell.onboardingFinish();
        QVERIFY(rig.prefs->onboarded());
        QCOMPARE(rig.shell.windows.last(), u"close onboarding"_s);

        // Settings' replay button closes settings first.
        rig.shell.permissions = true;
        rig.shell.menuOpenSettings();
        rig.prefs->setOnboardingStep(3);
        rig.shell.windows.clear();
        rig.shell.replayTutorial();
        QCOMPARE(rig.shell.windows, (QStringList{u"close settings"_s, u"onboarding"_s}));
        QCOMPARE(rig.prefs->onboardingStep(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAppController)
#include "tst_appcontroller.moc"
