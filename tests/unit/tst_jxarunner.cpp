// The Linux script runner against an in-memory browser: the corners of the
// object model a real browser does not show cheaply, failure classification,
// and the time limit on virtual time. What a real page does with the programs
// is tst_cdpscriptrunner's part.
#include "JxaRunner.h"
#include "ProgramTab.h"
#include "RunControl.h"
#include "ScopedLog.h"
#include "TabDriver.h"
#include "VirtualScheduler.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

#include <atomic>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// Windows front to back; each holds tabs in strip order and its current tab.
struct FakeBrowser {
    QList<WindowRecord> windows;
    std::optional<QString> goneText; // windows() fails the run with this
    bool realDelays = false;         // delay() waits (until the run ends)

    std::mutex mutex;
    QStringList calls;
    int snapshots = 0;
    std::atomic<bool> reachedHost{false};

    void record(const QString& call)
    {
        std::lock_guard lock(mutex);
        calls << call;
    }
    QStringList changes()
    {
        std::lock_guard lock(mutex);
        return calls.filter(QRegularExpression(QStringLiteral("^(?!windows|evaluate)")));
    }
    std::pair<int, int> find(const QString& tabId) const
    {
        for (int w = 0; w < windows.size(); ++w)
            for (int t = 0; t < windows.at(w).tabs.size(); ++t)
                if (windows.at(w).tabs.at(t).id == tabId) return {w, t};
        throw TabError(QStringLiteral("Can't get object."));
    }
};

// The page answers 'none' with no value, 'id' with its tab's id, anything else with an array.
class FakeTabDriver final : public TabDriver {
public:
    FakeTabDriver(FakeBrowser& browser, std::shared_ptr<RunControl> control)
        : b_(browser), control_(std::move(control))
    {
    }

    QList<WindowRecord> windows() override
    {
        b_.reachedHost = true;
        b_.record(QStringLiteral("windows"));
        ++b_.snapshots;
        if (b_.goneText) throw BrowserGone(*b_.goneText);
        return b_.windows;
    }
    std::optional<QJsonValue> evaluate(const QString& tabId, const QString& script) override
    {
        b_.find(tabId);
        b_.record(QStringLiteral("evaluate ") + tabId);
        if (script == QLatin1String("none")) return std::nullopt;
        if (script == QLatin1String("id")) return QJsonValue(tabId);
        return QJsonValue(QJsonArray{QStringLiteral("a"), 1});
    }
    void navigate(const QString& tabId, const QString& url) override
    {
        const auto [w, t] = b_.find(tabId);
        b_.record(QStringLiteral("navigate ") + tabId + QLatin1Char(' ') + url);
        b_.windows[w].tabs[t].url = url;
    }
    void openTab(const QString& url) override
    {
        b_.record(QStringLiteral("open ") + url);
        b_.windows[0].tabs << TabRecord{QStringLiteral("new"), url, {}};
    }
    void activate(const QString& tabId) override
    {
        const auto [w, t] = b_.find(tabId);
        b_.record(QStringLiteral("activate ") + tabId);
        WindowRecord window = b_.windows.takeAt(w);
        window.active = t;
        b_.windows.prepend(window);
    }
    void delay(std::chrono::milliseconds duration) override
    {
        b_.record(QStringLiteral("delay %1").arg(duration.count()));
        if (b_.realDelays) control_->sleepFor(duration);
    }

private:
    FakeBrowser& b_;
    std::shared_ptr<RunControl> control_;
};

WindowRecord window(qint64 id, const QStringList& urls, int active)
{
    WindowRecord w{id, {}, active};
    for (int i = 0; i < urls.size(); ++i)
        w.tabs << TabRecord{QStringLiteral("w%1t%2").arg(id).arg(i), urls.at(i),
                            QStringLiteral("Title %1").arg(i)};
    return w;
}

struct Outcome {
    bool done = false;
    QString output;
    std::optional<DeliveryError> error;
    QString otherError;
};

QCoro::Task<void> drive(QCoro::Task<QString> task, std::shared_ptr<Outcome> outcome)
{
    try {
        outcome->output = co_await task;
    } catch (const DeliveryError& e) {
        outcome->error = e;
    } catch (const std::exception& e) {
        outcome->otherError = QString::fromUtf8(e.what());
    }
    outcome->done = true;
}

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

QString body(const QString& text, const ScriptConstants& extra = {})
{
    return programTab(QStringLiteral("chat.example")).program(text, extra);
}

} // namespace

class TestJxaRunner : public QObject {
    Q_OBJECT

private:
    FakeBrowser browser_;
    VirtualScheduler scheduler_;
    std::unique_ptr<JxaRunner> runner_;

    std::shared_ptr<Outcome> start(const QString& program, Browser b = Browser::chrome)
    {
        auto outcome = std::make_shared<Outcome>();
        drive(runner_->run(program, b, 30s), outcome);
        return outcome;
    }
    std::shared_ptr<Outcome> run(const QString& program, Browser b = Browser::chrome)
    {
        auto outcome = start(program, b);
        if (!QTest::qWaitFor([&] { return outcome->done; }, 10000)) qWarning("run did not finish");
        return outcome;
    }
    QString output(const QString& program)
    {
        const auto o = run(program);
        if (o->error) qWarning() << "run failed:" << o->error->rendered();
        return o->output;
    }

private Q_SLOTS:
    void init()
    {
        browser_.windows = {
            window(1, {QStringLiteral("https://news.example/"), QStringLiteral("https://chat.example/c/1")},
                   0),
            window(2, {QStringLiteral("https://chat.example/c/2"), QStringLiteral("https://mail.example/")},
                   1)};
        browser_.goneText.reset();
        browser_.realDelays = false;
        browser_.calls.clear();
        browser_.snapshots = 0;
        browser_.reachedHost = false;
        runner_ = std::make_unique<JxaRunner>(
            [this](const std::shared_ptr<RunControl>& control) {
                return std::make_unique<FakeTabDriver>(browser_, control);
            },
            scheduler_);
    }
    void cleanup() { runner_.reset(); }

    void objectModel_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("expected");
        QTest::newRow("indexes, negative from the end, calls")
            << "return [app.windows[-1].tabs[-1].url(), app.windows()[1].tabs()[1].title()].join(' ')"
            << "https://mail.example/ Title 1";
        QTest::newRow("current tab: property, call, both names, index from one")
            << "const w = app.windows[1]; return [w.activeTab.url(), w.activeTab().id(), w.currentTab.id(), "
               "w.activeTabIndex(), w.index(), w.name()].join(' ')"
            << "https://mail.example/ w2t1 w2t1 2 2 Title 1";
        QTest::newRow("out of range is catchable")
            << "const m = []; try { app.windows[5].tabs() } catch (e) { m.push(e.message) }"
               "try { app.windows[0].tabs[9].url() } catch (e) { m.push(e.message) } return m.join()"
            << "Invalid index.,Invalid index.";
        QTest::newRow("no page value is null, objects arrive as objects")
            << "const t = app.windows[0].tabs[1]; const r = t.execute({javascript: 'x'});"
               "return [t.execute({javascript: 'none'}) === null, r[0] + r[1]].join()"
            << "true,a1";
        QTest::newRow("doJavaScript with in:, result trimmed")
            << "return '  ' + app.doJavaScript('id', {in: app.windows[1].tabs[0]}) + ' \\n '"
            << "w2t0";
    }
    void objectModel()
    {
        QFETCH(QString, code);
        QFETCH(QString, expected);
        QCOMPARE(output(body(code)), expected);
    }

    // The finder's bulk reads and its pick come out of one snapshot; changing
    // calls move the browser and the program's view follows.
    void snapshotIsReadAgainOnlyAfterChanges()
    {
        const QString pick = programTab(QStringLiteral("chat.example")).pickJS() +
                             QStringLiteral("const t = pick(); return t.id();");
        QCOMPARE(output(body(pick)), QStringLiteral("w1t1"));
        QCOMPARE(browser_.snapshots, 1);

        browser_.snapshots = 0;
        const QString code = QStringLiteral(
            "const w = app.windows[1]; const before = app.windows.tabs.url().length + w.tabs.length;"
            "w.activeTabIndex = 1;"
            "const current = app.windows[1].activeTab.url() + ' ' + app.windows[1].activeTabIndex();"
            "app.windows[0].tabs.push(app.Tab({url: 'https://x.example/'}));"
            "const t = app.windows[0].tabs[0]; t.url = 'https://y.example/';"
            "return [before, current, app.windows[0].tabs.length, app.windows[0].id(), t.url()].join(' ')");
        QCOMPARE(output(body(code)), QStringLiteral("4 https://chat.example/c/2 1 3 1 https://y.example/"));
        QCOMPARE(browser_.snapshots, 4);
        // Making a tab current brings its window forward; the front window is given back.
        QCOMPARE(browser_.changes(), (QStringList{"activate w2t0", "activate w1t0", "open https://x.example/",
                                                  "navigate w1t0 https://y.example/"}));
    }

    // A tab pushed into a background window leaves the front window in front.
    void pushingIntoABackgroundWindowKeepsTheFrontOne()
    {
        QCOMPARE(output(body(QStringLiteral("app.windows[1].tabs.push(app.Tab({url: 'https://x.example/'}));"
                                            "return app.windows[0].id()"))),
                 QStringLiteral("1"));
        QCOMPARE(browser_.changes(),
                 (QStringList{"activate w2t1", "open https://x.example/", "activate w1t0"}));
        QCOMPARE(browser_.windows.at(1).tabs.last().url, QStringLiteral("https://x.example/"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("gone");
        QTest::addColumn<QString>("expected"); // rendered DeliveryError
        QTest::newRow("uncaught error") << body("return app.windows[0].tabs[7].url()") << QString()
                                        << "page(\"Error: Invalid index. (line 5)\")";
        QTest::newRow("syntax error") << QStringLiteral("function run() { return ( }") << QString()
                                      << "page(\"SyntaxError: Expected token `)' (line 1)\")";
        QTest::newRow("no run function")
            << QStringLiteral("var x = 1;") << QString() << "page(\"Error: the program has no run()\")";
        QTest::newRow("thrown non-error") << QStringLiteral("function run() { throw 'plain words' }")
                                          << QString() << "page(\"plain words\")";
        QTest::newRow("another application")
            << QStringLiteral("function run() { return Application('Safari').windows.length }") << QString()
            << "page(\"Error: Application can't be found. (line 1)\")";
        // A browser that cannot be reached ends the run even where the program catches
        // everything; tst_devtoolslink shows the refusal and the lost connection for real.
        const QString catching = body("try { return app.windows.length } catch (e) { return 'caught' }");
        QTest::newRow("setting off") << catching << "the browser runs but its remote debugging is turned off"
                                     << "jsOff(chrome)";
    }
    void failures()
    {
        QFETCH(QString, program);
        QFETCH(QString, gone);
        QFETCH(QString, expected);
        if (!gone.isEmpty()) browser_.goneText = gone;
        ScopedLog log;
        const auto outcome = run(program);
        QVERIFY2(outcome->error, qPrintable(QStringLiteral("answered: ") + outcome->output));
        QCOMPARE(outcome->error->rendered(), expected);
        // The log holds what went wrong in the words it came in.
        const QString words = gone.isEmpty() ? expected.mid(6, expected.size() - 8) : gone;
        QCOMPARE(log.messagesStartingWith(QStringLiteral("script: ")), QStringList{"script: " + words});
    }

    void safariCannotBeDriven()
    {
        const auto outcome = run(body("return 'x'"), Browser::safari);
        QVERIFY(!outcome->otherError.isEmpty());
        QCOMPARE(browser_.snapshots, 0);
    }

    void timeLimit_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("realDelays");
        QTest::newRow("busy loop that swallows errors")
            << "app.windows(); for (;;) { try { app.windows[0].id() } catch (e) {} }" << false;
        QTest::newRow("long delay") << "app.windows(); delay(3600); return 'slept'" << true;
    }
    void timeLimit()
    {
        QFETCH(QString, code);
        QFETCH(bool, realDelays);
        browser_.realDelays = realDelays;
        ScopedLog log;
        const auto outcome = start(body(code));
        QTRY_VERIFY(browser_.reachedHost.load());
        QCOMPARE(scriptThreads(), 1);
        scheduler_.advance(29.9);
        QVERIFY(!outcome->done);
        scheduler_.advance(0.1);
        QTRY_VERIFY(outcome->done);
        QCOMPARE(outcome->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(log.messagesStartingWith(QStringLiteral("script: ")),
                 QStringList{"script: no answer after 30s"});
        QCOMPARE(runner_->runsInFlight(), 0);
        QTRY_COMPARE(scriptThreads(), 0); // the OS thread ends just after QThread::wait() returns
    }

    void aStuckRunHoldsUpNoOtherAndEndsWithTheRunner()
    {
        browser_.realDelays = true;
        const auto slow = start(body("delay(3600); return 'slow'"));
        const auto quick = start(body("return 'quick'"));
        QTRY_VERIFY(quick->done);
        QCOMPARE(quick->output, QStringLiteral("quick"));
        QVERIFY(!slow->done);
        QCOMPARE(runner_->runsInFlight(), 1);
        runner_.reset(); // waits for the worker
        QTRY_COMPARE(scriptThreads(), 0);
        QTRY_VERIFY(slow->done);
        QVERIFY(slow->output.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestJxaRunner)
#include "tst_jxarunner.moc"
