// The session controller on virtual time: the transition table, the four
// timers, the guards against stale results, spoken commands, attachments,
// chat targeting and the start-up rules.
#include "AppController.h"
#include "ControllerFakes.h"
#include "ScopedLog.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct NoApps final : InstalledApps {
    bool isInstalled(const QString&) const override { return false; }
};

const ChatTarget budget{QStringLiteral("Budget plan"), QStringLiteral("https://claude.ai/chat/b1")};
const ChatTarget trip{QStringLiteral("Trip to Lisbon"), QStringLiteral("https://claude.ai/chat/t1")};
const ChatTarget recipes{QStringLiteral("Recipes"), QStringLiteral("https://claude.ai/chat/r1")};

ChatList listOf(const QList<ChatTarget>& tabs, const QList<ChatTarget>& recents)
{
    QList<QStringList> rows;
    for (const ChatTarget& t : tabs)
        rows << QStringList{QStringLiteral("t"), t.title, t.url};
    for (const ChatTarget& t : recents)
        rows << QStringList{QStringLiteral("r"), t.title, t.url};
    return ChatList::fromRows(rows);
}

// One controller with every double, started as the application would.
struct Rig {
    ScopedLog log;
    QTemporaryDir dir;
    NoApps apps;
    VirtualScheduler clock;
    std::unique_ptr<Prefs> prefs;
    FakeSpeech speech{clock};
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
            std::make_unique<QSettings>(dir.filePath(QStringLiteral("Vell.conf")), QSettings::IniFormat),
            apps);
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
            QStringList{QStringLiteral("vell")} + arguments);
        controller->start();
        clock.runDue();
    }

    SessionModel& model() { return controller->model(); }
    Phase::Kind phase() { return model().phase().kind; }
    void advance(double seconds) { clock.advance(seconds); }
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
        QCOMPARE(rig.phase(), Phase::Kind::live);
        QCOMPARE(rig.speech.calls.last(), QStringLiteral("start:"));
        QVERIFY(rig.shell.hudSurface.visible);
        QCOMPARE(rig.clipboard.begins, QList<bool>{true});
        QCOMPARE(rig.model().items().size(), 1);
        QVERIFY(rig.model().items().first().automatic);
        QCOMPARE(rig.capture.clicks, 1);
        QCOMPARE(rig.model().chats(), std::optional(listOf({trip}, {budget})));
        QCOMPARE(rig.browser.accessCalls.first(), (std::pair{Browser::chrome, false}));

        rig.say(QStringLiteral("why is this failing"));
        rig.speech.finalText = QStringLiteral("why is this failing?");
        rig.tap();
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        QVERIFY(!rig.clipboard.isLive);
        QCOMPARE(rig.model().transcript(), QStringLiteral("why is this failing?"));
        rig.advance(0.89);
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        rig.advance(0.01);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        QCOMPARE(rig.browser.deliveries.size(), 1);
        const Delivery& d = rig.browser.deliveries.first();
        QVERIFY(std::tie(d.text, d.images, d.destination, d.browser, d.target) ==
                std::tuple(QStringLiteral("why is this failing?"), QList<QByteArray>{"window-1"},
                           Destination::claude(), Browser::chrome, std::optional<ChatTarget>()));

        rig.advance(1.39);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        rig.advance(0.01);
        QCOMPARE(rig.phase(), Phase::Kind::idle);
        QVERIFY(!rig.shell.hudSurface.visible);
        QCOMPARE(rig.logged(QStringLiteral("phase ")),
                 (QStringList{"phase idle → live", "phase live → sending", "phase sending → delivering",
                              "phase delivering → sent", "phase sent → idle"}));
        QCOMPARE(rig.logged(QStringLiteral("tap in ")), (QStringList{"tap in idle", "tap in live"}));
    }

    void withThePauseOffSendingStillWaitsBriefly()
    {
        Rig rig({}, [](Rig& r) { r.prefs->setPauseBeforeSend(false); });
        rig.tap();
        rig.tap();
        rig.advance(0.74);
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        rig.advance(0.01);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
    }

    void tapsAndEscapeIgnoredWhereTheyMeanNothing()
    {
        Rig rig;
        rig.trigger.escape();
        QCOMPARE(rig.phase(), Phase::Kind::idle);
        QCOMPARE(rig.log.messages(), QStringList{QStringLiteral("esc in idle")});

        rig.browser.deliverDelay = fromSeconds(5);
        rig.tap();
        rig.tap();
        rig.tap(); // during sending
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        rig.advance(0.9);
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.tap();
        rig.trigger.escape();
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.advance(5);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        rig.trigger.escape();
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        QCOMPARE(rig.browser.deliveries.size(), 1);
    }

    void escapeDuringThePauseKeepsTranscriptAndConsumedWords()
    {
        Rig rig;
        rig.tap();
        const QString first = QStringLiteral("explain this diagram send it");
        rig.say(first);
        rig.speech.finalText = first;
        rig.advance(0.6);
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        rig.trigger.escape();
        QCOMPARE(rig.phase(), Phase::Kind::live);
        QVERIFY(rig.clipboard.isLive);
        QCOMPARE(rig.model().transcript(), first);
        QCOMPARE(rig.speech.calls.last(), QStringLiteral("start:") + first);
        // The cancelled delivery never happens.
        rig.advance(2);
        QCOMPARE(rig.phase(), Phase::Kind::live);
        QVERIFY(rig.browser.deliveries.isEmpty());

        // The old "send it" no longer counts...
        rig.say(first + QStringLiteral(" and the legend"));
        rig.advance(0.6);
        QCOMPARE(rig.phase(), Phase::Kind::live);
        // ...but new words that end in it do.
        rig.say(first + QStringLiteral(" and the legend, send it!"));
        rig.advance(0.6);
        QCOMPARE(rig.phase(), Phase::Kind::sending);
    }

    void spokenCommandsWaitForTheTranscriptToSettle()
    {
        Rig rig;
        rig.tap();
        rig.say(QStringLiteral("so send it"));
        rig.advance(0.5);
        rig.say(QStringLiteral("so send it to me later"));
        rig.advance(0.5);
        QCOMPARE(rig.phase(), Phase::Kind::live);
        rig.advance(0.1);
        QCOMPARE(rig.phase(), Phase::Kind::live);

        rig.say(QStringLiteral("never mind, cancel."));
        rig.advance(0.6);
        QCOMPARE(rig.phase(), Phase::Kind::idle);
        QVERIFY(!rig.shell.hudSurface.visible);
        QVERIFY(rig.model().items().isEmpty());
        QVERIFY(rig.model().transcript().isEmpty());
        QCOMPARE(rig.speech.calls.last(), QStringLiteral("teardown"));
        QVERIFY(!rig.clipboard.isLive);
    }

    void addThisTakesAnotherScreenshotOnlyWhenTheWindowChanged()
    {
        Rig rig;
        rig.tap();
        QCOMPARE(rig.model().items().size(), 1);
        rig.say(QStringLiteral("look at this, add this"));
        rig.advance(0.6);
        QCOMPARE(rig.model().items().size(), 1); // same bytes as the automatic one
        rig.capture.nextJpeg = QByteArray("window-2");
        rig.say(QStringLiteral("look at this, add this and this one too"));
        rig.advance(0.6);
        QCOMPARE(rig.model().items().size(), 2);
        QVERIFY(!rig.model().items().last().automatic);
        QCOMPARE(rig.capture.clicks, 2);
        // Consumed: settling again on the same words adds nothing more.
        rig.capture.nextJpeg = QByteArray("window-3");
        rig.say(QStringLiteral("look at this, add this and this one too "));
        rig.advance(0.6);
        QCOMPARE(rig.model().items().size(), 2);
    }

    void copiesBecomeAttachments()
    {
        Rig rig;
        rig.clipboard.copy(QStringLiteral("before the session"));
        QVERIFY(rig.model().items().isEmpty());
        rig.tap();
        QVERIFY(rig.model().items().first().automatic);
        rig.clipboard.copy(QStringLiteral("héllo👍🏽"));
        QCOMPARE(rig.model().items().size(), 1); // the copy replaced the automatic screenshot
        QVERIFY(rig.model().items().first().isClip());
        rig.clipboard.copy(QStringLiteral("héllo👍🏽"));
        QCOMPARE(rig.model().items().size(), 1);
        QCOMPARE(rig.log.messagesStartingWith(QStringLiteral("clip: ")),
                 QStringList{QStringLiteral("clip: 6 chars from Editor")});
        rig.model().appendItem(Item::shot(QImage(), "manual", {}, {}));
        rig.clipboard.onClip(Item::shot(QImage(), "copied picture", QStringLiteral("Viewer"), {}));
        QCOMPARE(rig.model().items().size(), 3);
        QCOMPARE(rig.log.messagesStartingWith(QStringLiteral("clip: ")).last(),
                 QStringLiteral("clip: 0 chars from Viewer"));
    }

    void anAutomaticScreenshotLateAfterACopyIsDropped()
    {
        Rig rig;
        rig.capture.delay = fromSeconds(0.5);
        rig.tap();
        rig.advance(0.1);
        rig.clipboard.copy(QStringLiteral("the error text"));
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
        QCOMPARE(rig.phase(), Phase::Kind::live);
        QVERIFY(rig.model().items().isEmpty());
        QCOMPARE(rig.log.messagesStartingWith(QStringLiteral("capture")),
                 QStringList{QStringLiteral("capture: no window (screen recording granted: false)")});
    }

    void nothingToSend()
    {
        Rig rig({}, [](Rig& r) { r.prefs->setAutoScreenshot(false); });
        rig.session(QStringLiteral("um, uh"));
        QCOMPARE(rig.model().phase(), Phase::failed(QStringLiteral("Nothing to send")));
        QVERIFY(rig.browser.deliveries.isEmpty());
        rig.advance(3.49);
        QVERIFY(rig.phase() == Phase::Kind::failed);
        rig.advance(0.01);
        QCOMPARE(rig.phase(), Phase::Kind::idle);
    }

    void practiceSessionEndsSentWithoutDelivering()
    {
        Rig rig;
        rig.model().setPractice(true);
        rig.session(QStringLiteral("hello there"));
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        QVERIFY(rig.browser.deliveries.isEmpty());
    }

    void deliveryFailures_data()
    {
        QTest::addColumn<std::optional<DeliveryError>>("error"); // none: not a delivery error
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("fixable");
        using E = DeliveryError;
        QTest::newRow("setting off") << std::optional(E::jsOff(Browser::chrome))
                                     << "Chrome needs one setting turned on" << true;
        QTest::newRow("not allowed") << std::optional(E::automationDenied(Browser::chrome))
                                     << "Vell can't reach Chrome yet" << true;
        QTest::newRow("timed out")
            << std::optional(E::timedOut(Browser::chrome))
            << "Chrome didn't respond. If Chrome asked to allow remote debugging, click Allow and try again."
            << true;
        QTest::newRow("page") << std::optional(E::page(QStringLiteral("TypeError: x is null")))
                              << "The chat page didn't respond" << false;
        QTest::newRow("no composer") << std::optional(E::noComposer())
                                     << "Couldn't find the message box. Check that you're signed in."
                                     << false;
        QTest::newRow("not sent") << std::optional(E::notSent()) << "Send didn't go through" << false;
        QTest::newRow("other error") << std::optional<E>() << "Couldn't send" << false;
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
        rig.clipboard.copy(QStringLiteral("E42"));
        rig.say(QStringLiteral("what does this mean"));
        rig.speech.finalText = QStringLiteral("what does this mean");
        rig.tap();
        rig.advance(0.9);
        QCOMPARE(rig.model().phase(), Phase::failed(message));
        QCOMPARE(rig.model().fixable(), fixable);
        const QString why = error ? error->rendered() : QStringLiteral("could not write the program file");
        QCOMPARE(rig.logged(QStringLiteral("deliver failed: ")), QStringList{"deliver failed: " + why});
        // The message waits on the clipboard, marked as the watcher's own; the remembered chat stays.
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.clipboard.written.first().text, QStringLiteral("what does this mean\n\n```\nE42\n```"));
        QCOMPARE(rig.prefs->stickyChat(Destination::claude()), std::optional(budget));
        const double display = fixable ? 7.0 : 3.5;
        rig.advance(display - 0.01);
        QCOMPARE(rig.model().phase(), Phase::failed(message));
        rig.advance(0.01);
        QCOMPARE(rig.phase(), Phase::Kind::idle);
    }

    void successRemembersTheChatAndNoTargetForgetsIt()
    {
        Rig rig;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.prefs->setStickyChat(trip, Destination::chatgpt());
        rig.tap();
        QCOMPARE(rig.model().target(), std::optional(budget));
        rig.say(QStringLiteral("start a new chat about taxes"));
        rig.advance(0.6);
        QVERIFY(!rig.model().target());
        rig.tap();
        rig.advance(0.9);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        QVERIFY(!rig.prefs->stickyChat(Destination::claude()));
        QCOMPARE(rig.prefs->stickyChat(Destination::chatgpt()), std::optional(trip));
    }

    void aDeliveryThatSucceedsAfterTheWatchdogChangesNothing()
    {
        Rig rig;
        rig.browser.deliverDelay = fromSeconds(80);
        rig.session(QStringLiteral("summarise this page"));
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.advance(74.99);
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.advance(0.01);
        QCOMPARE(rig.model().phase(), Phase::failed(QStringLiteral("Chrome took too long to respond")));
        QVERIFY(rig.model().fixable());
        QCOMPARE(rig.log.messagesStartingWith(QStringLiteral("deliver")),
                 QStringList{QStringLiteral("deliver: gave up after 75s")});
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.clipboard.written.first().images, QList<QByteArray>{"window-1"});
        rig.advance(5); // the late success
        QCOMPARE(rig.model().phase(), Phase::failed(QStringLiteral("Chrome took too long to respond")));
        QCOMPARE(rig.clipboard.written.size(), 1);
        QCOMPARE(rig.prefs->stickyChat(Destination::claude()), std::nullopt);
        rig.advance(2); // 7.0 s display for a fixable failure
        QCOMPARE(rig.phase(), Phase::Kind::idle);
    }

    void aLateResultOfAnOlderDeliveryIsDropped()
    {
        Rig rig;
        rig.browser.deliverDelay = fromSeconds(80);
        rig.tap();
        rig.say(QStringLiteral("first question"));
        rig.tap();
        rig.advance(0.9 + 75); // watchdog: failed
        rig.tap();             // a new session while the failure shows
        rig.browser.deliverDelay = fromSeconds(10);
        rig.browser.deliverError = DeliveryError::notSent();
        rig.say(QStringLiteral("second question"));
        rig.tap();
        rig.advance(0.9);
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.advance(4.1); // the first delivery succeeds now: not ours
        QCOMPARE(rig.phase(), Phase::Kind::delivering);
        rig.advance(6);
        QCOMPARE(rig.model().phase(), Phase::failed(QStringLiteral("Send didn't go through")));
    }

    void tappingWhileSentIsShownStartsANewSession()
    {
        Rig rig;
        rig.session(QStringLiteral("hello"));
        QCOMPARE(rig.phase(), Phase::Kind::sent);
        rig.advance(1.0);
        rig.tap();
        QCOMPARE(rig.phase(), Phase::Kind::live);
        rig.advance(5);
        QCOMPARE(rig.phase(), Phase::Kind::live);
        QVERIFY(rig.shell.hudSurface.visible);
    }

    void fixButtonOpensOnboardingAtTheBrowserStep()
    {
        Rig rig;
        rig.browser.deliverError = DeliveryError::jsOff(Browser::chrome);
        rig.session(QStringLiteral("hello"));
        QVERIFY(rig.model().fixable());
        rig.shell.windows.clear();
        rig.shell.actions.fix();
        QCOMPARE(rig.phase(), Phase::Kind::idle);
        QVERIFY(!rig.shell.hudSurface.visible);
        QCOMPARE(rig.prefs->onboardingStep(), 3);
        QCOMPARE(rig.shell.windows, QStringList{QStringLiteral("onboarding")});
        rig.advance(10); // the cancelled display timer does nothing
        QCOMPARE(rig.phase(), Phase::Kind::idle);
    }

    void twoQuickTapsWhileChatsLoad()
    {
        Rig rig;
        rig.browser.chats = listOf({trip}, {budget, recipes});
        rig.browser.listDelay = fromSeconds(0.5);
        rig.tap();
        QVERIFY(!rig.model().chats());
        rig.say(QStringLiteral("send this to the budget chat"));
        rig.advance(0.6); // named intent: a second listing starts, done at 1.1
        rig.advance(0.1);
        rig.tap(); // sending at 0.7, before the listing is back
        QCOMPARE(rig.phase(), Phase::Kind::sending);
        QCOMPARE(rig.model().chats(), std::optional(listOf({trip}, {budget, recipes})));
        rig.advance(0.4);
        QCOMPARE(rig.model().target(), std::optional(budget));
        QCOMPARE(rig.model().targetPulse(), 1);
        QCOMPARE(rig.logged(QStringLiteral("chat target: ")),
                 QStringList{"chat target: named(\"budget\") -> Budget plan (3 chats)"});
        rig.advance(0.5);
        QCOMPARE(rig.phase(), Phase::Kind::sent);
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

    void withoutAutomationAccessTheChatListIsEmptyButLoaded()
    {
        Rig rig;
        rig.browser.accessAnswer = AutomationAccess::notAsked;
        rig.browser.chats = listOf({trip}, {});
        rig.tap();
        QCOMPARE(rig.browser.listings, 0);
        QCOMPARE(rig.model().chats(), std::optional(ChatList()));
    }

    void aLaterSpokenIntentWins()
    {
        Rig rig;
        rig.browser.chats = listOf({}, {budget, trip});
        rig.tap();
        rig.browser.listDelay = fromSeconds(1);
        rig.say(QStringLiteral("send this to the budget chat"));
        rig.advance(0.6); // named resolution back at 1.6
        rig.say(QStringLiteral("send this to the budget chat, no, put it in a new chat"));
        rig.advance(0.6); // new: target none at once
        rig.advance(1);
        QVERIFY(!rig.model().target());
        QCOMPARE(rig.model().targetPulse(), 0); // none to none is no change
        QCOMPARE(rig.logged(QStringLiteral("chat target: ")),
                 (QStringList{"chat target: new chat (said)",
                              "chat target: named(\"budget\") -> Budget plan (2 chats)"}));
    }

    // Where a spoken chat intent points, from the remembered chat and the listing.
    void spokenChatTargets_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("remembered"); // Recipes remembered before the intent
        QTest::addColumn<QString>("title");   // empty: a new chat
        QTest::addColumn<QString>("logged");
        QTest::newRow("same chat, remembered") << "continue in the same chat" << true << "Recipes"
                                               << "chat target: same chat -> Recipes";
        QTest::newRow("same chat, first recent") << "continue in the same chat" << false << "Budget plan"
                                                 << "chat target: recent -> Budget plan (3 chats)";
    }
    void spokenChatTargets()
    {
        QFETCH(QString, words);
        QFETCH(bool, remembered);
        QFETCH(QString, title);
        QFETCH(QString, logged);
        Rig rig;
        rig.browser.chats = listOf({trip}, {budget, recipes});
        rig.tap();
        if (remembered) rig.prefs->setStickyChat(recipes, Destination::claude());
        rig.say(words);
        rig.advance(0.6);
        QCOMPARE(rig.model().target() ? rig.model().target()->title : QString(), title);
        QCOMPARE(rig.logged(QStringLiteral("chat target: ")), QStringList{logged});
    }

    void aNameThatMatchesNothingAimsAtANewChat()
    {
        Rig rig;
        rig.prefs->setStickyChat(budget, Destination::claude());
        rig.browser.accessAnswer = AutomationAccess::denied;
        rig.tap();
        QCOMPARE(rig.model().target(), std::optional(budget));
        rig.browser.chats = listOf({}, {recipes});
        rig.say(QStringLiteral("send this to the astronomy chat"));
        rig.advance(0.6);
        QVERIFY(!rig.model().target());
        QCOMPARE(rig.model().targetPulse(), 1);
        QCOMPARE(rig.logged(QStringLiteral("chat target: ")),
                 QStringList{"chat target: named(\"astronomy\") -> no match, new chat (1 chats)"});
    }

    void hudActions()
    {
        Rig rig;
        rig.tap();
        rig.clipboard.copy(QStringLiteral("one"));
        rig.clipboard.copy(QStringLiteral("two"));
        rig.shell.actions.remove(rig.model().items().first().id);
        QCOMPARE(rig.model().items().size(), 1);
        QCOMPARE(rig.model().items().first().text, QStringLiteral("two"));

        rig.capture.nextJpeg = QByteArray("window-9");
        rig.shell.actions.add();
        rig.clock.runDue();
        QCOMPARE(rig.model().items().size(), 2);

        rig.shell.actions.pick(trip);
        QCOMPARE(rig.model().target(), std::optional(trip));
        rig.shell.actions.pick(trip);
        QCOMPARE(rig.model().targetPulse(), 1);
        rig.shell.actions.pick(std::nullopt);
        QCOMPARE(rig.model().targetPulse(), 2);
        QCOMPARE(rig.log.messagesStartingWith(QStringLiteral("chat target: picked")),
                 (QStringList{QStringLiteral("chat target: picked Trip to Lisbon"),
                              QStringLiteral("chat target: picked Trip to Lisbon"),
                              QStringLiteral("chat target: picked new chat")}));
        rig.trigger.escape();
        rig.shell.actions.pick(trip);
        QVERIFY(!rig.model().target());
        QCOMPARE(rig.shell.hudsMade, 1);
    }

    void voiceLevelDecaysSmoothly()
    {
        Rig rig;
        rig.speech.onLevel(1.0f);
        rig.speech.onLevel(0.0f);
        QCOMPARE(rig.model().level(), 0.6f);
        rig.speech.onLevel(0.9f);
        QCOMPARE(rig.model().level(), 0.9f);
        rig.speech.onState(Mic::failed(QStringLiteral("No microphone")));
        QCOMPARE(rig.model().mic(), Mic::failed(QStringLiteral("No microphone")));
    }

    void callbacksAfterTheControllerIsGoneDoNothing()
    {
        Rig rig;
        rig.browser.deliverDelay = fromSeconds(3);
        rig.session(QStringLiteral("hello"));
        rig.advance(0.1);
        rig.controller.reset();
        rig.advance(100);
        rig.trigger.tap();
        rig.speech.say(QStringLiteral("send it"));
        rig.clipboard.copy(QStringLiteral("x"));
        rig.shell.actions.add();
        rig.shell.menuOpenSettings();
        rig.advance(1);
        QCOMPARE(rig.shell.windows.count(QStringLiteral("settings")), 0);
    }

    void startupOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<bool>("permissions");
        QTest::addColumn<QStringList>("windows");
        QTest::newRow("set up") << QStringList{} << true << true << QStringList{"updater"};
        QTest::newRow("not set up") << QStringList{} << false << true << QStringList{"updater", "onboarding"};
        QTest::newRow("permission revoked")
            << QStringList{} << true << false << QStringList{"updater", "onboarding"};
        QTest::newRow("demo first") << QStringList{"--list-chats", "--demo", "--settings"} << false << true
                                    << QStringList{};
        QTest::newRow("settings over listing")
            << QStringList{"--list-chats", "--settings"} << true << true << QStringList{"settings"};
        QTest::newRow("automation status")
            << QStringList{"--automation-status", "--list-chats"} << true << true << QStringList{"exit:0"};
        QTest::newRow("list chats") << QStringList{"--list-chats"} << false << false << QStringList{"exit:0"};
        QTest::newRow("export art") << QStringList{"--export-art", "/tmp/art", "--demo"} << true << true
                                    << QStringList{"art:/tmp/art", "exit:0"};
        QTest::newRow("export art without folder")
            << QStringList{"--export-art"} << true << true << QStringList{"updater"};
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
        const bool exported = arguments.contains(QStringLiteral("/tmp/art"));
        QCOMPARE(rig.startupLog.contains(QStringLiteral("launch")), !exported);
        QCOMPARE(rig.shell.menuMade, !exported);
        QCOMPARE(rig.trigger.starts, exported ? 0 : 1);
        QCOMPARE(rig.speech.calls.contains(QStringLiteral("warmUp")), !exported);
    }

    void demoStagesTheHudAndSnapsItLater_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<QStringList>("windows");
        QTest::newRow("live, no snap") << QStringList{"--demo", "--snap"} << Phase::live() << QStringList{};
        QTest::newRow("failed, snapped")
            << QStringList{"--snap", "/tmp/f.png", "--demo", "--state", "failed"}
            << Phase::failed(QStringLiteral("Safari needs one setting")) << QStringList{"snap:/tmp/f.png"};
        QTest::newRow("unknown state")
            << QStringList{"--demo", "--state", "bogus"} << Phase::live() << QStringList{};
    }
    void demoStagesTheHudAndSnapsItLater()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Phase, phase);
        QFETCH(QStringList, windows);
        Rig rig(arguments);
        QCOMPARE(rig.model().phase(), phase);
        QCOMPARE(rig.model().fixable(), phase.is(Phase::Kind::failed));
        QCOMPARE(rig.model().items().size(), 2);
        QCOMPARE(rig.model().target()->title.size(), 26);
        QCOMPARE(rig.shell.hudSurface.shows, 1);
        QVERIFY(rig.shell.windows.isEmpty());
        rig.advance(1.4);
        QVERIFY(rig.shell.windows.isEmpty());
        rig.advance(0.2);
        QCOMPARE(rig.shell.windows, windows);
        // Nothing of a real session runs: no capture, no listening.
        QCOMPARE(rig.capture.captures, 0);
        QVERIFY(rig.speech.calls.filter(QStringLiteral("start")).isEmpty());
    }

    void toolModesLogWhatTheyFound()
    {
        Rig rig;
        rig.browser.accessAnswer = AutomationAccess::browserNotRunning;
        rig.restart({QStringLiteral("--automation-status")});
        QCOMPARE(rig.shell.windows.last(), QStringLiteral("exit:0"));
        rig.browser.chats = listOf({trip}, {budget, recipes});
        rig.restart({QStringLiteral("--list-chats")});
        QCOMPARE(
            rig.logged(QStringLiteral("status ")) + rig.logged(QStringLiteral("chats ")),
            (QStringList{
                "status Safari: browserNotRunning", "status Chrome: browserNotRunning",
                "chats Claude in Chrome: tabs [\"Trip to Lisbon\"], recents [\"Budget plan\", \"Recipes\"]",
                "chats ChatGPT in Chrome: tabs [\"Trip to Lisbon\"], recents [\"Budget plan\", "
                "\"Recipes\"]"}));
    }

    void onboardingAndSettingsWindows()
    {
        Rig rig; // onboarded, all permissions
        rig.shell.windows.clear();
        rig.controller->reopen();
        QCOMPARE(rig.shell.windows, QStringList{QStringLiteral("settings")});

        // Reopen after a permission was revoked: onboarding at the permissions step.
        rig.shell.permissions = false;
        rig.prefs->setOnboardingStep(5);
        rig.controller->reopen();
        QCOMPARE(rig.shell.windows.last(), QStringLiteral("onboarding"));
        QCOMPARE(rig.prefs->onboardingStep(), 2);

        // Someone who never finished keeps their step.
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
        QCOMPARE(rig.shell.windows.last(), QStringLiteral("close onboarding"));

        // Settings' replay button closes settings first.
        rig.shell.permissions = true;
        rig.shell.menuOpenSettings();
        rig.prefs->setOnboardingStep(3);
        rig.shell.windows.clear();
        rig.shell.replayTutorial();
        QCOMPARE(rig.shell.windows,
                 (QStringList{QStringLiteral("close settings"), QStringLiteral("onboarding")}));
        QCOMPARE(rig.prefs->onboardingStep(), 0);
    }
};

QTEST_GUILESS_MAIN(TestAppController)
#include "tst_appcontroller.moc"
