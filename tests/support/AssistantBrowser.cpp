#include "AssistantBrowser.h"

#include "CdpConnection.h"

#include <QCoro/QCoroTask>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

namespace {

constexpr int replyLimitMs = 10000;
constexpr int pageLimitMs = 15000;

bool onAssistantSite(const QString& url)
{
    return url.startsWith(QLatin1String("https://claude.ai/")) ||
           url.startsWith(QLatin1String("https://chatgpt.com/"));
}

} // namespace

AssistantBrowser::AssistantBrowser(Scheduler& scheduler) : site_(std::make_unique<FixtureSite>())
{
    if (!site_->isRunning()) {
        error_ = QStringLiteral("fixture site: ") + site_->error();
        return;
    }
    chromium_ = std::make_unique<Chromium>(Chromium::Options{.extraArguments = site_->chromiumArguments()});
    if (!chromium_->isRunning()) {
        error_ = QStringLiteral("Chromium did not start: ") + chromium_->arguments().join(QLatin1Char(' '));
        return;
    }
    Chromium* chromium = chromium_.get();
    vell_ = std::make_unique<ChromeBrowser>(
        scheduler,
        ChromeBrowser::Options{.extraUserDataDirs = {chromium_->userDataDir()},
                               .browserProcessRunning = [chromium] { return chromium->isRunning(); }});
    // The connection Vell keeps; a browser started for tests asks nobody.
    if (QCoro::waitFor(vell_->link().connectToBrowser()) != DevToolsLink::Outcome::open)
        error_ = QStringLiteral("no DevTools connection to the test browser");
}

AssistantBrowser::~AssistantBrowser()
{
    // Vell's side first: its runs and its connection end before the browser does.
    vell_.reset();
    chromium_.reset();
    site_.reset();
}

QJsonObject AssistantBrowser::cdp(const QString& method, const QJsonObject& params, const QString& session)
{
    auto reply = std::make_shared<std::optional<QJsonObject>>();
    vell_->link().send(method, params, session,
                       [reply](const QJsonObject& r, const std::optional<CdpFailure>& f) {
                           *reply = f ? QJsonObject{{QStringLiteral("error"), f->message}} : r;
                       });
    if (!waitUntil([&] { return reply->has_value(); }, replyLimitMs))
        return {{QStringLiteral("error"), QStringLiteral("no reply to ") + method}};
    return **reply;
}

QList<AssistantBrowser::Tab> AssistantBrowser::tabs()
{
    QList<Tab> out;
    const QJsonObject filter{
        {QStringLiteral("filter"), QJsonArray{QJsonObject{{QStringLiteral("type"), "tab"}}}}};
    for (const QJsonValue& v :
         cdp(QStringLiteral("Target.getTargets"), filter).value(QStringLiteral("targetInfos")).toArray()) {
        const QJsonObject info = v.toObject();
        const QJsonObject embedder = info.value(QStringLiteral("embedderData")).toObject();
        const QJsonValue id = info.value(QStringLiteral("targetId"));
        out << Tab{id.toString(),
                   info.value(QStringLiteral("url")).toString(),
                   info.value(QStringLiteral("title")).toString(),
                   embedder.value(QStringLiteral("tabActive")).toBool(),
                   embedder.value(QStringLiteral("tabStripIndex")).toInt(),
                   cdp(QStringLiteral("Browser.getWindowForTarget"), {{QStringLiteral("targetId"), id}})
                       .value(QStringLiteral("windowId"))
                       .toInteger()};
    }
    std::sort(out.begin(), out.end(), [](const Tab& a, const Tab& b) {
        return std::pair(a.window, a.index) < std::pair(b.window, b.index);
    });
    return out;
}

QList<AssistantBrowser::Tab> AssistantBrowser::assistantTabs()
{
    QList<Tab> out = tabs();
    out.removeIf([](const Tab& t) { return !onAssistantSite(t.url); });
    return out;
}

bool AssistantBrowser::openTab(const QString& url)
{
    const QJsonObject params{{QStringLiteral("url"), url}, {QStringLiteral("background"), true}};
    const QString page =
        cdp(QStringLiteral("Target.createTarget"), params).value(QStringLiteral("targetId")).toString();
    if (page.isEmpty()) return false;
    // Loaded means the page's own scripts have run: its document is complete at that address.
    const QString session = cdp(QStringLiteral("Target.attachToTarget"),
                                {{QStringLiteral("targetId"), page}, {QStringLiteral("flatten"), true}})
                                .value(QStringLiteral("sessionId"))
                                .toString();
    if (session.isEmpty()) return false;
    const QJsonObject check{
        {QStringLiteral("expression"), QStringLiteral("document.readyState + ' ' + location.href")},
        {QStringLiteral("returnByValue"), true}};
    const bool loaded = waitUntil(
        [&] {
            return cdp(QStringLiteral("Runtime.evaluate"), check, session)
                       .value(QStringLiteral("result"))
                       .toObject()
                       .value(QStringLiteral("value"))
                       .toString() == QStringLiteral("complete ") + url;
        },
        pageLimitMs, 20);
    cdp(QStringLiteral("Target.detachFromTarget"), {{QStringLiteral("sessionId"), session}});
    return loaded;
}

bool AssistantBrowser::resetTabs()
{
    const QList<Tab> old = tabs();
    if (cdp(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), QStringLiteral("about:blank")}})
            .contains(QStringLiteral("error")))
        return false;
    for (const Tab& t : old)
        cdp(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), t.id}});
    return waitUntil(
        [&] {
            const QList<Tab> now = tabs();
            return now.size() == 1 && now.first().url == QLatin1String("about:blank") && now.first().active;
        },
        pageLimitMs);
}

bool AssistantBrowser::closeAllTabs()
{
    for (const Tab& t : tabs())
        cdp(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), t.id}});
    return waitUntil([&] { return tabs().isEmpty(); }, pageLimitMs);
}

bool AssistantBrowser::waitUntil(const std::function<bool()>& done, int timeoutMs, int intervalMs)
{
    if (done()) return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(intervalMs);
    bool met = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        met = done();
        if (met || deadline.hasExpired()) loop.quit();
    });
    tick.start();
    loop.exec();
    return met;
}
