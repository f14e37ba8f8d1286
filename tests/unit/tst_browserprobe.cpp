// The connection check: the probe program's verdicts and the BrowserProbe
// state machine on virtual time.
#include "Automation.h"
#include "BrowserPlatformFakes.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QTest>

#include <functional>
#include <memory>

using namespace std::chrono_literals;
using State = BrowserProbe::State;

namespace {

// A probe run's outcome: the model browser with these windows, or a runner failure.
using Answer = std::function<QString(ScriptedBrowser&, const QString& program)>;
using Access = std::function<AutomationAccess(Browser, bool ask)>;

Answer browserWith(const QString& url, QVariant pageValue = 2)
{
    return [url, pageValue](ScriptedBrowser& browser, const QString& program) {
        browser.windows.clear();
        if (!url.isEmpty()) browser.windows = {{{{url, {}}}, 0, false}};
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

Access always(AutomationAccess a)
{
    return [a](Browser, bool) { return a; };
}

Access onAsking(AutomationAccess a)
{
    return [a](Browser, bool ask) { return ask ? a : AutomationAccess::notAsked; };
}

struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    FakeAutomationBackend automation{scheduler};
    ScriptedBrowser browser;
    BrowserDriver driver{runner, apps, scheduler};
    Answer probeAnswer = browserWith(QStringLiteral("https://claude.ai/chat/1"));
    std::unique_ptr<BrowserProbe> checker;
    QStringList states; // every state the checker takes, in order

    explicit Rig(Browser b = Browser::chrome, Destination destination = Destination::claude()) : browser(b)
    {
        apps.running[b] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) {
            return probeAnswer(browser, call.program);
        };
        // "Not running" while the browser is down, like the real query.
        automation.answer = [this](Browser which, bool) {
            return apps.isRunning(which) ? AutomationAccess::granted : AutomationAccess::browserNotRunning;
        };
        checker = std::make_unique<BrowserProbe>(driver, automation, [destination] { return destination; });
        QObject::connect(checker.get(), &BrowserProbe::stateChanged, checker.get(),
                         [this] { states << checker->state().rendered(); });
    }
};

const QString reload = QStringLiteral("Reload your claude.ai tab in Chrome, then check again.");

} // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Access)
Q_DECLARE_METATYPE(Browser)

class TestBrowserProbe : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void probeTurnsOutcomesIntoSentences_data()
    {
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("verdict"); // "-": none, all is well
        QTest::addColumn<QString>("logLine");

        const QString assistant = QStringLiteral("https://claude.ai/new");
        const auto chrome = Browser::chrome;
        QTest::newRow("page answers 2") << Browser::safari << browserWith(assistant) << "-"
                                        << "probe Safari: 2";
        // No window and no assistant tab end in the same sentence; the browser's name is in it.
        QTest::newRow("no assistant tab")
            << Browser::safari << browserWith(QStringLiteral("https://example.com/"))
            << "Open claude.ai in Safari, then check again."
            << "probe Safari: notab";
        QTest::newRow("error page") << chrome << browserWith(assistant, "This site can't be reached")
                                    << reload << "probe Chrome: This site can't be reached";
        QTest::newRow("refused") << chrome << failing(DeliveryError::automationDenied(chrome))
                                 << "automation-denied"
                                 << "probe Chrome failed: automationDenied(chrome)";
        QTest::newRow("other runner failure")
            << chrome << failing(DeliveryError::page("Error: Can't get object."))
            << "The chat page didn't respond"
            << "probe Chrome failed: page(\"Error: Can't get object.\")";
        QTest::newRow("runner cannot start")
            << chrome << failing(std::runtime_error("could not start")) << "could not start"
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
        QCOMPARE(task.value().value_or(QStringLiteral("-")), verdict);
        QCOMPARE(log.messages(), QStringList{logLine});
        QCOMPARE(rig.runner.calls.size(), 1);
        QCOMPARE(rig.runner.calls[0].timeout, 10s);
    }

    void checkEndsInAStateTheViewCanShow_data()
    {
        QTest::addColumn<Access>("access");
        QTest::addColumn<Answer>("probe");
        QTest::addColumn<QStringList>("states");
        QTest::addColumn<QList<bool>>("asks");

        const Access granted = always(AutomationAccess::granted);
        const Answer pageOK = browserWith(QStringLiteral("https://claude.ai/chat/1"));
        const QString ask = QStringLiteral("waitingForOK");
        QTest::newRow("all well") << granted << pageOK << QStringList{"checking", "ok"} << QList<bool>{false};
        QTest::newRow("first check, user allows")
            << onAsking(AutomationAccess::granted) << pageOK << QStringList{"checking", ask, "checking", "ok"}
            << QList<bool>{false, true};
        QTest::newRow("first check, user refuses")
            << onAsking(AutomationAccess::denied) << pageOK << QStringList{"checking", ask, "denied"}
            << QList<bool>{false, true};
        QTest::newRow("prompt still undecided")
            << onAsking(AutomationAccess::notAsked) << pageOK << QStringList{"checking", ask, "denied"}
            << QList<bool>{false, true};
        QTest::newRow("browser gone")
            << always(AutomationAccess::browserNotRunning) << pageOK
            << QStringList{"checking", "failed(\"Open Chrome, then check again.\")"} << QList<bool>{false};
        QTest::newRow("refused by the page run")
            << granted << failing(DeliveryError::automationDenied(Browser::chrome))
            << QStringList{"checking", "denied"} << QList<bool>{false};
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
        rig.automation.promptTime = 20s;
        rig.probeAnswer = probe;
        rig.checker->run(Browser::chrome);
        // A prompt holds the check for as long as the user takes.
        rig.scheduler.advance(19.9);
        QCOMPARE(rig.checker->busy(), asks.size() > 1);
        rig.scheduler.advance(0.1);
        QCOMPARE(rig.states, states);
        QVERIFY(!rig.checker->busy());
        QList<bool> askedWith;
        for (const auto& [browser, ask] : rig.automation.calls)
            askedWith << ask;
        QCOMPARE(askedWith, asks);
        QVERIFY(rig.apps.launches.isEmpty());
    }

    void browserThatComesUpLate()
    {
        Rig rig(Browser::chrome, Destination::chatgpt());
        rig.apps.running[Browser::chrome] = false;
        rig.apps.onLaunch = [&](Browser b, const QString&) {
            rig.scheduler.schedule(2s, [&rig, b] { rig.apps.running[b] = true; });
        };
        rig.probeAnswer = browserWith(QStringLiteral("https://chatgpt.com/c/9"));
        rig.checker->run(Browser::chrome);
        QCOMPARE(rig.checker->state(), State::launching());
        QCOMPARE(rig.apps.launches,
                 (QList<std::pair<Browser, QString>>{{Browser::chrome, "https://chatgpt.com/"}}));
        // Up at 2.0 s, seen by the round at 2.1 s; the rounds left pass at once, then 1.5 s more.
        rig.scheduler.advance(3.5);
        QCOMPARE(rig.checker->state(), State::launching());
        rig.scheduler.advance(0.1);
        QCOMPARE(rig.states, (QStringList{"launching", "checking", "ok"}));
    }

    void browserThatNeverStarts()
    {
        Rig rig;
        rig.apps.running[Browser::chrome] = false;
        rig.checker->run(Browser::chrome);
        // 30 rounds of 0.3 s, then 1.5 s.
        rig.scheduler.advance(10.4);
        QCOMPARE(rig.states, QStringList{"launching"});
        rig.scheduler.advance(0.1);
        QCOMPARE(rig.states,
                 (QStringList{"launching", "checking", "failed(\"Open Chrome, then check again.\")"}));
        QVERIFY(rig.runner.calls.isEmpty());
    }

    void runIsIgnoredWhileBusyAndAllowedAfter()
    {
        Rig rig;
        rig.runner.delay = 3s;
        rig.checker->run(Browser::chrome);
        rig.scheduler.advance(1.0);
        rig.checker->run(Browser::chrome);
        rig.scheduler.advance(2.0);
        QCOMPARE(rig.checker->state(), State::ok());
        QCOMPARE(rig.runner.calls.size(), 1);
        rig.checker->run(Browser::chrome);
        QCOMPARE(rig.checker->state(), State::checking());
        rig.scheduler.advance(3.0);
        QCOMPARE(rig.runner.calls.size(), 2);
    }

    void probeGoneMidCheckStopsQuietly()
    {
        Rig rig;
        rig.apps.running[Browser::chrome] = false;
        rig.checker->run(Browser::chrome);
        rig.scheduler.advance(1.0);
        rig.checker.reset();
        rig.apps.running[Browser::chrome] = true;
        rig.scheduler.advance(30.0);
        QVERIFY(rig.automation.calls.isEmpty());
        QVERIFY(rig.runner.calls.isEmpty());
        QCOMPARE(rig.scheduler.pendingCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowserProbe)
#include "tst_browserprobe.moc"
