// Finding, moving and opening the assistant's tab, and listing its chats, with the real
// browser programs and runner against a real Chromium and the fixture assistant sites.
#include "AssistantBrowser.h"
#include "BrowserTab.h"
#include "StartedTask.h"

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

    // A browser with no window gets one; a chat opens beside another assistant's tab and moves
    // to another chat. Nothing is brought forward: the user's current tab stays current.
    void ensureOpensAndMoves()
    {
        const QString gptNew = QStringLiteral("https://chatgpt.com/");
        QVERIFY(browser_->closeAllTabs());
        StartedTask<void> first(tab(QStringLiteral("chatgpt.com")).ensure(gptNew, {}));
        QVERIFY(finish(first) && first.succeeded());
        // An opened tab may still be loading: wait for its address, not for a fixed time.
        QTRY_COMPARE_WITH_TIMEOUT(assistantUrls(), QStringList{gptNew}, 10000);
        const QString active = activeTab();
        const auto ensure = [&](const QString& target) {
            StartedTask<void> task(tab(QStringLiteral("claude.ai"), target)
                                       .ensure(claudeNew, ChatTarget{QStringLiteral("chat"), target}));
            return finish(task) && task.succeeded();
        };
        QVERIFY(ensure(budget));
        QTRY_COMPARE_WITH_TIMEOUT(assistantUrls(), (QStringList{gptNew, budget}), 10000);
        QVERIFY(ensure(trip));
        QTRY_COMPARE_WITH_TIMEOUT(assistantUrls(), (QStringList{gptNew, trip}), 10000);
        QCOMPARE(activeTab(), active);
    }

    void ensureLaunchesAClosedBrowser()
    {
        // A second profile with no browser yet; "launching" starts Chromium on it, with the fixture's flags.
        QTemporaryDir profile;
        QStringList flags =
            QStringLiteral("--headless=new --no-sandbox --disable-gpu --disable-quic --no-first-run "
                           "--disable-background-networking --disable-component-update "
                           "--disable-sync --remote-debugging-port=0")
                .split(QLatin1Char(' '));
        flags << QStringLiteral("--user-data-dir=") + profile.path();
        flags << browser_->site().chromiumArguments();
        QStringList quoted;
        for (QString f : flags)
            quoted << "'" + f.replace("'", R"('\'')") + "'";
        const QString wrapper = profile.filePath(QStringLiteral("test-chromium"));
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
            if (const pid_t group = ::getpgid(pid_t(pid)); group > 0) ::kill(-group, SIGKILL);
            ::kill(pid_t(pid), SIGKILL);
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

        StartedTask<void> task(
            BrowserTab(closed.service().driver(), Browser::chrome, QStringLiteral("claude.ai"), budget)
                .ensure(claudeNew, ChatTarget{QStringLiteral("Budget plan"), budget}));
        QVERIFY(finish(task) && task.succeeded());
        QCOMPARE(started, (QStringList{wrapper, budget}));

        // The launched browser shows the target (once its page has loaded) and Vell lists it.
        const auto listedTabs = [&] {
            StartedTask<ChatList> chats(closed.access().listChats(
                Browser::chrome, QStringLiteral("claude.ai"), QStringLiteral("/chat/")));
            return finish(chats) ? chats.value().tabs() : QList<ChatTarget>();
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            listedTabs(), QList<ChatTarget>{(ChatTarget{QStringLiteral("Budget plan"), budget})}, 15000);
    }

    // Titles with markup and hostile text come out as the text the user sees, and run nothing.
    void listChats()
    {
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
        QVERIFY(browser_->site().configure(QStringLiteral("claude.ai"), {{"recents", recents}}));
        QVERIFY(browser_->openTab(QStringLiteral("https://claude.ai/chat/m2")));
        StartedTask<ChatList> task(browser_->vell().access().listChats(
            Browser::chrome, QStringLiteral("claude.ai"), QStringLiteral("/chat/")));
        QVERIFY(finish(task));
        const ChatList list = task.value();
        QCOMPARE(titles(list.tabs()), QStringList{hostile});
        QCOMPARE(titles(list.recents()), (QStringList{"Bold & italic", hostile, "spaced out", breakout}));
        for (const ChatTarget& chat : list.tabs() + list.recents())
            QVERIFY2(chat.url.startsWith(QStringLiteral("https://claude.ai/chat/")), qPrintable(chat.url));
        QCOMPARE(browser_->site().pwned(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTabOperations)
#include "tst_taboperations.moc"
