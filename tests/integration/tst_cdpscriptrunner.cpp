// The script runner against a real Chromium on a private X server: the
// browser programs as Vell sends them, the object model they use, and runs
// that hang. Moving, opening and listing tabs are the tab operations' part;
// hostile values reaching a real page are the delivery tests' part.
#include "CdpTabDriver.h"
#include "Chromium.h"
#include "DevToolsLink.h"
#include "JxaRunner.h"
#include "PageServer.h"
#include "ProgramTab.h"
#include "Scheduler.h"
#include "ScopedLog.h"
#include "ScriptOutcome.h"
#include "X11WindowStacking.h"
#include "XServer.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

// Worker threads of script runs still alive (the runner names them).
int scriptThreads()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "script run") ++count;
    }
    return count;
}

struct Tab {
    QString id;
    QString url;
    QString title;
};

} // namespace

class TestCdpScriptRunner : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<XServer> x_;
    PageServer pages_;
    std::unique_ptr<Chromium> chromium_;
    std::unique_ptr<DevToolsLink> link_;
    MainScheduler scheduler_;
    std::unique_ptr<JxaRunner> runner_;

    // One DevTools command over the runner's own connection, for setting up and checking.
    QJsonObject cdp(const QString& method, const QJsonObject& params = {}, const QString& session = {})
    {
        auto reply = std::make_shared<std::optional<QJsonObject>>();
        link_->send(method, params, session,
                    [reply](const QJsonObject& r, const std::optional<CdpFailure>& f) {
                        *reply = f ? QJsonObject{{QStringLiteral("error"), f->message}} : r;
                    });
        if (!QTest::qWaitFor([&] { return reply->has_value(); }, 10000))
            return {{QStringLiteral("error"), "no reply"}};
        return **reply;
    }
    QList<Tab> tabs()
    {
        QList<Tab> out;
        const QJsonArray infos =
            cdp(QStringLiteral("Target.getTargets"), {{"filter", QJsonArray{QJsonObject{{"type", "tab"}}}}})
                .value("targetInfos")
                .toArray();
        for (const QJsonValue& v : infos) {
            const QJsonObject info = v.toObject();
            out << Tab{info.value("targetId").toString(), info.value("url").toString(),
                       info.value("title").toString()};
        }
        return out;
    }
    std::optional<Tab> tabAt(const QString& path)
    {
        for (const Tab& t : tabs())
            if (t.url == pages_.url(path).toString()) return t;
        return std::nullopt;
    }
    // Windows (the first one in front), each a list of page paths; each window's first tab is current.
    bool layout(const QList<QStringList>& windows)
    {
        const QList<Tab> old = tabs();
        QStringList wanted;
        for (auto w = windows.crbegin(); w != windows.crend(); ++w) {
            for (int i = 0; i < w->size(); ++i) {
                const QJsonObject params =
                    i == 0 ? QJsonObject{{"url", pages_.url(w->at(i)).toString()}, {"newWindow", true}}
                           : QJsonObject{{"url", pages_.url(w->at(i)).toString()}, {"background", true}};
                if (cdp("Target.createTarget", params).contains("error")) return false;
                wanted << pages_.url(w->at(i)).toString();
            }
        }
        for (const Tab& t : old)
            cdp("Target.closeTarget", {{"targetId", t.id}});
        // Loaded: every wanted page is there with its title, and nothing else.
        return QTest::qWaitFor(
            [&] {
                const QList<Tab> now = tabs();
                if (now.size() != wanted.size()) return false;
                for (const Tab& t : now)
                    if (!wanted.contains(t.url) || t.title.isEmpty()) return false;
                return true;
            },
            10000);
    }
    std::shared_ptr<ScriptOutcome> start(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        return startScript(runner_->run(program, Browser::chrome, limit));
    }
    QString run(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        const auto outcome = start(program, limit);
        if (!QTest::qWaitFor([&] { return outcome->done; }, 60000)) return QStringLiteral("<no answer>");
        if (outcome->error) return QStringLiteral("<error ") + outcome->error->rendered() + QLatin1Char('>');
        return outcome->output;
    }
    BrowserTab tab() const { return programTab(pages_.host() + QStringLiteral("/chat/")); }
    QString program(const QString& body, const ScriptConstants& extra = {}) const
    {
        return tab().program(body, extra);
    }
    QString js(const QString& pageScript, std::chrono::milliseconds limit = 30s)
    {
        return run(program(tab().jsBody(), {{QStringLiteral("CODE"), pageScript}}), limit);
    }

private Q_SLOTS:
    void initTestCase()
    {
        x_ =
            std::make_unique<XServer>(XServer::Options{.width = 1600, .height = 1000, .windowManager = true});
        QVERIFY(x_->isRunning());
        QVERIFY(pages_.isListening());
        chromium_ = std::make_unique<Chromium>(Chromium::Options{
            .display = x_->display(), .urls = {pages_.url(QStringLiteral("/start")).toString()}});
        QVERIFY2(chromium_->isRunning(), qPrintable(chromium_->arguments().join(' ')));
        link_ = std::make_unique<DevToolsLink>(DevToolsLink::Options{
            .userDataDirs = {chromium_->userDataDir()}, .browserProcessRunning = [] { return true; }});
        runner_ = std::make_unique<JxaRunner>(
            CdpTabDriver::factory(*link_, std::make_shared<X11WindowStacking>(x_->display().toLocal8Bit())),
            scheduler_);
        QCOMPARE(QCoro::waitFor(link_->connectToBrowser()), DevToolsLink::Outcome::open);
    }
    void cleanupTestCase()
    {
        runner_.reset();
        link_.reset();
        chromium_.reset();
        x_.reset();
    }

    void objectModel()
    {
        QVERIFY(layout({{"/chat/1", "/news"}, {"/mail", "/chat/2"}}));
        const QString code = QStringLiteral(
            "return JSON.stringify([app.windows.length, app.windows.tabs.url(), app.windows.activeTab.url(),"
            " app.windows[0].tabs.title(), app.windows[1].activeTabIndex(), "
            "app.windows()[1].tabs()[1].url()])");
        const auto u = [&](const char* path) { return pages_.url(QString::fromLatin1(path)).toString(); };
        const QJsonArray expected{
            2,
            QJsonArray{QJsonArray{u("/chat/1"), u("/news")}, QJsonArray{u("/mail"), u("/chat/2")}},
            QJsonArray{u("/chat/1"), u("/mail")},
            QJsonArray{"/chat/1", "/news"},
            1,
            u("/chat/2")};
        QCOMPARE(QJsonDocument::fromJson(run(program(code)).toUtf8()).array(), expected);
    }

    // The preference order itself is the finder's logic and is covered on an in-memory
    // browser; here the real window order decides, and raising a window changes it.
    void tabPickingFollowsTheWindowSystem()
    {
        QVERIFY(layout({{"/news", "/chat/1"}, {"/chat/2"}}));
        const BrowserTab finder = tab();
        QCOMPARE(run(finder.program(finder.pickJS() +
                                    QStringLiteral("const t = pick(); return t ? t.url() : 'none'"))),
                 pages_.url("/chat/2").toString());
        const QString front = program(QStringLiteral("return app.windows[0].activeTab.url()"));
        QCOMPARE(run(front), pages_.url("/news").toString());
        QCOMPARE(run(program(QStringLiteral("app.windows[1].index = 1; return 'ok'"))), QStringLiteral("ok"));
        QTRY_COMPARE(run(front), pages_.url("/chat/2").toString());
    }

    void pageScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");
        // clang-format off
        QTest::newRow("top-level let, first run") << "let n = 40; n + 2" << "42";
        QTest::newRow("top-level let again") << "let n = 1; const m = 2; n + m" << "3";
        QTest::newRow("trailing line comment") << "'kept' // the end" << "kept";
        QTest::newRow("a promise is awaited") << "new Promise(r => setTimeout(() => r('later'), 50))" << "later";
        QTest::newRow("a throwing script gives nothing") << "throw new Error('boom')" << "";
        QTest::newRow("a DOM node cannot travel") << "document.body" << "[object Object]";
        // clang-format on
    }
    void pageScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        if (!tabAt("/chat/1")) QVERIFY(layout({{"/chat/1"}}));
        QCOMPARE(js(script), expected);
    }

    void probeOnARealPage()
    {
        if (!tabAt("/chat/1")) QVERIFY(layout({{"/chat/1"}}));
        QCOMPARE(run(program(tab().probeBody())), QStringLiteral("2"));
    }

    void hungPageScriptEndsAtTheTimeLimit()
    {
        if (!tabAt("/chat/1")) QVERIFY(layout({{"/chat/1"}}));
        ScopedLog log;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(js(QStringLiteral("while (true) {}"), 1500ms), QStringLiteral("<error timedOut(chrome)>"));
        QVERIFY2(timer.elapsed() < 4000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(log.messagesStartingWith(QStringLiteral("script: ")),
                 QStringList{"script: no answer after 2s"});
        QCOMPARE(runner_->runsInFlight(), 0);
        QTRY_COMPARE(scriptThreads(), 0);
        // The stuck script was stopped: the page answers again.
        QCOMPARE(js(QStringLiteral("'alive'")), QStringLiteral("alive"));
    }

    void closedTabIsAnAnswerNotAFailure()
    {
        QVERIFY(layout({{"/news"}}));
        QCOMPARE(js(QStringLiteral("1+1")), QStringLiteral("err:tab closed"));
    }
};

QTEST_GUILESS_MAIN(TestCdpScriptRunner)
#include "tst_cdpscriptrunner.moc"
