// Finding, moving and opening the assistant's tab, and listing its chats,
// with Vell's real browser programs and runner against a real Chromium and
// the fixture assistant sites.
#include "AssistantBrowser.h"
#include "BrowserTab.h"
#include "ScopedLog.h"
#include "StartedTask.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

namespace {

const QString budget = QStringLiteral("https://claude.ai/chat/budget-plan-0001");
const QString trip = QStringLiteral("https://claude.ai/chat/trip-lisbon-0002");
const QString claudeNew = QStringLiteral("https://claude.ai/new");
const QString garden = QStringLiteral("https://chatgpt.com/c/6650aa02-garden");

// Runs a task to its end with the event loop going; false when it did not end in time.
template <typename T> bool finish(const StartedTask<T>& task, int timeoutMs = 60000)
{
    return AssistantBrowser::waitUntil([&] { return task.done(); }, timeoutMs);
}

QStringList titles(const QList<ChatTarget>& chats)
{
    QStringList out;
    for (const ChatTarget& c : chats)
        out << c.title;
    return out;
}

QString shellQuoted(const QString& word)
{
    QString w = word;
    return QLatin1Char('\'') + w.replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

} // namespace

class TestTabOperations : public QObject {
    Q_OBJECT

private:
    MainScheduler scheduler_;
    std::unique_ptr<AssistantBrowser> browser_;

    BrowserTab tab(const QString& host, const QString& prefer = {})
    {
        return BrowserTab(browser_->driver(), Browser::chrome, host, prefer);
    }
    QStringList assistantUrls()
    {
        QStringList urls;
        for (const auto& t : browser_->assistantTabs())
            urls << t.url;
        urls.sort();
        return urls;
    }
    QString activeTab()
    {
        for (const auto& t : browser_->tabs())
            if (t.active) return t.id;
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        browser_ = std::make_unique<AssistantBrowser>(scheduler_);
        QVERIFY2(browser_->ready(), qPrintable(browser_->error()));
    }
    void init()
    {
        QVERIFY(browser_->site().reset());
        QVERIFY(browser_->resetTabs());
    }
    void cleanupTestCase() { browser_.reset(); }

    void ensure_data()
    {
        QTest::addColumn<QStringList>("open");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("after");

        // Slash, query and fragment aside, it is the target.
        QTest::newRow("target already open") << QStringList{budget + "/?model=large#message-4"} << budget
                                             << "found" << QStringList{budget + "/?model=large#message-4"};
        QTest::newRow("other chat moved to target")
            << QStringList{trip} << budget << "found, moved" << QStringList{budget};
        QTest::newRow("opened, other assistant's tab left alone")
            << QStringList{garden} << budget << "opened" << QStringList{garden, budget};
    }
    void ensure()
    {
        QFETCH(QStringList, open);
        QFETCH(QString, target);
        QFETCH(QString, answer);
        QFETCH(QStringList, after);

        for (const QString& url : open)
            QVERIFY2(browser_->openTab(url), qPrintable(url));
        const QString active = activeTab();
        const int tabsBefore = int(browser_->tabs().size());
        ScopedLog log;

        const std::optional<ChatTarget> chat =
            target.isEmpty() ? std::nullopt : std::optional(ChatTarget{QStringLiteral("chat"), target});
        StartedTask<void> task(tab(QStringLiteral("claude.ai"), target).ensure(claudeNew, chat));
        QVERIFY(finish(task));
        QVERIFY2(task.succeeded(), task.error<DeliveryError>()
                                       ? qPrintable(task.error<DeliveryError>()->rendered())
                                       : "failed");

        QCOMPARE(log.messagesStartingWith(QStringLiteral("deliver: ")),
                 QStringList{QStringLiteral("deliver: tab ") + answer + QStringLiteral(" for claude.ai")});
        // An opened tab may still be loading: wait for its address, not for a fixed time.
        QTRY_COMPARE_WITH_TIMEOUT(assistantUrls(), after, 10000);
        QCOMPARE(int(browser_->tabs().size()), tabsBefore + (answer == QLatin1String("opened") ? 1 : 0));
        // Nothing is brought forward: the tab the user was looking at stays current.
        QCOMPARE(activeTab(), active);
    }

    void ensureOpensAWindowWhenTheBrowserHasNone()
    {
        QVERIFY(browser_->closeAllTabs());
        ScopedLog log;
        StartedTask<void> task(
            tab(QStringLiteral("chatgpt.com")).ensure(QStringLiteral("https://chatgpt.com/"), {}));
        QVERIFY(finish(task));
        QVERIFY(task.succeeded());
        QCOMPARE(log.messagesStartingWith(QStringLiteral("deliver: ")),
                 (QStringList{QStringLiteral("deliver: tab nowindow for chatgpt.com"),
                              QStringLiteral("deliver: launched Chrome in background for chatgpt.com")}));
        QCOMPARE(assistantUrls(), QStringList{QStringLiteral("https://chatgpt.com/")});
    }

    void ensureLaunchesAClosedBrowser()
    {
        // A second profile with no browser yet; "launching" starts Chromium on it, with the fixture's flags.
        QTemporaryDir profile;
        QTemporaryDir bin;
        QStringList flags{QStringLiteral("--headless=new"),
                          QStringLiteral("--no-sandbox"),
                          QStringLiteral("--disable-gpu"),
                          QStringLiteral("--disable-quic"),
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-component-update"),
                          QStringLiteral("--disable-sync"),
                          QStringLiteral("--user-data-dir=") + profile.path(),
                          QStringLiteral("--remote-debugging-port=0")};
        flags << browser_->site().chromiumArguments();
        QStringList quoted;
        for (const QString& f : flags)
            quoted << shellQuoted(f);
        const QString wrapper = bin.filePath(QStringLiteral("test-chromium"));
        {
            QFile f(wrapper);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(("#!/bin/sh\nexec chromium " + quoted.join(QLatin1Char(' ')) + " \"$@\"\n").toUtf8());
            f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        qint64 pid = 0;
        const auto alive = [&] { return pid > 0 && ::kill(pid_t(pid), 0) == 0; };
        const auto cleanup = qScopeGuard([&] {
            if (pid <= 0) return;
            const pid_t group = ::getpgid(pid_t(pid));
            if (group > 0) ::kill(-group, SIGKILL);
            ::kill(pid_t(pid), SIGKILL);
            if (!AssistantBrowser::waitUntil([&] { return !alive(); }, 5000))
                qWarning("the launched browser is still running");
        });

        QStringList started;
        ChromeBrowser closed(
            scheduler_,
            ChromeBrowser::Options{.extraUserDataDirs = {profile.path()},
                                   .browserProcessRunning = alive,
                                   .launcher = BrowserLauncher(BrowserLauncher::Options{
                                       .commands = {wrapper},
                                       .runningExecutables = [] { return QStringList(); },
                                       .start =
                                           [&](const QString& program, const QStringList& arguments) {
                                               started << program << arguments;
                                               return QProcess::startDetached(program, arguments, {}, &pid);
                                           }})});

        // Closed: nothing to list, and no program runs.
        QElapsedTimer clock;
        clock.start();
        StartedTask<ChatList> list(closed.access().listChats(Browser::chrome, QStringLiteral("claude.ai"),
                                                             QStringLiteral("/chat/")));
        QVERIFY(finish(list, 5000));
        QCOMPARE(list.value(), ChatList());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));

        ScopedLog log;
        StartedTask<void> task(
            BrowserTab(closed.service().driver(), Browser::chrome, QStringLiteral("claude.ai"), budget)
                .ensure(claudeNew, ChatTarget{QStringLiteral("Budget plan"), budget}));
        QVERIFY(finish(task));
        QVERIFY2(task.succeeded(), task.error<DeliveryError>()
                                       ? qPrintable(task.error<DeliveryError>()->rendered())
                                       : "failed");
        QCOMPARE(started, (QStringList{wrapper, budget}));
        QCOMPARE(log.messagesStartingWith(QStringLiteral("deliver: ")),
                 QStringList{QStringLiteral("deliver: launched Chrome in background for claude.ai")});

        // The launched browser shows the target (once its page has loaded) and Vell lists it.
        const auto listedTabs = [&] {
            StartedTask<ChatList> chats(closed.access().listChats(
                Browser::chrome, QStringLiteral("claude.ai"), QStringLiteral("/chat/")));
            return finish(chats) ? chats.value().tabs() : QList<ChatTarget>();
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            listedTabs(), QList<ChatTarget>{(ChatTarget{QStringLiteral("Budget plan"), budget})}, 15000);
    }

    void listChats_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QJsonObject>("options");
        QTest::addColumn<QStringList>("open");
        QTest::addColumn<QStringList>("tabs");
        QTest::addColumn<QStringList>("recents");
        QTest::addColumn<int>("recentCount");

        const QString claude = QStringLiteral("claude.ai");
        QTest::newRow("ChatGPT tabs and sidebar")
            << QStringLiteral("chatgpt.com") << QJsonObject() << QStringList{garden, budget}
            << QStringList{"Garden & plants"} << QStringList{"Quarterly report", "Garden & plants"} << 2;
        const QString hostile =
            QStringLiteral("<img src=/__pwned?title onerror=\"fetch('/__pwned?onerror')\"> "
                           "\"quoted\" \\ back");
        const QString breakout = QStringLiteral("</script><script>fetch('/__pwned?script')</script>");
        const QJsonArray recents{
            QJsonObject{{"href", "/chat/m1"}, {"html", "<b>Bold</b> &amp; <i>italic</i>"}},
            QJsonObject{{"href", "/chat/m2"}, {"html", hostile.toHtmlEscaped()}, {"title", hostile}},
            QJsonObject{{"href", "/chat/m3"}, {"html", "   spaced \t out  <span>\n</span>"}},
            QJsonObject{{"href", "/chat/m4"}, {"html", breakout.toHtmlEscaped()}},
        };
        QTest::newRow("markup in titles")
            << claude << QJsonObject{{"recents", recents}}
            << QStringList{QStringLiteral("https://claude.ai/chat/m2")} << QStringList{hostile}
            << QStringList{"Bold & italic", hostile, "spaced out", breakout} << 4;
    }
    void listChats()
    {
        QFETCH(QString, host);
        QFETCH(QJsonObject, options);
        QFETCH(QStringList, open);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, recents);
        QFETCH(int, recentCount);

        QVERIFY(browser_->site().configure(host, options));
        for (const QString& url : open)
            QVERIFY2(browser_->openTab(url), qPrintable(url));

        const QString chatPath =
            host == QLatin1String("claude.ai") ? QStringLiteral("/chat/") : QStringLiteral("/c/");
        StartedTask<ChatList> task(browser_->vell().access().listChats(Browser::chrome, host, chatPath));
        QVERIFY(finish(task));
        const ChatList list = task.value();
        QCOMPARE(titles(list.tabs()), tabs);
        QCOMPARE(int(list.recents().size()), recentCount);
        QCOMPARE(titles(list.recents()).mid(0, recents.size()), recents);
        for (const ChatTarget& chat : list.tabs() + list.recents())
            QVERIFY2(chat.url.startsWith(QStringLiteral("https://") + host + chatPath), qPrintable(chat.url));
        QCOMPARE(browser_->site().pwned(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTabOperations)
#include "tst_taboperations.moc"
