// The connection to the browser and the script runner over it. Stand-in
// endpoints play the browser's permission dialog; a real Chromium on a private
// X server plays the rest, until it is killed in the middle of a run.
#include "BrowserLauncher.h"
#include "CdpTabDriver.h"
#include "ChromeApps.h"
#include "ChromeAutomation.h"
#include "Chromium.h"
#include "DevToolsLink.h"
#include "JxaRunner.h"
#include "PageServer.h"
#include "ProgramTab.h"
#include "Scheduler.h"
#include "ScriptOutcome.h"
#include "X11WindowStacking.h"
#include "XServer.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

// A DevTools endpoint that answers the WebSocket upgrade the way the browser
// does while its "Allow remote debugging?" dialog is up (holding it), after a
// "Deny" (turning it down), or not at all (a stale file).
struct StandInEndpoint : QObject {
    enum class Mode { hold, forbid, stale };
    QTemporaryDir dir;
    QTcpServer server;
    int upgrades = 0;

    explicit StandInEndpoint(Mode mode)
    {
        server.listen(QHostAddress::LocalHost, 0);
        QFile file(dir.filePath(QStringLiteral("DevToolsActivePort")));
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray::number(server.serverPort()) + "\n/devtools/browser/stand-in");
        if (mode == Mode::stale) server.close();
        connect(&server, &QTcpServer::newConnection, this, [this, mode] {
            while (QTcpSocket* socket = server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, mode, socket] {
                    if (!socket->readAll().toLower().contains("upgrade: websocket")) return;
                    ++upgrades;
                    if (mode == Mode::forbid) {
                        socket->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
                        socket->disconnectFromHost();
                    }
                });
        });
    }
};

// A browser side put together the way the application does it.
struct Side {
    explicit Side(const QStringList& dirs, bool processRunning = false,
                  std::shared_ptr<X11WindowStacking> stacking = nullptr)
        : link(DevToolsLink::Options{.userDataDirs = dirs,
                                     .browserProcessRunning = [this] { return running; }}),
          apps(link, BrowserLauncher(BrowserLauncher::Options{
                         .commands = {},
                         .runningExecutables = [] { return QStringList(); },
                         .start =
                             [this](const QString& program, const QStringList& args) {
                                 started << program + QLatin1Char(' ') + args.join(' ');
                                 return true;
                             }})),
          automation(link), runner(CdpTabDriver::factory(link, std::move(stacking)), scheduler),
          running(processRunning)
    {
    }
    AutomationAccess access(bool ask, Browser browser = Browser::chrome)
    {
        return QCoro::waitFor(automation.access(browser, ask));
    }
    std::shared_ptr<ScriptOutcome> start(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        return startScript(runner.run(program, Browser::chrome, limit));
    }
    // The run's output, or the error it ended with.
    QString run(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        auto outcome = start(program, limit);
        if (!QTest::qWaitFor([&] { return outcome->done; }, 60000)) qFatal("run never ended");
        return outcome->error ? outcome->error->rendered() : outcome->output;
    }

    MainScheduler scheduler;
    DevToolsLink link;
    ChromeApps apps;
    ChromeAutomation automation;
    JxaRunner runner;
    bool running = false;
    QStringList started;
};

const QString windowCount =
    programTab(QStringLiteral("example.test")).program(QStringLiteral("return app.windows.length"));

} // namespace

class TestDevToolsLink : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<XServer> x_;
    PageServer pages_;
    std::unique_ptr<Chromium> chromium_;
    std::unique_ptr<Side> side_;

    QString url(const QString& path) const { return pages_.url(path).toString(); }
    // One DevTools command over the runner's own connection, for setting up.
    QJsonObject cdp(const QString& method, const QJsonObject& params = {})
    {
        auto reply = std::make_shared<std::optional<QJsonObject>>();
        side_->link.send(method, params, {},
                         [reply](const QJsonObject& r, const std::optional<CdpFailure>& f) {
                             *reply = f ? QJsonObject{{QStringLiteral("error"), f->message}} : r;
                         });
        if (!QTest::qWaitFor([&] { return reply->has_value(); }, 10000)) return {{"error", "no reply"}};
        return **reply;
    }
    QJsonArray tabs()
    {
        return cdp("Target.getTargets", {{"filter", QJsonArray{QJsonObject{{"type", "tab"}}}}})
            .value("targetInfos")
            .toArray();
    }
    // Windows (the first one in front), each a list of page paths; each window's first tab is current.
    bool layout(const QList<QStringList>& windows)
    {
        const QJsonArray old = tabs();
        QStringList wanted;
        for (auto w = windows.crbegin(); w != windows.crend(); ++w) {
            for (int i = 0; i < w->size(); ++i) {
                wanted << url(w->at(i));
                const QJsonObject params{{"url", wanted.last()}, {i == 0 ? "newWindow" : "background", true}};
                if (cdp("Target.createTarget", params).contains("error")) return false;
            }
        }
        for (const QJsonValue& t : old)
            cdp("Target.closeTarget", {{"targetId", t.toObject().value("targetId")}});
        // Loaded: every wanted page is there with its title, and nothing else.
        return QTest::qWaitFor(
            [&] {
                const QJsonArray now = tabs();
                return now.size() == wanted.size() && std::all_of(now.begin(), now.end(), [&](const auto& t) {
                           return wanted.contains(t.toObject().value("url").toString()) &&
                                  !t.toObject().value("title").toString().isEmpty();
                       });
            },
            10000);
    }
    BrowserTab tab() const { return programTab(pages_.host() + QStringLiteral("/chat/")); }
    QString js(const QString& pageScript, std::chrono::milliseconds limit = 30s)
    {
        return side_->run(tab().program(tab().jsBody(), {{QStringLiteral("CODE"), pageScript}}), limit);
    }

private Q_SLOTS:
    void initTestCase()
    {
        x_ =
            std::make_unique<XServer>(XServer::Options{.width = 1600, .height = 1000, .windowManager = true});
        QVERIFY(x_->isRunning());
        chromium_ = std::make_unique<Chromium>(
            Chromium::Options{.display = x_->display(), .urls = {url(QStringLiteral("/start"))}});
        QVERIFY2(chromium_->isRunning(), qPrintable(chromium_->arguments().join(' ')));
        side_ = std::make_unique<Side>(QStringList{chromium_->userDataDir()}, true,
                                       std::make_shared<X11WindowStacking>(x_->display().toLocal8Bit()));
    }
    void cleanupTestCase()
    {
        side_.reset();
        chromium_.reset();
        x_.reset();
    }

    void handshakeWaitingForTheUser()
    {
        StandInEndpoint endpoint(StandInEndpoint::Mode::hold);
        Side side({endpoint.dir.path()});
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        QCOMPARE(endpoint.upgrades, 0); // asking nothing shows nothing
        const auto first = side.start(windowCount, 800ms);
        QTRY_VERIFY(side.link.handshakePending());
        QVERIFY(side.apps.isRunning(Browser::chrome));
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        // A second run while the user has not answered joins the same handshake: one dialog, not two.
        const auto second = side.start(windowCount, 800ms);
        QTRY_VERIFY(first->done && second->done);
        QCOMPARE(first->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(second->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(endpoint.upgrades, 1);
        QVERIFY(side.link.handshakePending()); // still up for the user to answer
    }

    void refusalIsRememberedUntilForgotten()
    {
        StandInEndpoint endpoint(StandInEndpoint::Mode::forbid);
        Side side({endpoint.dir.path()});
        QCOMPARE(side.access(true), AutomationAccess::denied);
        QCOMPARE(side.access(true), AutomationAccess::denied);
        QCOMPARE(side.run(windowCount), QStringLiteral("automationDenied(chrome)"));
        QCOMPARE(endpoint.upgrades, 1);
        side.automation.resetAnswer();
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        QCOMPARE(side.access(true), AutomationAccess::denied);
        QCOMPARE(endpoint.upgrades, 2);
    }

    void staleEndpointFile()
    {
        StandInEndpoint stale(StandInEndpoint::Mode::stale);
        Side crashed({stale.dir.path()}); // left over from a crash
        QCOMPARE(crashed.access(true), AutomationAccess::browserNotRunning);
        QVERIFY(!crashed.apps.isRunning(Browser::chrome));
        QCOMPARE(crashed.run(windowCount), QStringLiteral("automationDenied(chrome)"));
        // Running without an endpoint: remote debugging is off. Nothing to allow, and the run names the
        // setting.
        Side off({stale.dir.path()}, true);
        QCOMPARE(off.access(true), AutomationAccess::granted);
        QVERIFY(off.apps.isRunning(Browser::chrome));
        QCOMPARE(off.run(windowCount), QStringLiteral("jsOff(chrome)"));
        QVERIFY(!off.link.isOpen());
    }

    void grantLaunchAndReconnect()
    {
        QCOMPARE(side_->access(false), AutomationAccess::notAsked);
        QCOMPARE(side_->access(true), AutomationAccess::granted);
        QCOMPARE(side_->run(windowCount), QStringLiteral("1"));
        // Through the open connection a launch opens a window and starts nothing.
        side_->apps.launchInBackground(Browser::chrome, url(QStringLiteral("/launched")));
        QTRY_COMPARE(side_->run(windowCount), QStringLiteral("2"));
        QVERIFY(side_->started.isEmpty());
        side_->automation.resetAnswer();
        QVERIFY(!side_->link.isOpen());
        QCOMPARE(side_->access(false), AutomationAccess::notAsked);
        QCOMPARE(side_->run(windowCount), QStringLiteral("2")); // a run connects again by itself
    }

    // The real window order decides what the finder picks and what bulk reads
    // list first, and raising a window changes it.
    void windowOrderFollowsTheWindowSystem()
    {
        QVERIFY(layout({{"/news", "/chat/1"}, {"/chat/2"}}));
        const BrowserTab finder = tab();
        QCOMPARE(
            side_->run(finder.program(finder.pickJS() + "const t = pick(); return t ? t.url() : 'none'")),
            url("/chat/2"));
        const QString read = finder.program("return JSON.stringify([app.windows.tabs.url(), "
                                            "app.windows.activeTab.url(), app.windows[1].activeTabIndex()])");
        // Bulk reads give every window's tabs, front window first; paths stand for the page addresses.
        const auto paths = [&] { return side_->run(read).remove(url(QStringLiteral("/")).chopped(1)); };
        QCOMPARE(paths(), QStringLiteral(R"([[["/news","/chat/1"],["/chat/2"]],["/news","/chat/2"],1])"));
        QCOMPARE(side_->run(finder.program("app.windows[1].index = 1; return 'ok'")), QStringLiteral("ok"));
        QTRY_COMPARE(paths(), QStringLiteral(R"([[["/chat/2"],["/news","/chat/1"]],["/chat/2","/news"],1])"));
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
        if (QTest::currentDataTag() == QLatin1String("top-level let, first run"))
            QVERIFY(layout({{"/chat/1"}}));
        QCOMPARE(js(script), expected);
    }

    void hungPageScriptIsStoppedAtTheTimeLimit()
    {
        QCOMPARE(js(QStringLiteral("while (true) {}"), 1500ms), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(side_->runner.runsInFlight(), 0);
        QCOMPARE(js(QStringLiteral("'alive'")), QStringLiteral("alive")); // the page answers again
        QVERIFY(layout({{"/news"}}));
        QCOMPARE(js(QStringLiteral("1+1")), QStringLiteral("err:tab closed")); // no chat tab is an answer
    }

    // Last: the browser is killed while a page script hangs.
    void browserKilledMidRun()
    {
        QVERIFY(layout({{"/chat/1"}}));
        // A page script that reports in and then never answers.
        const auto outcome = side_->start(tab().program(
            tab().jsBody(), {{QStringLiteral("CODE"), "fetch('/arrived'); new Promise(() => {})"}}));
        QTRY_VERIFY(pages_.hits().contains(QStringLiteral("/arrived")));
        QElapsedTimer timer;
        timer.start();
        chromium_->kill();
        side_->running = false;
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 10000);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(outcome->error->rendered(),
                 QStringLiteral("page(\"the connection to the browser was closed\")"));
        // Afterwards there is nothing to reach.
        QCOMPARE(side_->run(windowCount), QStringLiteral("automationDenied(chrome)"));
        QVERIFY(!side_->apps.isRunning(Browser::chrome));
    }
};

QTEST_GUILESS_MAIN(TestDevToolsLink)
#include "tst_devtoolslink.moc"
