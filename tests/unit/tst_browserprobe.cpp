// The connection check: the probe program's verdicts and BrowserProbe on virtual time.
#include "Automation.h"
#include "BrowserPlatformFakes.h"
#include "FakeScriptRunner.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

// A probe run's outcome: the model browser with these windows, or a runner failure.
using Answer = std::function<QString(ScriptedBrowser&, const QString& program)>;

Answer browserWith(const QString& url, QVariant pageValue = 2)
{
    return [url, pageValue](ScriptedBrowser& browser, const QString& program) {
        browser.windows = {{{{url, {}}}, 0, false}};
        browser.page = [pageValue](const ScriptedBrowser::Tab&, const QString&) { return pageValue; };
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
    Answer probeAnswer = browserWith(QStringLiteral("https://claude.ai/chat/1"));
    std::unique_ptr<BrowserProbe> checker;
    QStringList states; // every state the checker takes, in order

    explicit Rig(Browser b = Browser::chrome, Destination destination = Destination::claude()) : browser(b)
    {
        apps.running[b] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) {
            return probeAnswer(browser, call.program);
        };
        automation.answer = [this](Browser which, bool) {
            return apps.isRunning(which) ? AutomationAccess::granted : AutomationAccess::browserNotRunning;
        };
        checker = std::make_unique<BrowserProbe>(driver, automation, [destination] { return destination; });
        QObject::connect(checker.get(), &BrowserProbe::stateChanged, checker.get(),
                         [this] { states << checker->state().rendered(); });
    }
};

} // namespace

class TestBrowserProbe : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One run of the probe program, with a ten-second limit, turned into a verdict ("-": all is well).
    void probeTurnsOutcomesIntoSentences()
    {
        const auto verdict = [](Answer answer, Browser browser = Browser::chrome) {
            Rig rig(browser);
            rig.probeAnswer = std::move(answer);
            StartedTask<std::optional<QString>> task(
                BrowserTab::probe(rig.driver, browser, QStringLiteral("claude.ai")));
            rig.scheduler.runDue();
            if (rig.runner.calls.size() != 1 || rig.runner.calls[0].timeout != 10s)
                return QStringLiteral("not one run");
            return task.value().value_or(QStringLiteral("-"));
        };
        const QString assistant = QStringLiteral("https://claude.ai/new");
        QCOMPARE(verdict(browserWith(assistant), Browser::safari), QStringLiteral("-"));
        // No window and no assistant tab end in the same sentence; the browser's name is in it.
        QCOMPARE(verdict(browserWith(QStringLiteral("https://example.com/")), Browser::safari),
                 QStringLiteral("Open claude.ai in Safari, then check again."));
        QCOMPARE(verdict(browserWith(assistant, "This site can't be reached")),
                 QStringLiteral("Reload your claude.ai tab in Chrome, then check again."));
        QCOMPARE(verdict(failing(DeliveryError::page("Error: Can't get object."))),
                 QStringLiteral("The chat page didn't respond"));
    }

    // Each path of a check as "states | permission reads"; a prompt holds the
    // check for as long as the user takes, and nothing is launched.
    void checkEndsInAStateTheViewCanShow()
    {
        const auto check = [](std::function<AutomationAccess(Browser, bool)> access,
                              Answer probe = browserWith(QStringLiteral("https://claude.ai/chat/1"))) {
            Rig rig;
            rig.automation.answer = std::move(access);
            rig.automation.promptTime = 20s;
            rig.probeAnswer = std::move(probe);
            rig.checker->run(Browser::chrome);
            rig.scheduler.advance(19.9);
            const bool held = rig.checker->busy();
            rig.scheduler.advance(0.1);
            QStringList asks;
            for (const auto& [browser, ask] : rig.automation.calls)
                asks << (ask ? "ask" : "query");
            if (held != asks.contains("ask") || rig.checker->busy() || !rig.apps.launches.isEmpty())
                return QStringLiteral("held wrongly or launched");
            return rig.states.join(' ') + " | " + asks.join(' ');
        };
        const auto onAsking = [](AutomationAccess a) {
            return [a](Browser, bool ask) { return ask ? a : AutomationAccess::notAsked; };
        };
        const auto always = [](AutomationAccess a) { return [a](Browser, bool) { return a; }; };
        QCOMPARE(check(onAsking(AutomationAccess::granted)),
                 QStringLiteral("checking waitingForOK checking ok | query ask"));
        QCOMPARE(check(onAsking(AutomationAccess::denied)),
                 QStringLiteral("checking waitingForOK denied | query ask"));
        QCOMPARE(check(always(AutomationAccess::browserNotRunning)),
                 QStringLiteral("checking failed(\"Open Chrome, then check again.\") | query"));
        QCOMPARE(check(always(AutomationAccess::granted),
                       failing(DeliveryError::automationDenied(Browser::chrome))),
                 QStringLiteral("checking denied | query"));
        QCOMPARE(check([](Browser, bool) -> AutomationAccess { throw std::runtime_error("no session bus"); }),
                 QStringLiteral("checking failed(\"no session bus\") | query"));
    }

    // Launched at the destination's address and seen by the round after it is
    // up; a run while busy is ignored, one after it is not.
    void browserThatComesUpLate()
    {
        Rig rig(Browser::chrome, Destination::chatgpt());
        rig.apps.running[Browser::chrome] = false;
        rig.apps.onLaunch = [&](Browser b, const QString&) {
            rig.scheduler.schedule(2s, [&rig, b] { rig.apps.running[b] = true; });
        };
        rig.probeAnswer = browserWith(QStringLiteral("https://chatgpt.com/c/9"));
        rig.checker->run(Browser::chrome);
        rig.checker->run(Browser::chrome);
        QCOMPARE(rig.apps.launches, (decltype(rig.apps.launches){{Browser::chrome, "https://chatgpt.com/"}}));
        // Up at 2.0 s, seen by the round at 2.1 s; the rounds left pass at once, then 1.5 s more.
        rig.scheduler.advance(3.5);
        QCOMPARE(rig.checker->state(), BrowserProbe::State::launching());
        rig.scheduler.advance(0.1);
        QCOMPARE(rig.states, (QStringList{"launching", "checking", "ok"}));
        rig.checker->run(Browser::chrome);
        rig.scheduler.runDue();
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
