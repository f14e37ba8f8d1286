// The connection check: the probe program and its verdicts, the permission
// log, and the BrowserProbe state machine on virtual time.
#include "Automation.h"
#include "BrowserPlatformFakes.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

using namespace std::chrono_literals;
using State = BrowserProbe::State;

namespace {

// A probe program outcome: the model browser's windows, or a runner failure.
using Answer = std::function<QString(ScriptedBrowser&, const QString& program)>;
// The platform's permission answer.
using Access = std::function<AutomationAccess(Browser, bool)>;

Answer browserWith(QList<ScriptedBrowser::Window> windows, QVariant pageValue = 2)
{
    return [windows, pageValue](ScriptedBrowser& browser, const QString& program) {
        browser.windows = windows;
        browser.page = [pageValue](const ScriptedBrowser::Tab&, const QString& code) {
            return code == QLatin1String("1+1") ? pageValue
                                                : QVariant(QStringLiteral("unexpected page script"));
        };
        return browser.run(program);
    };
}

template <typename E> Answer failing(E error)
{
    return [error](ScriptedBrowser&, const QString&) -> QString { throw error; };
}

struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    FakeAutomationBackend automation{scheduler};
    ScriptedBrowser browser;
    BrowserDriver driver{runner, apps, scheduler};
    Answer probeAnswer = browserWith({{{{QStringLiteral("https://claude.ai/chat/1"), {}}}, 0, false}});

    explicit Rig(Browser b = Browser::chrome) : browser(b)
    {
        apps.running[b] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) {
            return probeAnswer(browser, call.program);
        };
        // The platform answers "not running" while the browser is down, like the real query.
        automation.answer = [this](Browser which, bool) {
            return apps.isRunning(which) ? AutomationAccess::granted : AutomationAccess::browserNotRunning;
        };
    }
};

// Every state a probe takes, in order.
struct StateLog {
    explicit StateLog(BrowserProbe& probe)
    {
        QObject::connect(&probe, &BrowserProbe::stateChanged, &probe,
                         [this, &probe] { states << probe.state().rendered(); });
    }
    QStringList states;
};

const QString openHostInChrome = QStringLiteral("Open claude.ai in Chrome, then check again.");

} // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Access)
Q_DECLARE_METATYPE(Browser)

class TestBrowserProbe : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // MARK: BrowserTab::probe

    void probeTurnsOutcomesIntoSentences_data()
    {
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("verdict"); // "-": none, all is well
        QTest::addColumn<QString>("logLine");

        const QList<ScriptedBrowser::Window> assistant{
            {{{QStringLiteral("https://claude.ai/new"), {}}}, 0, false}};
        const QList<ScriptedBrowser::Window> elsewhere{
            {{{QStringLiteral("https://example.com/"), {}}}, 0, false}};
        QTest::newRow("page answers 2") << Browser::chrome << browserWith(assistant) << "-"
                                        << "probe Chrome: 2";
        QTest::newRow("safari page answers 2") << Browser::safari << browserWith(assistant) << "-"
                                               << "probe Safari: 2";
        QTest::newRow("no window") << Browser::chrome << browserWith({}) << openHostInChrome
                                   << "probe Chrome: nowindow";
        QTest::newRow("safari, no window")
            << Browser::safari << browserWith({}) << "Open claude.ai in Safari, then check again."
            << "probe Safari: nowindow";
        QTest::newRow("no assistant tab")
            << Browser::chrome << browserWith(elsewhere) << openHostInChrome << "probe Chrome: notab";
        QTest::newRow("error page") << Browser::chrome
                                    << browserWith(assistant, QStringLiteral("This site can't be reached"))
                                    << "Reload your claude.ai tab in Chrome, then check again."
                                    << "probe Chrome: This site can't be reached";
        QTest::newRow("nothing back") << Browser::chrome << browserWith(assistant, QVariant())
                                      << "Reload your claude.ai tab in Chrome, then check again."
                                      << "probe Chrome: undefined";
        QTest::newRow("refused") << Browser::chrome
                                 << failing(DeliveryError::automationDenied(Browser::chrome))
                                 << "automation-denied"
                                 << "probe Chrome failed: automationDenied(chrome)";
        QTest::newRow("chrome setting off")
            << Browser::chrome << failing(DeliveryError::jsOff(Browser::chrome))
            << "Not on yet. In Chrome, open chrome://inspect/#remote-debugging and turn on \u201CAllow "
               "remote "
               "debugging for this browser instance\u201D, in the profile you use the chat in."
            << "probe Chrome failed: jsOff(chrome)";
        QTest::newRow("safari setting off")
            << Browser::safari << failing(DeliveryError::jsOff(Browser::safari))
            << "Not on yet. Turn on both Safari settings shown above, then check again."
            << "probe Safari failed: jsOff(safari)";
        QTest::newRow("no answer in time")
            << Browser::chrome << failing(DeliveryError::timedOut(Browser::chrome))
            << "Chrome didn't answer within 10 seconds. If Chrome asks to allow remote debugging, click "
               "Allow, then "
               "check again."
            << "probe Chrome failed: timedOut(chrome)";
        QTest::newRow("other runner failure")
            << Browser::chrome << failing(DeliveryError::page(QStringLiteral("Error: Can't get object.")))
            << "The chat page didn't respond"
            << "probe Chrome failed: page(\"Error: Can't get object.\")";
        QTest::newRow("runner cannot start")
            << Browser::chrome << failing(std::runtime_error("could not start")) << "could not start"
            << "probe Chrome failed: could not start";
    }

    void probeTurnsOutcomesIntoSentences()
    {
        QFETCH(Browser, browser);
        QFETCH(Answer, answer);
        QFETCH(QString, verdict);
        QFETCH(QString, logLine);
        ScopedLog log;
        Rig rig(browser);
        rig.probeAnswer = answer;
        StartedTask<std::optional<QString>> task(
            BrowserTab::probe(rig.driver, browser, QStringLiteral("claude.ai")));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(task.value().value_or(QStringLiteral("-")), verdict);
        QCOMPARE(log.messages(), QStringList{logLine});
        QCOMPARE(rig.runner.calls.size(), 1);
        QCOMPARE(rig.runner.calls[0].timeout, 10s);
        QCOMPARE(FakeScriptRunner::constant(rig.runner.calls[0].program, QStringLiteral("PREFER")),
                 QString());
    }

    void accessIsLoggedWithItsAnswer()
    {
        ScopedLog log;
        VirtualScheduler scheduler;
        FakeAutomationBackend backend(scheduler);
        backend.answer = [](Browser, bool ask) {
            return ask ? AutomationAccess::denied : AutomationAccess::notAsked;
        };
        StartedTask<AutomationAccess> quiet(Automation::access(backend, Browser::chrome, false));
        StartedTask<AutomationAccess> asked(Automation::access(backend, Browser::safari, true));
        QCOMPARE(quiet.value(), AutomationAccess::notAsked);
        QCOMPARE(asked.value(), AutomationAccess::denied);
        QCOMPARE(log.messages(), (QStringList{"automation Chrome: notAsked", "automation Safari: denied"}));
        Automation::resetAnswer(backend);
        QCOMPARE(backend.resets, 1);
    }

    // MARK: BrowserProbe

    void checkEndsInAStateTheViewCanShow_data()
    {
        QTest::addColumn<Access>("access");
        QTest::addColumn<Answer>("probe");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<QList<bool>>("asks");

        const Access granted = [](Browser, bool) { return AutomationAccess::granted; };
        const Answer pageOK = browserWith({{{{QStringLiteral("https://claude.ai/chat/1"), {}}}, 0, false}});
        QTest::newRow("all well") << granted << pageOK << QStringList{"checking", "ok"} << QList<bool>{false};
        QTest::newRow("refused earlier") << Access([](Browser, bool) { return AutomationAccess::denied; })
                                         << pageOK << QStringList{"checking", "denied"} << QList<bool>{false};
        QTest::newRow("first check, user allows") << Access([](Browser, bool ask) {
            return ask ? AutomationAccess::granted : AutomationAccess::notAsked;
        }) << pageOK << QStringList{"checking", "waitingForOK", "checking", "ok"}
                                                  << QList<bool>{false, true};
        QTest::newRow("first check, user refuses") << Access([](Browser, bool ask) {
            return ask ? AutomationAccess::denied : AutomationAccess::notAsked;
        }) << pageOK << QStringList{"checking", "waitingForOK", "denied"}
                                                   << QList<bool>{false, true};
        QTest::newRow("prompt still undecided")
            << Access([](Browser, bool) { return AutomationAccess::notAsked; }) << pageOK
            << QStringList{"checking", "waitingForOK", "denied"} << QList<bool>{false, true};
        QTest::newRow("browser gone")
            << Access([](Browser, bool) { return AutomationAccess::browserNotRunning; }) << pageOK
            << QStringList{"checking", "failed(\"Open Chrome, then check again.\")"} << QList<bool>{false};
        QTest::newRow("refused by the page run")
            << granted << failing(DeliveryError::automationDenied(Browser::chrome))
            << QStringList{"checking", "denied"} << QList<bool>{false};
        QTest::newRow("no assistant tab")
            << granted << browserWith({}) << QStringList{"checking", "failed(\"" + openHostInChrome + "\")"}
            << QList<bool>{false};
        QTest::newRow("permission query fails")
            << Access([](Browser, bool) -> AutomationAccess { throw std::runtime_error("no session bus"); })
            << pageOK << QStringList{"checking", "failed(\"no session bus\")"} << QList<bool>{false};
    }

    void checkEndsInAStateTheViewCanShow()
    {
        QFETCH(Access, access);
        QFETCH(Answer, probe);
        QFETCH(QStringList, states);
        QFETCH(QList<bool>, asks);
        Rig rig;
        rig.automation.answer = access;
        rig.automation.promptTime = 5s;
        rig.probeAnswer = probe;
        BrowserProbe checker(rig.driver, rig.automation, [] { return Destination::claude(); });
        StateLog log(checker);
        checker.run(Browser::chrome);
        rig.scheduler.advance(10.0);
        QCOMPARE(log.states, states);
        QVERIFY(!checker.busy());
        QList<bool> askedWith;
        for (const auto& [browser, ask] : rig.automation.calls)
            askedWith << ask;
        QCOMPARE(askedWith, asks);
        QVERIFY(rig.apps.launches.isEmpty());
    }

    void waitingForOKLastsUntilTheUserAnswers()
    {
        Rig rig;
        rig.automation.answer = [](Browser, bool ask) {
            return ask ? AutomationAccess::granted : AutomationAccess::notAsked;
        };
        rig.automation.promptTime = 20s;
        BrowserProbe checker(rig.driver, rig.automation, [] { return Destination::claude(); });
        checker.run(Browser::chrome);
        rig.scheduler.advance(19.9);
        QCOMPARE(checker.state(), State::waitingForOK());
        QVERIFY(checker.busy());
        rig.scheduler.advance(0.1);
        QCOMPARE(checker.state(), State::ok());
    }

    void browserThatComesUpLate()
    {
        Rig rig;
        rig.apps.running[Browser::chrome] = false;
        rig.apps.onLaunch = [&](Browser b, const QString&) {
            rig.scheduler.schedule(2s, [&rig, b] { rig.apps.running[b] = true; });
        };
        rig.probeAnswer = browserWith({{{{QStringLiteral("https://chatgpt.com/c/9"), {}}}, 0, false}});
        BrowserProbe checker(rig.driver, rig.automation, [] { return Destination::chatgpt(); });
        StateLog log(checker);
        checker.run(Browser::chrome);
        QCOMPARE(checker.state(), State::launching());
        QVERIFY(checker.busy());
        QCOMPARE(rig.apps.launches,
                 (QList<std::pair<Browser, QString>>{{Browser::chrome, "https://chatgpt.com/"}}));
        // Up at 2.0 s, seen by the round at 2.1 s; the rounds left pass at once, then 1.5 s more.
        rig.scheduler.advance(3.5);
        QCOMPARE(checker.state(), State::launching());
        rig.scheduler.advance(0.1);
        QCOMPARE(log.states, (QStringList{"launching", "checking", "ok"}));
        QCOMPARE(FakeScriptRunner::constant(rig.runner.calls.at(0).program, QStringLiteral("HOST")),
                 QStringLiteral("chatgpt.com"));
    }

    void browserThatNeverStarts()
    {
        Rig rig;
        rig.apps.running[Browser::chrome] = false;
        BrowserProbe checker(rig.driver, rig.automation, [] { return Destination::claude(); });
        StateLog log(checker);
        checker.run(Browser::chrome);
        // 30 rounds of 0.3 s, then 1.5 s.
        rig.scheduler.advance(10.4);
        QCOMPARE(log.states, QStringList{"launching"});
        rig.scheduler.advance(0.1);
        QCOMPARE(log.states,
                 (QStringList{"launching", "checking", "failed(\"Open Chrome, then check again.\")"}));
        QVERIFY(rig.runner.calls.isEmpty());
    }

    void runIsIgnoredWhileBusyAndAllowedAfter()
    {
        Rig rig;
        rig.runner.delay = 3s;
        BrowserProbe checker(rig.driver, rig.automation, [] { return Destination::claude(); });
        checker.run(Browser::chrome);
        checker.run(Browser::chrome);
        rig.scheduler.advance(1.0);
        checker.run(Browser::chrome);
        rig.scheduler.advance(2.0);
        QCOMPARE(checker.state(), State::ok());
        QCOMPARE(rig.runner.calls.size(), 1);
        QCOMPARE(rig.automation.calls.size(), 1);

        // From a settled state a new check starts.
        checker.setState(State::untested());
        checker.run(Browser::chrome);
        QCOMPARE(checker.state(), State::checking());
        rig.scheduler.advance(3.0);
        QCOMPARE(rig.runner.calls.size(), 2);
    }

    void probeGoneMidCheckStopsQuietly()
    {
        Rig rig;
        rig.apps.running[Browser::chrome] = false;
        auto checker =
            std::make_unique<BrowserProbe>(rig.driver, rig.automation, [] { return Destination::claude(); });
        checker->run(Browser::chrome);
        rig.scheduler.advance(1.0);
        checker.reset();
        rig.apps.running[Browser::chrome] = true;
        rig.scheduler.advance(30.0);
        QVERIFY(rig.automation.calls.isEmpty());
        QVERIFY(rig.runner.calls.isEmpty());
        QCOMPARE(rig.scheduler.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowserProbe)
#include "tst_browserprobe.moc"
