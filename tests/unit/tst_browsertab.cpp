// Browser programs against a model browser on virtual time: literals, finder, ensure, js, listChats.
#include "BrowserPlatformFakes.h"
#include "BrowserService.h"
#include "BrowserTab.h"
#include "FakeScriptRunner.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QTest>

#include <QRegularExpression>

using namespace std::chrono_literals;
using Tab = ScriptedBrowser::Tab;
using Window = ScriptedBrowser::Window;
using Windows = QList<Window>;

Q_DECLARE_METATYPE(Windows)

namespace {

const QString host = QStringLiteral("claude.ai");
const QString newURL = QStringLiteral("https://claude.ai/new");
const QString chat1 = QStringLiteral("https://claude.ai/chat/111");
const QString chat2 = QStringLiteral("https://claude.ai/chat/222");
const QString other = QStringLiteral("https://example.com/");

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
        QVERIFY(
            !BrowserTab::lit(value).contains(QRegularExpression(QStringLiteral("[\n\r\u2028\u2029]|</"))));

        Rig rig;
        const QString small = value.size() < 4096 ? value : QStringLiteral("x"); // keeps the run short
        const BrowserTab tab(rig.driver, Browser::chrome, small, small);
        const QString program =
            tab.program(QStringLiteral("return [typeof pwned, HOST, PREFER, X].join('|');"),
                        {{QStringLiteral("X"), value}});
        QVERIFY(rig.browser.run(program) == "undefined|" + small + '|' + small + '|' + value);
    }

    void pickFollowsThePreferenceOrder()
    {
        // Both browsers' words, and the bulk reads agreeing with the window-by-window fallback.
        const auto picked = [](const Windows& windows, const QString& prefer = {}) {
            QStringList answers;
            for (const Browser b : {Browser::chrome, Browser::safari})
                for (const bool bulkFails : {false, true}) {
                    Rig rig(b, windows);
                    rig.browser.bulkReadsFail = bulkFails;
                    const BrowserTab tab = rig.tab(prefer);
                    answers << rig.browser.run(
                        tab.program(tab.pickJS() + "const t = pick(); return t ? t.url() : 'none';"));
                }
            answers.removeDuplicates();
            return answers.join(QStringLiteral(" / "));
        };
        const QString mail = QStringLiteral("https://mail.example.com/");
        // Prefer, matched by prefix, wins over the front window's current tab.
        QCOMPARE(
            picked({Window{{Tab{chat2}, Tab{other}}}, Window{{Tab{mail}, Tab{chat1 + "?m=x#end"}}}}, chat1),
            chat1 + "?m=x#end");
        QCOMPARE(picked({Window{{Tab{chat1}, Tab{chat2}}, 1}, Window{{Tab{newURL}}}}),
                 chat2); // front current tab
        // A background window's current tab beats a hidden tab of the front window.
        QCOMPARE(picked({Window{{Tab{chat1}, Tab{other}}, 1}, Window{{Tab{mail}, Tab{chat2}}, 1}}), chat2);
        QCOMPARE(picked({Window{{Tab{chat1}}, 0, true}, Window{{Tab{other}, Tab{chat2}}}}), chat2); // any tab
    }

    void ensureFindsMovesOrOpens_data()
    {
        QTest::addColumn<Windows>("windows");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<Windows>("after");

        const Windows open{Window{{Tab{other}, Tab{chat1 + "/?a=1#top"}}}};
        QTest::newRow("target open, query and fragment ignored") << open << "found" << open;
        QTest::newRow("other chat is moved") << Windows{Window{{Tab{other}, Tab{chat2}}}} << "found, moved"
                                             << Windows{Window{{Tab{other}, Tab{chat1}}}};
        QTest::newRow("opened in the front window, current tab kept")
            << Windows{Window{{Tab{other}, Tab{other + "b"}}, 1}, Window{{Tab{other + "c"}}}} << "opened"
            << Windows{Window{{Tab{other}, Tab{other + "b"}, Tab{chat1}}, 1}, Window{{Tab{other + "c"}}}};
    }

    void ensureFindsMovesOrOpens()
    {
        QFETCH(Windows, windows);
        QFETCH(QString, answer);
        QFETCH(Windows, after);
        Rig rig(Browser::chrome, windows);
        StartedTask<void> task(rig.tab(chat1).ensure(newURL, ChatTarget{QStringLiteral("Plan"), chat1}));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(rig.runner.calls.size(), 1);
        QCOMPARE(rig.browser.windows.size(), after.size());
        for (qsizetype i = 0; i < after.size(); ++i)
            QCOMPARE(std::pair(rig.browser.windows[i].tabs, rig.browser.windows[i].current),
                     std::pair(after[i].tabs, after[i].current));
        // A moved tab gets time to start loading before the answer.
        QCOMPARE(rig.browser.delays, answer == "found, moved" ? QList<double>{1.5} : QList<double>{});
    }

    // The page script reaches the picked tab unchanged and its answer comes back as text, trimmed.
    void jsRunsThePageScriptInThePickedTab()
    {
        const QString script = QStringLiteral("document.title + '\"</script>'");
        Rig rig(Browser::safari, {Window{{Tab{other}, Tab{chat1}}}});
        QStringList ran;
        rig.browser.page = [&](const Tab& t, const QString& code) {
            ran << t.url << code;
            return QVariant(2);
        };
        StartedTask<QString> task(rig.tab().js(script));
        rig.scheduler.runDue();
        QCOMPARE(task.value(), QStringLiteral("2"));
        QCOMPARE(ran, (QStringList{chat1, script}));
    }

    void listChatsCleansTitlesAndKeepsEightyRecents()
    {
        Rig rig(Browser::chrome, {Window{{Tab{chat1, "Budget plan - Claude"}, Tab{newURL, "Claude"},
                                          Tab{"https://example.com/chat/1", "Elsewhere"}}},
                                  Window{{Tab{chat2, "Trip | ChatGPT"},
                                          Tab{"https://claude.ai/chat/333", "Dash \u2013 Claude  "}}}});
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

    void listChatsIsEmptyOnACellThatIsNotText()
    {
        Rig rig;
        rig.runner.answer = [](const FakeScriptRunner::Call&) {
            return QStringLiteral("[[\"t\", \"A\", \"https://claude.ai/chat/1\"], [\"r\", 2, \"x\"]]");
        };
        StartedTask<ChatList> task(rig.tab().listChats(QStringLiteral("/chat/")));
        rig.scheduler.runDue();
        QCOMPARE(task.value(), ChatList());
    }

    void operationsOutliveTheirTab()
    {
        // The service makes a tab per call and returns before the program answers.
        Rig rig(Browser::chrome, {Window{{Tab{chat1, "Plan - Claude"}}}});
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
