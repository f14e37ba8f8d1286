// The Linux script runner against an in-memory browser: object-model corners,
// failure classification and the time limit on virtual time.
#include "JxaRunner.h"
#include "ProgramTab.h"
#include "RunControl.h"
#include "ScriptOutcome.h"
#include "TabDriver.h"
#include "VirtualScheduler.h"

#include <QJsonArray>
#include <QtTest>

#include <atomic>

using namespace std::chrono_literals;

namespace {

// Windows front to back; each holds tabs in strip order and its current tab.
struct FakeBrowser {
    QList<WindowRecord> windows;
    std::optional<QString> goneText; // windows() fails the run with this
    bool realDelays = false;         // delay() waits (until the run ends)
    QStringList changes;             // calls that move the browser
    std::atomic<int> snapshots = 0;

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
        ++b_.snapshots;
        if (b_.goneText) throw BrowserGone(*b_.goneText);
        return b_.windows;
    }
    std::optional<QJsonValue> evaluate(const QString& tabId, const QString& script) override
    {
        b_.find(tabId);
        if (script == QLatin1String("none")) return std::nullopt;
        if (script == QLatin1String("id")) return QJsonValue(tabId);
        return QJsonValue(QJsonArray{QStringLiteral("a"), 1});
    }
    void navigate(const QString& tabId, const QString& url) override
    {
        const auto [w, t] = b_.find(tabId);
        b_.changes << (QStringLiteral("navigate ") + tabId + QLatin1Char(' ') + url);
        b_.windows[w].tabs[t].url = url;
    }
    void openTab(const QString& url) override
    {
        b_.changes << (QStringLiteral("open ") + url);
        b_.windows[0].tabs << TabRecord{QStringLiteral("new"), url, {}};
    }
    void activate(const QString& tabId) override
    {
        const auto [w, t] = b_.find(tabId);
        b_.changes << (QStringLiteral("activate ") + tabId);
        b_.windows.prepend(b_.windows.takeAt(w));
        b_.windows[0].active = t;
    }
    void delay(std::chrono::milliseconds duration) override
    {
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

QString body(const QString& text)
{
    return programTab(QStringLiteral("chat.example")).program(text, {});
}

} // namespace

class TestJxaRunner : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeBrowser> browser_;
    VirtualScheduler scheduler_;
    std::unique_ptr<JxaRunner> runner_;

    std::shared_ptr<ScriptOutcome> start(const QString& program)
    {
        return startScript(runner_->run(program, Browser::chrome, 30s));
    }
    // The run's output, or the error it ended with.
    QString output(const QString& code)
    {
        auto outcome = start(body(code));
        (void)QTest::qWaitFor([&] { return outcome->done; }, 10000);
        return outcome->error ? outcome->error->rendered() : outcome->output;
    }

private Q_SLOTS:
    void init()
    {
        browser_ = std::make_unique<FakeBrowser>();
        browser_->windows = {
            window(1, {QStringLiteral("https://news.example/"), QStringLiteral("https://chat.example/c/1")},
                   0),
            window(2, {QStringLiteral("https://chat.example/c/2"), QStringLiteral("https://mail.example/")},
                   1)};
        runner_ = std::make_unique<JxaRunner>(
            [this](const std::shared_ptr<RunControl>& control) {
                return std::make_unique<FakeTabDriver>(*browser_, control);
            },
            scheduler_);
    }

    void objectModel()
    {
        QCOMPARE(
            output("const w = app.windows[1]; const t = app.windows[0].tabs[1];"
                   "const r = t.execute({javascript: 'x'}); let m;"
                   "try { app.windows[0].tabs[9].url() } catch (e) { m = e.message }"
                   "return [app.windows[-1].tabs[-1].url(), w.activeTab().id(), w.currentTab.id(),"
                   "w.activeTabIndex(), w.index(), w.name(), m, t.execute({javascript: 'none'}) === null,"
                   "r[0] + r[1], app.doJavaScript('id', {in: app.windows[1].tabs[0]})].join() + ' \\n'"),
            QStringLiteral("https://mail.example/,w2t1,w2t1,2,2,Title 1,Invalid index.,true,a1,w2t0"));
    }

    // The finder's bulk reads and its pick come out of one snapshot; changing
    // calls move the browser and the program's view follows. Making a tab
    // current brings its window forward; the front window is given back.
    void snapshotIsReadAgainOnlyAfterChanges()
    {
        const QString pick = programTab(QStringLiteral("chat.example")).pickJS() +
                             QStringLiteral("const t = pick(); return t.id();");
        QCOMPARE(output(pick), QStringLiteral("w1t1"));
        QCOMPARE(browser_->snapshots, 1);

        browser_->snapshots = 0;
        QCOMPARE(
            output("const w = app.windows[1]; const before = app.windows.tabs.url().length + w.tabs.length;"
                   "w.activeTabIndex = 1;"
                   "const current = app.windows[1].activeTab.url() + ' ' + app.windows[1].activeTabIndex();"
                   "app.windows[0].tabs.push(app.Tab({url: 'https://x.example/'}));"
                   "const t = app.windows[0].tabs[0]; t.url = 'https://y.example/';"
                   "app.windows[1].tabs.push(app.Tab({url: 'https://z.example/'}));"
                   "return [before, current, app.windows[0].tabs.length, app.windows[0].id(), "
                   "t.url()].join(' ')"),
            QStringLiteral("4 https://chat.example/c/2 1 3 1 https://y.example/"));
        QCOMPARE(browser_->snapshots, 5);
        QCOMPARE(browser_->changes, (QStringList{"activate w2t0", "activate w1t0", "open https://x.example/",
                                                 "navigate w1t0 https://y.example/", "activate w2t0",
                                                 "open https://z.example/", "activate w1t0"}));
        QCOMPARE(browser_->windows.at(1).tabs.last().url, QStringLiteral("https://z.example/"));
    }

    void failures()
    {
        QCOMPARE(output("return app.windows[0].tabs[7].url()"),
                 QStringLiteral("page(\"Error: Invalid index. (line 5)\")"));
        // A browser that cannot be reached ends the run even where the program catches everything.
        browser_->goneText = QStringLiteral("the browser runs but its remote debugging is turned off");
        QCOMPARE(output("try { return app.windows.length } catch (e) { return 'caught' }"),
                 QStringLiteral("jsOff(chrome)"));
    }

    // The limit ends even a run that never yields, holds up no other run, and
    // a run still waiting ends with the runner.
    void timeLimit()
    {
        const auto busy = start(body("app.windows(); for (;;) { try { app.windows[0].id() } catch (e) {} }"));
        QTRY_VERIFY(browser_->snapshots > 0);
        const auto quick = start(body("return 'quick'"));
        QTRY_VERIFY(quick->done);
        QCOMPARE(quick->output, QStringLiteral("quick"));
        scheduler_.advance(29.9);
        QVERIFY(!busy->done);
        scheduler_.advance(0.1);
        QTRY_VERIFY(busy->done);
        QCOMPARE(busy->error->rendered(), QStringLiteral("timedOut(chrome)"));
        QCOMPARE(runner_->runsInFlight(), 0);

        browser_->realDelays = true;
        const int snapshots = browser_->snapshots;
        const auto slow = start(body("app.windows(); delay(3600); return 'slow'"));
        QTRY_VERIFY(browser_->snapshots > snapshots);
        runner_.reset(); // waits for the worker
        QTRY_VERIFY(slow->done);
    }
};

QTEST_GUILESS_MAIN(TestJxaRunner)
#include "tst_jxarunner.moc"
