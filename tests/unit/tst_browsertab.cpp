// Browser programs: script literals, program assembly, the tab finder, and
// the tab operations run against a model browser on virtual time.
#include "BrowserPlatformFakes.h"
#include "BrowserService.h"
#include "BrowserTab.h"
#include "FakeScriptRunner.h"
#include "ScopedLog.h"
#include "ScriptedBrowser.h"
#include "StartedTask.h"
#include "VirtualScheduler.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;
using Tab = ScriptedBrowser::Tab;
using Window = ScriptedBrowser::Window;

Q_DECLARE_METATYPE(QList<ScriptedBrowser::Window>)
Q_DECLARE_METATYPE(Browser)

namespace {

const QString host = QStringLiteral("claude.ai");
const QString newURL = QStringLiteral("https://claude.ai/new");
const QString chat1 = QStringLiteral("https://claude.ai/chat/111");
const QString chat2 = QStringLiteral("https://claude.ai/chat/222");

Window window(QList<Tab> tabs, int current = 0)
{
    return Window{std::move(tabs), current, false};
}

Tab tab(const QString& url, const QString& title = {})
{
    return Tab{url, title};
}

// Everything a tab operation needs, on virtual time, with the runner answering
// from the model browser.
struct Rig {
    VirtualScheduler scheduler;
    FakeScriptRunner runner{scheduler};
    FakeBrowserApps apps;
    ScriptedBrowser browser;
    BrowserDriver driver{runner, apps, scheduler};

    explicit Rig(Browser b = Browser::chrome) : browser(b)
    {
        apps.running[b] = true;
        runner.answer = [this](const FakeScriptRunner::Call& call) { return browser.run(call.program); };
    }
    BrowserTab tab(const QString& prefer = {}) { return BrowserTab(driver, browser.browser, host, prefer); }
};

// A document whose only query is the sidebar's link selector, over `links`.
const char* const fakeDocument =
    "var document = { querySelectorAll: function (selector) {\n"
    "  var m = /^a\\[href\\*=\"([^\"]*)\"\\]$/.exec(selector);\n"
    "  if (!m) throw new Error('unexpected selector ' + selector);\n"
    "  return links.filter(function (l) { return l.href.indexOf(m[1]) >= 0; })\n"
    "              .map(function (l) { return { href: l.href, innerText: l.text }; });\n"
    "} };\n";

} // namespace

class TestBrowserTab : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // MARK: Literals and assembly

    void hostileValuesArriveUnchanged_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("quotes") << QStringLiteral("it's \"quoted\" `too`");
        QTest::newRow("backslashes") << QStringLiteral("C:\\new\\table \\\" \\\\u0041");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree\rfour");
        QTest::newRow("line and paragraph separators") << QStringLiteral("a\u2028b\u2029c");
        static constexpr char16_t controls[] = u"\u0000\u0001\u001f\u007f\t\b\f end";
        QTest::newRow("control characters") << QString::fromUtf16(controls, std::size(controls) - 1);
        QTest::newRow("closing script tag") << QStringLiteral("</script><script>pwned = 1</script>");
        QTest::newRow("breaking out of the literal") << QStringLiteral("\"; pwned = 1; \"");
        QTest::newRow("breaking out with a line") << QStringLiteral("\";\npwned = 1;\n\"");
        QTest::newRow("template and comment") << QStringLiteral("${pwned = 1} */ // <!--");
        QTest::newRow("non-ASCII") << QStringLiteral("Grüße, 日本語, emoji 😀, RTL \u202Eabc");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) + QStringLiteral("x");
        QTest::newRow("lone low surrogate at end") << QStringLiteral("x") + QChar(0xDE00);
        QTest::newRow("swapped pair") << QString(QChar(0xDE00)) + QChar(0xD83D);
        QString big;
        big.reserve(1 << 20);
        const QString piece = QStringLiteral("\"\\\n</script>\u2028ü😀 ");
        while (big.size() < (1 << 20))
            big += piece;
        QTest::newRow("one megabyte") << big;
    }

    void hostileValuesArriveUnchanged()
    {
        QFETCH(QString, value);
        const QString literal = BrowserTab::lit(value);
        // One line, and nothing an HTML parser would take as the end of a script.
        const auto breaksLine = [](QChar c) {
            return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) ||
                   c == QChar(0x2029);
        };
        QVERIFY(std::none_of(literal.begin(), literal.end(), breaksLine));
        QVERIFY(!literal.contains(QLatin1String("</")));

        Rig rig;
        // Huge values go in one constant only, to keep the run short.
        const QString small = value.size() < 4096 ? value : QStringLiteral("x");
        const BrowserTab tab(rig.driver, Browser::chrome, small, small);
        const QString program =
            tab.program(QStringLiteral("return [HOST, PREFER, X];"), {{QStringLiteral("X"), value}});
        QJSEngine engine;
        engine.globalObject().setProperty(
            QStringLiteral("Application"),
            engine.evaluate(QStringLiteral("(function (name) { return name })")));
        const QJSValue defined = engine.evaluate(program);
        QVERIFY2(!defined.isError(), qPrintable(defined.toString()));
        const QJSValue result = engine.globalObject().property(QStringLiteral("run")).call();
        QVERIFY2(!result.isError(), qPrintable(result.toString()));
        for (quint32 i = 0; i < 3; ++i) {
            const QString arrived = result.property(i).toString();
            const QString& sent = i == 2 ? value : small;
            QCOMPARE(arrived.size(), sent.size());
            QVERIFY(arrived == sent);
        }
        QVERIFY(engine.globalObject().property(QStringLiteral("pwned")).isUndefined());
        // A standard JSON decoder reads the same string back (QJsonDocument
        // cannot hold unpaired surrogates, so those values are left to the engine).
        if (hasLoneSurrogate(value)) return;
        const QJsonDocument doc = QJsonDocument::fromJson((u'[' + literal + u']').toUtf8());
        QVERIFY(doc.isArray());
        QVERIFY(doc.array().at(0).toString() == value);
    }

    void programIsHeaderConstantsBodyAndClose()
    {
        Rig rig;
        const BrowserTab chrome(rig.driver, Browser::chrome, host, chat1);
        QCOMPARE(chrome.program(QStringLiteral("return 1;"), {{QStringLiteral("DEST"), newURL}}),
                 QStringLiteral("function run() {\n"
                                "const app = Application(\"Google Chrome\");\n"
                                "const HOST = \"claude.ai\";\n"
                                "const PREFER = \"https://claude.ai/chat/111\";\n"
                                "const DEST = \"https://claude.ai/new\";\n"
                                "return 1;\n"
                                "}"));
    }

    void chunkedCutsIntoFixedPieces_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QList<qsizetype>>("pieces");
        QTest::newRow("empty") << qsizetype(0) << qsizetype(400000) << QList<qsizetype>{};
        QTest::newRow("shorter than a piece") << qsizetype(5) << qsizetype(400000) << QList<qsizetype>{5};
        QTest::newRow("exact multiple")
            << qsizetype(800000) << qsizetype(400000) << QList<qsizetype>{400000, 400000};
        QTest::newRow("one over") << qsizetype(400001) << qsizetype(400000) << QList<qsizetype>{400000, 1};
    }

    void chunkedCutsIntoFixedPieces()
    {
        QFETCH(qsizetype, length);
        QFETCH(qsizetype, size);
        QFETCH(QList<qsizetype>, pieces);
        QString text(length, Qt::Uninitialized);
        for (qsizetype i = 0; i < length; ++i)
            text[i] = QLatin1Char(char('A' + i % 26));
        const QStringList result = BrowserTab::chunked(text, size);
        QList<qsizetype> sizes;
        for (const QString& p : result)
            sizes << p.size();
        QCOMPARE(sizes, pieces);
        QCOMPARE(result.join(QString()), text);
    }

    // MARK: The tab finder

    void pickFollowsThePreferenceOrder_data()
    {
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<QList<Window>>("windows");
        QTest::addColumn<QString>("prefer");
        QTest::addColumn<QString>("expected"); // URL of the chosen tab, or "none"

        const QString other = QStringLiteral("https://example.com/");
        const QString mail = QStringLiteral("https://mail.example.com/");
        for (const Browser b : {Browser::chrome, Browser::safari}) {
            const QByteArray n = Browsers::caseName(b).toLatin1() + ": ";
            QTest::newRow(n + "prefer wins over the front window's current tab")
                << b << QList<Window>{window({tab(chat2), tab(other)}), window({tab(mail), tab(chat1)})}
                << chat1 << chat1;
            QTest::newRow(n + "prefer matches by prefix")
                << b << QList<Window>{window({tab(chat2)}), window({tab(other), tab(chat1 + "?model=x#end")})}
                << chat1 << chat1 + "?model=x#end";
            QTest::newRow(n + "front window's current tab")
                << b << QList<Window>{window({tab(chat1), tab(chat2)}, 1), window({tab(newURL)})} << QString()
                << chat2;
            QTest::newRow(n + "background current tab beats a hidden front tab")
                << b << QList<Window>{window({tab(chat1), tab(other)}, 1), window({tab(mail), tab(chat2)}, 1)}
                << QString() << chat2;
            QTest::newRow(n + "first visible window in order")
                << b << QList<Window>{window({tab(other)}), window({tab(chat1)}), window({tab(chat2)})}
                << QString() << chat1;
            QTest::newRow(n + "any tab when none is current")
                << b << QList<Window>{window({tab(other), tab(mail)}), window({tab(other), tab(chat2)}, 0)}
                << QString() << chat2;
            QTest::newRow(n + "unknown preference falls back to the host")
                << b << QList<Window>{window({tab(other)}), window({tab(chat2)})}
                << QStringLiteral("https://claude.ai/chat/999") << chat2;
            QTest::newRow(n + "no assistant tab")
                << b << QList<Window>{window({tab(other), tab(mail)})} << chat1 << QStringLiteral("none");
            QTest::newRow(n + "no windows") << b << QList<Window>{} << QString() << QStringLiteral("none");
            Window torn = window({tab(chat1)});
            torn.unreadable = true;
            QTest::newRow(n + "a window that cannot be read is skipped")
                << b << QList<Window>{torn, window({tab(chat2)})} << QString() << chat2;
        }
    }

    void pickFollowsThePreferenceOrder()
    {
        QFETCH(Browser, browser);
        QFETCH(QList<Window>, windows);
        QFETCH(QString, prefer);
        QFETCH(QString, expected);
        // The bulk reads and the window-by-window fallback must agree.
        for (const bool bulkFails : {false, true}) {
            Rig rig(browser);
            rig.browser.windows = windows;
            rig.browser.bulkReadsFail = bulkFails;
            const BrowserTab tab = rig.tab(prefer);
            const QString program =
                tab.program(tab.pickJS() + QStringLiteral("const t = pick(); return t ? t.url() : 'none';"));
            QCOMPARE(rig.browser.run(program), expected);
        }
    }

    // MARK: ensure

    void ensureFindsMovesOrOpens_data()
    {
        QTest::addColumn<QList<Window>>("windows");
        QTest::addColumn<QString>("target"); // empty: no target
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QList<Window>>("after");

        const QString other = QStringLiteral("https://example.com/");
        const QList<Window> open = {window({tab(other), tab(chat1)}, 0)};
        QTest::newRow("target already open") << open << chat1 << "found" << open;
        const QList<Window> slash = {window({tab(chat1 + "/#top")})};
        QTest::newRow("target open with a fragment and trailing slash") << slash << chat1 << "found" << slash;
        const QList<Window> query = {window({tab(chat1 + "?a=1")})};
        QTest::newRow("target open with a query") << query << chat1 << "found" << query;
        QTest::newRow("unrelated assistant tab is moved")
            << QList<Window>{window({tab(other), tab(chat2)})} << chat1 << "found, moved"
            << QList<Window>{window({tab(other), tab(chat1)})};
        QTest::newRow("new chat without a target") << QList<Window>{window({tab(chat2)})} << QString()
                                                   << "found, moved" << QList<Window>{window({tab(newURL)})};
        QTest::newRow("opened in the front window, current tab kept")
            << QList<Window>{window({tab(other), tab(other + "b")}, 1), window({tab(other + "c")})} << chat1
            << "opened"
            << QList<Window>{window({tab(other), tab(other + "b"), tab(chat1)}, 1),
                             window({tab(other + "c")})};
    }

    void ensureFindsMovesOrOpens()
    {
        QFETCH(QList<Window>, windows);
        QFETCH(QString, target);
        QFETCH(QString, answer);
        QFETCH(QList<Window>, after);
        ScopedLog log;
        Rig rig;
        rig.browser.windows = windows;
        std::optional<ChatTarget> chat;
        if (!target.isEmpty()) chat = ChatTarget{QStringLiteral("Plan"), target};

        StartedTask<void> task(rig.tab(target).ensure(newURL, chat));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(log.messages(), QStringList{QStringLiteral("deliver: tab ") + answer + " for claude.ai"});
        QCOMPARE(rig.runner.calls.size(), 1);
        QCOMPARE(rig.runner.calls[0].timeout, 30s);
        QCOMPARE(rig.apps.launches.size(), 0);
        QCOMPARE(rig.browser.windows.size(), after.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QCOMPARE(rig.browser.windows[i].tabs, after[i].tabs);
            QCOMPARE(rig.browser.windows[i].current, after[i].current);
        }
        // Moving a tab waits for the page to start loading before answering.
        QCOMPARE(rig.browser.delays, answer == "found, moved" ? QList<double>{1.5} : QList<double>{});
    }

    void ensureLaunchesWhenTheBrowserHasNoWindow()
    {
        ScopedLog log;
        Rig rig;
        // The window shows up while the fifth readiness check runs.
        int checks = 0;
        rig.runner.answer = [&](const FakeScriptRunner::Call& call) {
            if (call.program.contains(QLatin1String("return pick() ? 'yes' : 'no';")) && ++checks == 5)
                rig.browser.windows = {window({tab(chat1)})};
            return rig.browser.run(call.program);
        };

        StartedTask<void> task(rig.tab().ensure(newURL, ChatTarget{QStringLiteral("Plan"), chat1}));
        rig.scheduler.advance(1.4);
        QVERIFY(!task.done());
        rig.scheduler.advance(0.1);
        QVERIFY(task.succeeded());
        QCOMPARE(rig.apps.launches, (QList<std::pair<Browser, QString>>{{Browser::chrome, chat1}}));
        QCOMPARE(log.messages(), (QStringList{"deliver: tab nowindow for claude.ai",
                                              "deliver: launched Chrome in background for claude.ai"}));
        QCOMPARE(checks, 5);
    }

    void ensureGivesUpAfterFortyChecks_data()
    {
        QTest::addColumn<bool>("startsRunning");
        QTest::addColumn<bool>("checksFail");
        QTest::addColumn<int>("runs");
        QTest::newRow("browser never starts") << false << false << 0;
        QTest::newRow("browser runs but the tab never appears") << true << false << 41;
        QTest::newRow("every check fails") << true << true << 41;
    }

    void ensureGivesUpAfterFortyChecks()
    {
        QFETCH(bool, startsRunning);
        QFETCH(bool, checksFail);
        QFETCH(int, runs);
        Rig rig;
        rig.apps.running[Browser::chrome] = startsRunning;
        if (checksFail) {
            rig.runner.answer = [&](const FakeScriptRunner::Call& call) -> QString {
                if (call.program.contains(QLatin1String("'nowindow'"))) return rig.browser.run(call.program);
                throw DeliveryError::timedOut(Browser::chrome);
            };
        }
        StartedTask<void> task(rig.tab().ensure(newURL, std::nullopt));
        rig.scheduler.advance(11.9);
        QVERIFY(!task.done());
        rig.scheduler.advance(0.1);
        QVERIFY(task.failed());
        QCOMPARE(*task.error<DeliveryError>(),
                 DeliveryError::page(QStringLiteral("Chrome didn't open claude.ai")));
        QCOMPARE(rig.runner.calls.size(), runs);
        QCOMPARE(rig.apps.launches.size(), 1);
    }

    void ensurePassesOnFailuresOfItsFirstProgram()
    {
        Rig rig;
        rig.runner.answer = [](const FakeScriptRunner::Call&) -> QString {
            throw DeliveryError::jsOff(Browser::chrome);
        };
        StartedTask<void> task(rig.tab().ensure(newURL, std::nullopt));
        rig.scheduler.runDue();
        QCOMPARE(task.error<DeliveryError>(), DeliveryError::jsOff(Browser::chrome));
        QVERIFY(rig.apps.launches.isEmpty());
    }

    // MARK: navigate and js

    void navigateMovesThePickedTabOnly()
    {
        Rig rig;
        rig.browser.windows = {window({tab(QStringLiteral("https://example.com/")), tab(chat2)})};
        StartedTask<void> task(rig.tab().navigate(newURL));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        QCOMPARE(rig.browser.windows[0].tabs[1].url, newURL);
        QCOMPARE(rig.browser.windows[0].tabs[0].url, QStringLiteral("https://example.com/"));

        rig.browser.windows = {window({tab(QStringLiteral("https://example.com/"))})};
        StartedTask<void> none(rig.tab().navigate(newURL));
        rig.scheduler.runDue();
        QVERIFY(none.succeeded());
        QCOMPARE(rig.browser.windows[0].tabs[0].url, QStringLiteral("https://example.com/"));
    }

    void jsRunsThePageScriptInThePickedTab_data()
    {
        QTest::addColumn<Browser>("browser");
        QTest::addColumn<QVariant>("pageValue");
        QTest::addColumn<bool>("tabOpen");
        QTest::addColumn<QString>("expected");
        for (const Browser b : {Browser::chrome, Browser::safari}) {
            const QByteArray n = Browsers::caseName(b).toLatin1() + ": ";
            QTest::newRow(n + "text")
                << b << QVariant(QStringLiteral(" sent ")) << true << QStringLiteral("sent");
            QTest::newRow(n + "number") << b << QVariant(2) << true << QStringLiteral("2");
            QTest::newRow(n + "undefined") << b << QVariant() << true << QString();
            QTest::newRow(n + "no tab")
                << b << QVariant(QStringLiteral("x")) << false << QStringLiteral("err:tab closed");
        }
    }

    void jsRunsThePageScriptInThePickedTab()
    {
        QFETCH(Browser, browser);
        QFETCH(QVariant, pageValue);
        QFETCH(bool, tabOpen);
        QFETCH(QString, expected);
        Rig rig(browser);
        rig.browser.windows = {
            window({tab(QStringLiteral("https://example.com/")), tab(tabOpen ? chat1 : "")})};
        QString ranIn, ranCode;
        rig.browser.page = [&](const Tab& t, const QString& code) {
            ranIn = t.url;
            ranCode = code;
            return pageValue;
        };
        const QString script = QStringLiteral("document.title + '\"</script>'");
        StartedTask<QString> task(rig.tab().js(script));
        rig.scheduler.runDue();
        QCOMPARE(task.value(), expected);
        QCOMPARE(rig.runner.calls[0].timeout, 30s);
        if (tabOpen) {
            QCOMPARE(ranIn, chat1);
            QCOMPARE(ranCode, script);
        }
    }

    // MARK: listChats

    void listChatsReadsTabsAndTheSidebar()
    {
        Rig rig;
        rig.browser.windows = {
            window({tab(chat1, QStringLiteral("Budget plan - Claude")), tab(newURL, QStringLiteral("Claude")),
                    tab(QStringLiteral("https://example.com/chat/1"), QStringLiteral("Elsewhere"))}),
            window(
                {tab(chat2, QStringLiteral("Trip | ChatGPT")),
                 tab(QStringLiteral("https://claude.ai/chat/333"), QStringLiteral("Dash \u2013 Claude  "))}),
        };
        // The sidebar has 120 chat links (some without text) and a few others.
        QJsonArray links;
        for (int i = 0; i < 120; ++i)
            links.append(QJsonObject{
                {"href", QStringLiteral("https://claude.ai/chat/r%1").arg(i)},
                {"text", i == 3 ? QStringLiteral("   ") : QStringLiteral(" Recent %1\nmore").arg(i)}});
        links.insert(1, QJsonObject{{"href", "https://claude.ai/settings"}, {"text", "Settings"}});
        QString sidebarScript;
        rig.browser.page = [&](const Tab&, const QString& code) -> QVariant {
            sidebarScript = code;
            return runSidebarScript(code, links);
        };

        StartedTask<ChatList> task(rig.tab().listChats(QStringLiteral("/chat/")));
        rig.scheduler.runDue();
        QVERIFY(task.succeeded());
        const ChatList list = task.value();
        QCOMPARE(rig.runner.calls[0].timeout, 10s);
        QCOMPARE(sidebarScript, BrowserTab::chatLinksScript(QStringLiteral("/chat/")));
        QCOMPARE(list.tabs(),
                 (QList<ChatTarget>{
                     {"Budget plan", chat1}, {"Trip", chat2}, {"Dash", "https://claude.ai/chat/333"}}));
        // The first 80 chat links that have text, in page order.
        QCOMPARE(list.recents().size(), 80);
        QCOMPARE(list.recents().first(), (ChatTarget{"Recent 0", "https://claude.ai/chat/r0"}));
        QCOMPARE(list.recents().at(3), (ChatTarget{"Recent 4", "https://claude.ai/chat/r4"}));
        QCOMPARE(list.recents().last(), (ChatTarget{"Recent 80", "https://claude.ai/chat/r80"}));
    }

    void listChatsIsEmptyOnAnyFailure_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("output"); // "throw": the run fails
        QTest::newRow("browser closed") << false << QString();
        QTest::newRow("run fails") << true << QStringLiteral("throw");
        QTest::newRow("not JSON") << true << QStringLiteral("Error: -1728");
        QTest::newRow("not a list") << true << QStringLiteral("{\"t\": 1}");
        QTest::newRow("a cell that is not text")
            << true << QStringLiteral("[[\"t\", \"A\", \"https://claude.ai/chat/1\"], [\"r\", 2, \"x\"]]");
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
        QVERIFY(task.succeeded());
        QCOMPARE(task.value(), ChatList());
        QCOMPARE(rig.runner.calls.size(), running ? 1 : 0);
    }

    // MARK: Lifetimes

    void operationsOutliveTheirTab()
    {
        // The service makes a tab per call and returns before the program answers.
        Rig rig;
        rig.runner.delay = 2s;
        rig.browser.windows = {window({tab(chat1, QStringLiteral("Plan - Claude"))})};
        FakeAutomationBackend automation(rig.scheduler);
        BrowserService service(rig.runner, rig.apps, automation, rig.scheduler);
        StartedTask<ChatList> listed(service.listChats(Browser::chrome, host, QStringLiteral("/chat/")));
        StartedTask<QString> ran(BrowserTab(rig.driver, Browser::chrome, host).js(QStringLiteral("'x'")));
        rig.scheduler.advance(2.0);
        QVERIFY(listed.succeeded());
        QCOMPARE(listed.value().tabs(), (QList<ChatTarget>{{"Plan", chat1}}));
        QCOMPARE(ran.value(), QString());
    }

private:
    static bool hasLoneSurrogate(const QString& s)
    {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
                ++i;
            else if (s[i].isSurrogate())
                return true;
        }
        return false;
    }

    // Runs the sidebar page script against a document whose links are given.
    static QVariant runSidebarScript(const QString& code, const QJsonArray& links)
    {
        QJSEngine engine;
        engine.globalObject().setProperty(QStringLiteral("links"),
                                          engine.toScriptValue(links.toVariantList()));
        const QJSValue setup = engine.evaluate(QString::fromUtf8(fakeDocument));
        if (setup.isError()) return QStringLiteral("setup: ") + setup.toString();
        const QJSValue value = engine.evaluate(code);
        return value.isError() ? QVariant(value.toString()) : value.toVariant();
    }
};

QTEST_GUILESS_MAIN(TestBrowserTab)
#include "tst_browsertab.moc"
