// Browser programs run against a model browser on virtual time: literals,
// the tab finder, ensure, js, navigate and listChats.
#include "BrowserPlatformFakes.h"
#include "BrowserService.h"
#include "BrowserTab.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;
using Tab = ScriptedBrowser::Tab;
using Window = ScriptedBrowser::Window;
using Windows = QList<Window>;

Q_DECLARE_METATYPE(Windows)
Q_DECLARE_METATYPE(Browser)

namespace {

const QString host = QStringLiteral("claude.ai");
const QString newURL = QStringLiteral("https://claude.ai/new");
const QString chat1 = QStringLiteral("https://claude.ai/chat/111");
const QString chat2 = QStringLiteral("https://claude.ai/chat/222");
const QString other = QStringLiteral("https://example.com/");

Window window(QList<Tab> tabs, int current = 0)
{
    return Window{std::move(tabs), current, false};
}

Tab tab(const QString& url, const QString& title = {})
{
    return Tab{url, title};
}

// A tab operation's world on virtual time; the runner answers from the model browser.
struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    ScriptedBrowser browser;
    BrowserDriver driver{runner, apps, scheduler};

    explicit Rig(Browser b = Browser::chrome, Windows windows = {}) : browser(b)
    {
        browser.windows = std::move(windows);
        apps.running[b] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) { return browser.run(call.program); };
    }
    BrowserTab tab(const QString& prefer = {}) { return BrowserTab(driver, browser.browser, host, prefer); }
};

// The sidebar script's only query is its link selector, answered from `links`.
QVariant runSidebarScript(const QString& code, const QVariantList& links)
{
    QJSEngine engine;
    engine.globalObject().setProperty(QStringLiteral("links"), engine.toScriptValue(links));
    engine.evaluate(QStringLiteral(
        "var document = { querySelectorAll: (s) => {"
        "  const m = /^a\\[href\\*=\"([^\"]*)\"\\]$/.exec(s); if (!m) throw new Error('selector ' + s);"
        "  return links.filter(l => l.href.includes(m[1])).map(l => ({href: l.href, innerText: l.text})) } "
        "};"));
    const QJSValue value = engine.evaluate(code);
    return value.isError() ? QVariant(value.toString()) : value.toVariant();
}

} // namespace

class TestBrowserTab : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void hostileValuesArriveUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\rfour\u2028five\u2029six");
        static constexpr char16_t controls[] = u"\u0000\u001f\u007f\t\b\f end";
        QTest::newRow("control characters") << QString::fromUtf16(controls, std::size(controls) - 1);
        QTest::newRow("closing script tag") << QStringLiteral("</script><script>pwned = 1</script>");
        QTest::newRow("breaking out") << QStringLiteral("\";\npwned = 1; ${pwned = 2} */ // <!--\"");
        QTest::newRow("lone surrogates") << QChar(0xDE00) + QStringLiteral("x😀") + QChar(0xD83D);
        QString big;
        while (big.size() < (1 << 20))
            big += QStringLiteral("\"\\\n</script>\u2028ü😀 ");
        QTest::newRow("one megabyte") << big;
    }

    void hostileValuesArriveUnchanged()
    {
        QFETCH(QString, value);
        // One line, and nothing an HTML parser would take as the end of a script.
        const QString literal = BrowserTab::lit(value);
        QVERIFY(std::none_of(literal.begin(), literal.end(), [](QChar c) {
            return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029);
        }));
        QVERIFY(!literal.contains(QLatin1String("</")));

        Rig rig;
        const QString small = value.size() < 4096 ? value : QStringLiteral("x"); // keeps the run short
        const BrowserTab tab(rig.driver, Browser::chrome, small, small);
        const QString program =
            tab.program(QStringLiteral("return [typeof pwned, HOST, PREFER, X].join('|');"),
                        {{QStringLiteral("X"), value}});
        QVERIFY(rig.browser.run(program) == "undefined|" + small + '|' + small + '|' + value);
    }

    void pickFollowsThePreferenceOrder_data()
    {
        QTest::addColumn<Windows>("windows");
        QTest::addColumn<QString>("prefer");
        QTest::addColumn<QString>("expected"); // URL of the chosen tab, or "none"

        const QString mail = QStringLiteral("https://mail.example.com/");
        Window torn = window({tab(chat1)});
        torn.unreadable = true;
        QTest::newRow("prefer, matched by prefix, wins over the front window's current tab")
            << Windows{window({tab(chat2), tab(other)}), window({tab(mail), tab(chat1 + "?m=x#end")})}
            << chat1 << chat1 + "?m=x#end";
        QTest::newRow("front window's current tab")
            << Windows{window({tab(chat1), tab(chat2)}, 1), window({tab(newURL)})} << QString() << chat2;
        QTest::newRow("background current tab beats a hidden front tab")
            << Windows{window({tab(chat1), tab(other)}, 1), window({tab(mail), tab(chat2)}, 1)} << QString()
            << chat2;
        QTest::newRow("any tab when none is current")
            << Windows{window({tab(other), tab(mail)}), window({tab(other), tab(chat2)})} << QString()
            << chat2;
        QTest::newRow("no assistant tab") << Windows{window({tab(other), tab(mail)})} << chat1 << "none";
        QTest::newRow("unreadable window skipped")
            << Windows{torn, window({tab(chat2)})} << QString() << chat2;
    }

    void pickFollowsThePreferenceOrder()
    {
        QFETCH(Windows, windows);
        QFETCH(QString, prefer);
        QFETCH(QString, expected);
        // Both browsers' words, and the bulk reads agreeing with the window-by-window fallback.
        for (const Browser b : {Browser::chrome, Browser::safari}) {
            for (const bool bulkFails : {false, true}) {
                Rig rig(b, windows);
                rig.browser.bulkReadsFail = bulkFails;
                const BrowserTab tab = rig.tab(prefer);
                const QString body = tab.pickJS() + "const t = pick(); return t ? t.url() : 'none';";
                QCOMPARE(rig.browser.run(tab.program(body)), expected);
            }
        }
    }

    void ensureFindsMovesOrOpens_data()
    {
        QTest::addColumn<Windows>("windows");
        QTest::addColumn<QString>("target"); // empty: no target
        QTest::addColumn<QString>("answer");
        QTest::addColumn<Windows>("after");

        const Windows open{window({tab(other), tab(chat1 + "/?a=1#top")})};
        QTest::newRow("target open, query and fragment ignored") << open << chat1 << "found" << open;
        QTest::newRow("other chat is moved") << Windows{window({tab(other), tab(chat2)})} << chat1
                                             << "found, moved" << Windows{window({tab(other), tab(chat1)})};
        QTest::newRow("no target: new chat")
            << Windows{window({tab(chat2)})} << QString() << "found, moved" << Windows{window({tab(newURL)})};
        QTest::newRow("opened in the front window, current tab kept")
            << Windows{window({tab(other), tab(other + "b")}, 1), window({tab(other + "c")})} << chat1
            << "opened"
            << Windows{window({tab(other), tab(other + "b"), tab(chat1)}, 1), window({tab(other + "c")})};
    }

    void ensureFindsMovesOrOpens()
    {
        QFETCH(Windows, windows);
        QFETCH(QString, target);
        QFETCH(QString, answer);
        QFETCH(Windows, after);
        ScopedLog log;
        Rig rig(Browser::chrome, windows);
        std::optional<ChatTarget> chat;
        if (!target.isEmpty()) chat = ChatTarget{QStringLiteral("Plan"), target};
        StartedTask<void> task(rig.tab(target).ensure(newURL, chat));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(log.messages(), QStringList{"deliver: tab " + answer + " for claude.ai"});
        QCOMPARE(rig.runner.calls.size(), 1);
        QVERIFY(rig.apps.launches.isEmpty());
        QCOMPARE(rig.browser.windows.size(), after.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QCOMPARE(rig.browser.windows[i].tabs, after[i].tabs);
            QCOMPARE(rig.browser.windows[i].current, after[i].current);
        }
        // A moved tab gets time to start loading before the answer.
        QCOMPARE(rig.browser.delays, answer == "found, moved" ? QList<double>{1.5} : QList<double>{});
    }

    void ensureLaunchesAndWaitsForTheTab_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("checksFail");
        QTest::addColumn<double>("at"); // virtual seconds until the end
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("error");
        const QString error = QStringLiteral("page(\"Chrome didn't open claude.ai\")");
        // Running with no window: launched, and the tab shows up during the fifth check.
        QTest::newRow("tab appears") << true << false << 1.5 << 6 << QString();
        QTest::newRow("browser never starts") << false << false << 12.0 << 0 << error;
        QTest::newRow("every check fails") << true << true << 12.0 << 41 << error;
    }

    void ensureLaunchesAndWaitsForTheTab()
    {
        QFETCH(bool, running);
        QFETCH(bool, checksFail);
        QFETCH(double, at);
        QFETCH(int, runs);
        QFETCH(QString, error);
        ScopedLog log;
        Rig rig;
        rig.apps.running[Browser::chrome] = running;
        int checks = 0;
        rig.runner.answer = [&](const FakeScriptRunner::Call& call) -> QString {
            if (!call.program.contains(QLatin1String("'nowindow'"))) {
                if (checksFail) throw DeliveryError::timedOut(Browser::chrome);
                if (++checks == 5) rig.browser.windows = {window({tab(chat1)})};
            }
            return rig.browser.run(call.program);
        };
        StartedTask<void> task(rig.tab().ensure(newURL, ChatTarget{QStringLiteral("Plan"), chat1}));
        rig.scheduler.advance(at - 0.1);
        QVERIFY(!task.done());
        rig.scheduler.advance(0.1);
        QVERIFY(task.done());
        QCOMPARE(task.error<DeliveryError>() ? task.error<DeliveryError>()->rendered() : QString(), error);
        QCOMPARE(rig.runner.calls.size(), runs);
        QCOMPARE(rig.apps.launches, (QList<std::pair<Browser, QString>>{{Browser::chrome, chat1}}));
        QCOMPARE(log.messagesStartingWith(QStringLiteral("deliver: launched Chrome in background")).size(),
                 1);
    }

    void jsRunsThePageScriptInThePickedTab_data()
    {
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<QVariant>("pageValue");
        QTest::addColumn<QString>("tabURL");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chrome, text") << Browser::chrome << QVariant(" sent ") << chat1 << "sent";
        QTest::newRow("safari, number") << Browser::safari << QVariant(2) << chat1 << "2";
        QTest::newRow("no tab") << Browser::safari << QVariant("x") << other << "err:tab closed";
    }

    void jsRunsThePageScriptInThePickedTab()
    {
        QFETCH(Browser, browser);
        QFETCH(QVariant, pageValue);
        QFETCH(QString, tabURL);
        QFETCH(QString, expected);
        Rig rig(browser, {window({tab(other), tab(tabURL)})});
        QStringList ran;
        rig.browser.page = [&](const Tab& t, const QString& code) {
            ran << t.url << code;
            return pageValue;
        };
        const QString script = QStringLiteral("document.title + '\"</script>'");
        StartedTask<QString> task(rig.tab().js(script));
        rig.scheduler.runDue();
        QCOMPARE(task.value(), expected);
        QCOMPARE(ran, (tabURL == other ? QStringList() : QStringList{chat1, script}));
    }

    void listChatsCleansTitlesAndKeepsEightyRecents()
    {
        Rig rig(Browser::chrome, {window({tab(chat1, "Budget plan - Claude"), tab(newURL, "Claude"),
                                          tab("https://example.com/chat/1", "Elsewhere")}),
                                  window({tab(chat2, "Trip | ChatGPT"),
                                          tab("https://claude.ai/chat/333", "Dash \u2013 Claude  ")})});
        // 120 chat links (one without text) and a settings link.
        QVariantList links{QVariantMap{{"href", "https://claude.ai/settings"}, {"text", "Settings"}}};
        for (int i = 0; i < 120; ++i)
            links << QVariantMap{
                {"href", QStringLiteral("https://claude.ai/chat/r%1").arg(i)},
                {"text", i == 3 ? QStringLiteral("   ") : QStringLiteral(" Recent %1\nmore").arg(i)}};
        rig.browser.page = [&](const Tab&, const QString& code) { return runSidebarScript(code, links); };

        StartedTask<ChatList> task(rig.tab().listChats(QStringLiteral("/chat/")));
        rig.scheduler.runDue();
        const ChatList list = task.value();
        QCOMPARE(list.tabs(),
                 (QList<ChatTarget>{
                     {"Budget plan", chat1}, {"Trip", chat2}, {"Dash", "https://claude.ai/chat/333"}}));
        QCOMPARE(list.recents().size(), 80);
        QCOMPARE(list.recents().at(3), (ChatTarget{"Recent 4", "https://claude.ai/chat/r4"}));
        QCOMPARE(list.recents().last(), (ChatTarget{"Recent 80", "https://claude.ai/chat/r80"}));
    }

    void listChatsIsEmptyOnAnyFailure_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("output"); // "throw": the run fails
        QTest::newRow("browser closed") << false << QString();
        QTest::newRow("run fails") << true << "throw";
        QTest::newRow("a cell that is not text")
            << true << R"([["t", "A", "https://claude.ai/chat/1"], ["r", 2, "x"]])";
    }

    void listChatsIsEmptyOnAnyFailure()
    {
        QFETCH(bool, running);
        QFETCH(QString, output);
        Rig rig;
        rig.apps.running[Browser::chrome] = running;
        rig.runner.answer = [&](const FakeScriptRunner::Call&) -> QString {
            if (output == QLatin1String("throw")) throw std::runtime_error("runner went away");
            return output;
        };
        StartedTask<ChatList> task(rig.tab().listChats(QStringLiteral("/chat/")));
        rig.scheduler.runDue();
        QCOMPARE(task.value(), ChatList());
        QCOMPARE(rig.runner.calls.size(), running ? 1 : 0);
    }

    void operationsOutliveTheirTab()
    {
        // The service makes a tab per call and returns before the program answers.
        Rig rig(Browser::chrome, {window({tab(chat1, "Plan - Claude")})});
        rig.runner.delay = 2s;
        FakeAutomationBackend automation(rig.scheduler);
        BrowserService service(rig.runner, rig.apps, automation, rig.scheduler);
        StartedTask<ChatList> listed(service.listChats(Browser::chrome, host, QStringLiteral("/chat/")));
        StartedTask<QString> ran(BrowserTab(rig.driver, Browser::chrome, host).js(QStringLiteral("'x'")));
        rig.scheduler.advance(2.0);
        QCOMPARE(listed.value().tabs(), (QList<ChatTarget>{{"Plan", chat1}}));
        QVERIFY(ran.succeeded());
    }
};

QTEST_GUILESS_MAIN(TestBrowserTab)
#include "tst_browsertab.moc"
