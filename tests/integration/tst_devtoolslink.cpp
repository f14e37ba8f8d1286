// The connection to the browser and what hangs on it: finding the endpoint,
// the handshake that waits for the user's answer, refusals, stale endpoint
// files, the permission states, launching, and the browser going away in
// the middle of a run. Stand-in endpoints play the browser's dialog; a real
// headless Chromium plays the rest.
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
#include "ScopedLog.h"
#include "ScriptOutcome.h"

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
class StandInEndpoint : public QObject {
public:
    enum class Mode { hold, forbid, stale };

    explicit StandInEndpoint(Mode mode) : mode_(mode)
    {
        server_.listen(QHostAddress::LocalHost, 0);
        const quint16 port = server_.serverPort();
        QFile file(dir_.filePath(QStringLiteral("DevToolsActivePort")));
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray::number(port) + "\n/devtools/browser/stand-in");
        file.close();
        if (mode == Mode::stale) {
            server_.close();
            return;
        }
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    const QByteArray request = socket->readAll();
                    if (!request.contains("Upgrade: websocket") && !request.contains("upgrade: websocket"))
                        return;
                    ++upgrades_;
                    if (mode_ == Mode::forbid) {
                        socket->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
                        socket->disconnectFromHost();
                    }
                });
            }
        });
    }
    QString dir() const { return dir_.path(); }
    int upgrades() const { return upgrades_; }

private:
    Mode mode_;
    QTemporaryDir dir_;
    QTcpServer server_;
    int upgrades_ = 0;
};

QCoro::Task<void> driveAccess(QCoro::Task<AutomationAccess> task,
                              std::shared_ptr<std::optional<AutomationAccess>> out)
{
    *out = co_await task;
}

// A browser side put together the way the application does it.
struct Side {
    explicit Side(const QStringList& dirs, bool processRunning = false)
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
          automation(link), runner(CdpTabDriver::factory(link, nullptr), scheduler), running(processRunning)
    {
    }
    AutomationAccess access(bool ask, Browser browser = Browser::chrome)
    {
        auto out = std::make_shared<std::optional<AutomationAccess>>();
        driveAccess(automation.access(browser, ask), out);
        if (!QTest::qWaitFor([&] { return out->has_value(); }, 10000)) qFatal("access never answered");
        return **out;
    }
    std::shared_ptr<ScriptOutcome> start(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        return startScript(runner.run(program, Browser::chrome, limit));
    }
    std::shared_ptr<ScriptOutcome> run(const QString& program, std::chrono::milliseconds limit = 30s)
    {
        auto outcome = start(program, limit);
        if (!QTest::qWaitFor([&] { return outcome->done; }, 60000)) qFatal("run never ended");
        return outcome;
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

private Q_SLOTS:
    void handshakeWaitingForTheUser()
    {
        StandInEndpoint endpoint(StandInEndpoint::Mode::hold);
        Side side({endpoint.dir()});
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        QCOMPARE(endpoint.upgrades(), 0); // asking nothing shows nothing

        ScopedLog log;
        const auto first = side.start(windowCount, 800ms);
        QTRY_VERIFY(side.link.handshakePending());
        QVERIFY(side.apps.isRunning(Browser::chrome));
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        // A second run while the user has not answered joins the same handshake:
        // one dialog, not two.
        const auto second = side.start(windowCount, 800ms);
        QTRY_VERIFY(first->done && second->done);
        QCOMPARE(first->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(second->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(endpoint.upgrades(), 1);
        QVERIFY(side.link.handshakePending()); // still up for the user to answer
        QCOMPARE(log.messagesStartingWith("script: "),
                 (QStringList{"script: no answer after 1s", "script: no answer after 1s"}));
    }

    void refusalIsRemembered()
    {
        StandInEndpoint endpoint(StandInEndpoint::Mode::forbid);
        Side side({endpoint.dir()});
        QCOMPARE(side.access(true), AutomationAccess::denied);
        QCOMPARE(endpoint.upgrades(), 1);
        // Remembered: neither asking again nor a run shows the dialog again.
        QCOMPARE(side.access(false), AutomationAccess::denied);
        QCOMPARE(side.access(true), AutomationAccess::denied);
        ScopedLog log;
        const auto outcome = side.run(windowCount);
        QCOMPARE(outcome->error->rendered(), QStringLiteral("automationDenied(chrome)"));
        QCOMPARE(log.messagesStartingWith("script: "),
                 QStringList{"script: the browser refused the remote debugging connection"});
        QCOMPARE(endpoint.upgrades(), 1);
        // Until the answer is forgotten.
        side.automation.resetAnswer();
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        QCOMPARE(side.access(true), AutomationAccess::denied);
        QCOMPARE(endpoint.upgrades(), 2);
    }

    void nothingListening_data()
    {
        QTest::addColumn<bool>("staleFile");
        QTest::addColumn<bool>("processRunning");
        QTest::addColumn<AutomationAccess>("access");
        QTest::addColumn<QString>("runError");
        QTest::addColumn<bool>("isRunning");
        QTest::newRow("left over from a crash")
            << true << false << AutomationAccess::browserNotRunning << "automationDenied(chrome)" << false;
        // Running without an endpoint: remote debugging is off. Nothing to allow,
        // and the run names the setting.
        QTest::newRow("restarted with the setting off")
            << true << true << AutomationAccess::granted << "jsOff(chrome)" << true;
    }
    void nothingListening()
    {
        QFETCH(bool, staleFile);
        QFETCH(bool, processRunning);
        QFETCH(AutomationAccess, access);
        QFETCH(QString, runError);
        QFETCH(bool, isRunning);
        StandInEndpoint stale(StandInEndpoint::Mode::stale);
        QTemporaryDir empty;
        Side side({staleFile ? stale.dir() : empty.path()}, processRunning);
        QCOMPARE(side.access(false), access);
        QCOMPARE(side.access(true), access);
        QCOMPARE(side.apps.isRunning(Browser::chrome), isRunning);
        QCOMPARE(side.run(windowCount)->error->rendered(), runError);
        QVERIFY(!side.link.isOpen());
        // Only Chrome is driven here, whatever is running.
        QVERIFY(!side.apps.isRunning(Browser::safari));
        QCOMPARE(side.access(true, Browser::safari), AutomationAccess::browserNotRunning);
        side.apps.launchInBackground(Browser::safari, QStringLiteral("https://example.test/"));
        QVERIFY(side.started.isEmpty());
    }

    void realBrowser()
    {
        PageServer pages;
        Chromium chromium({.urls = {pages.url(QStringLiteral("/start")).toString()}});
        QVERIFY(chromium.isRunning());
        Side side({chromium.userDataDir()});
        QVERIFY(side.apps.isRunning(Browser::chrome));
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        QVERIFY(!side.link.isOpen());
        QCOMPARE(side.access(true), AutomationAccess::granted);
        QVERIFY(side.link.isOpen());
        QCOMPARE(side.access(false), AutomationAccess::granted);
        QCOMPARE(side.run(windowCount)->output, QStringLiteral("1"));

        // Through the open connection a launch opens a window and starts nothing.
        side.apps.launchInBackground(Browser::chrome, pages.url(QStringLiteral("/launched")).toString());
        QTRY_COMPARE(side.run(windowCount)->output, QStringLiteral("2"));
        QVERIFY(side.started.isEmpty());

        side.automation.resetAnswer();
        QVERIFY(!side.link.isOpen());
        QCOMPARE(side.access(false), AutomationAccess::notAsked);
        // A run connects again by itself.
        QCOMPARE(side.run(windowCount)->output, QStringLiteral("2"));
    }

    void browserKilledMidRun()
    {
        PageServer pages;
        Chromium chromium({.urls = {pages.url(QStringLiteral("/chat/1")).toString()}});
        QVERIFY(chromium.isRunning());
        Side side({chromium.userDataDir()}, true);
        QCOMPARE(side.run(windowCount)->output, QStringLiteral("1"));

        const BrowserTab tab = programTab(pages.host() + QStringLiteral("/chat/"));
        const QString ready =
            tab.program(tab.jsBody(), {{QStringLiteral("CODE"), QStringLiteral("document.readyState")}});
        QTRY_COMPARE_WITH_TIMEOUT(side.run(ready)->output, QStringLiteral("complete"), 15000);

        ScopedLog log;
        // A page script that reports in and then never answers.
        const QString program = tab.program(
            tab.jsBody(),
            {{QStringLiteral("CODE"), QStringLiteral("fetch('/arrived'); new Promise(() => {})")}});
        const auto outcome = side.start(program, 30s);
        QTRY_VERIFY2(pages.hits().contains(QStringLiteral("/arrived")),
                     qPrintable(pages.hits().join(' ') +
                                (outcome->done ? " ended: " + outcome->output : QString()) +
                                (outcome->error ? outcome->error->rendered() : QString())));
        QElapsedTimer timer;
        timer.start();
        chromium.kill();
        side.running = false;
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done, 10000);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(outcome->error->rendered(),
                 QStringLiteral("page(\"the connection to the browser was closed\")"));
        QCOMPARE(log.messagesStartingWith("script: "),
                 QStringList{"script: the connection to the browser was closed"});
        QVERIFY(!side.link.isOpen());
        // Afterwards there is nothing to reach.
        QCOMPARE(side.run(windowCount)->error->rendered(), QStringLiteral("automationDenied(chrome)"));
        QVERIFY(!side.apps.isRunning(Browser::chrome));
    }
};

QTEST_GUILESS_MAIN(TestDevToolsLink)
#include "tst_devtoolslink.moc"
