#include "CdpTabDriver.h"

#include "DevToolsLink.h"
#include "RunControl.h"
#include "WindowStacking.h"

#include <QJsonArray>

#include <algorithm>
#include <map>

namespace {

const QString tabGone = QStringLiteral("Can't get object.");

QJsonObject tabFilter()
{
    return {
        {QStringLiteral("filter"), QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("tab")}}}}};
}

bool isMissingTarget(const QString& message)
{
    return message.contains(QLatin1String("No target with given id"), Qt::CaseInsensitive) ||
           message.contains(QLatin1String("No tab with given id"), Qt::CaseInsensitive);
}

bool isStaleSession(const QString& message)
{
    return message.contains(QLatin1String("session with given id"), Qt::CaseInsensitive);
}

} // namespace

CdpTabDriver::CdpTabDriver(CdpCaller caller, std::shared_ptr<WindowStacking> stacking)
    : caller_(std::move(caller)), stacking_(std::move(stacking))
{
}

std::function<std::unique_ptr<TabDriver>(const std::shared_ptr<RunControl>&)>
CdpTabDriver::factory(DevToolsLink& link, std::shared_ptr<WindowStacking> stacking)
{
    return
        [link = &link, stacking](const std::shared_ptr<RunControl>& control) -> std::unique_ptr<TabDriver> {
            return std::make_unique<CdpTabDriver>(CdpCaller(link, control), stacking);
        };
}

QString CdpTabDriver::wrapPageScript(const QString& script)
{
    // The line breaks keep a trailing line comment from eating the brace.
    return QStringLiteral("{\n") + script + QStringLiteral("\n}");
}

QList<WindowRecord> CdpTabDriver::windows()
{
    const QJsonArray listed = caller_.call(QStringLiteral("Target.getTargets"), tabFilter())
                                  .value(QStringLiteral("targetInfos"))
                                  .toArray();
    QSet<QString> ids;
    for (const QJsonValue& info : listed)
        ids.insert(info.toObject().value(QStringLiteral("targetId")).toString());
    const QSet<QString> closing = caller_.link()->closingAmong(ids);
    QJsonArray infos;
    for (const QJsonValue& info : listed)
        if (!closing.contains(info.toObject().value(QStringLiteral("targetId")).toString())) infos << info;
    QList<CdpCaller::Request> requests;
    for (const QJsonValue& info : infos)
        requests << CdpCaller::Request{
            QStringLiteral("Browser.getWindowForTarget"),
            {{QStringLiteral("targetId"), info.toObject().value(QStringLiteral("targetId"))}},
            {}};
    const QList<CdpCaller::Result> places = caller_.callAll(requests);

    struct Entry {
        int stripIndex;
        TabRecord tab;
        bool active;
    };
    std::map<qint64, QList<Entry>> byWindow;
    QHash<qint64, QJsonObject> bounds;
    QList<qint64> seenOrder;
    for (int i = 0; i < infos.size(); ++i) {
        // A tab that closed between the two calls is simply not there.
        if (places.at(i).failure) continue;
        const QJsonObject info = infos.at(i).toObject();
        const QJsonObject embedder = info.value(QStringLiteral("embedderData")).toObject();
        const qint64 windowId = places.at(i).value.value(QStringLiteral("windowId")).toInteger();
        if (!byWindow.count(windowId)) seenOrder << windowId;
        bounds.insert(windowId, places.at(i).value.value(QStringLiteral("bounds")).toObject());
        byWindow[windowId] << Entry{embedder.value(QStringLiteral("tabStripIndex")).toInt(1 << 20),
                                    TabRecord{info.value(QStringLiteral("targetId")).toString(),
                                              info.value(QStringLiteral("url")).toString(),
                                              info.value(QStringLiteral("title")).toString()},
                                    embedder.value(QStringLiteral("tabActive")).toBool()};
    }

    QList<WindowRecord> windows;
    for (auto& [id, entries] : byWindow) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.stripIndex < b.stripIndex; });
        WindowRecord window{id, {}, -1};
        for (const Entry& e : entries) {
            if (e.active && window.active < 0) window.active = static_cast<int>(window.tabs.size());
            window.tabs << e.tab;
        }
        windows << window;
    }
    const QList<qint64> order = frontWindowFirst(windows, bounds, ids);
    std::stable_sort(windows.begin(), windows.end(), [&](const WindowRecord& a, const WindowRecord& b) {
        return order.indexOf(a.id) < order.indexOf(b.id);
    });
    return windows;
}

QList<qint64> CdpTabDriver::frontWindowFirst(const QList<WindowRecord>& windows,
                                             const QHash<qint64, QJsonObject>& bounds,
                                             const QSet<QString>& listedIds)
{
    QList<qint64> plain;
    for (const WindowRecord& w : windows)
        plain << w.id;
    QList<qint64> order;
    auto state = [&](qint64 id) { return bounds.value(id).value(QStringLiteral("windowState")).toString(); };
    if (windows.size() >= 2) {
        std::optional<QList<qint64>> stacked;
        if (stacking_) {
            QList<BrowserWindowInfo> infos;
            for (const WindowRecord& w : windows) {
                const QJsonObject b = bounds.value(w.id);
                infos << BrowserWindowInfo{w.id,
                                           QRect(b.value(QStringLiteral("left")).toInt(),
                                                 b.value(QStringLiteral("top")).toInt(),
                                                 b.value(QStringLiteral("width")).toInt(),
                                                 b.value(QStringLiteral("height")).toInt()),
                                           w.active >= 0 ? w.tabs.at(w.active).title : QString()};
            }
            stacked = stacking_->frontToBack(infos);
        }
        if (stacked) {
            order = *stacked;
        } else if (const auto front = lastActiveWindowByProbe(listedIds)) {
            order << *front;
        }
    }
    for (qint64 id : plain)
        if (!order.contains(id)) order << id;
    // Minimised windows go behind every other one.
    std::stable_partition(order.begin(), order.end(),
                          [&](qint64 id) { return state(id) != QLatin1String("minimized"); });
    return order;
}

std::optional<qint64> CdpTabDriver::lastActiveWindowByProbe(const QSet<QString>& listedIds)
{
    // A background tab lands in the browser's last active window: open one,
    // see where it went, close it again. Its tab is the one the tab list did
    // not have before; closing takes the browser a moment, so until it is gone
    // the link keeps it out of everyone's snapshots.
    QSet<QString> known = listedIds;
    QString page;
    try {
        page = caller_
                   .call(QStringLiteral("Target.createTarget"),
                         {{QStringLiteral("url"), QStringLiteral("about:blank")},
                          {QStringLiteral("background"), true}})
                   .value(QStringLiteral("targetId"))
                   .toString();
        const QJsonArray after = caller_.call(QStringLiteral("Target.getTargets"), tabFilter())
                                     .value(QStringLiteral("targetInfos"))
                                     .toArray();
        QStringList fresh;
        for (const QJsonValue& info : after) {
            const QString id = info.toObject().value(QStringLiteral("targetId")).toString();
            if (!known.contains(id)) fresh << id;
        }
        std::optional<qint64> window;
        if (fresh.size() == 1) {
            caller_.link()->markClosing(fresh.first());
            const QJsonObject place = caller_.call(QStringLiteral("Browser.getWindowForTarget"),
                                                   {{QStringLiteral("targetId"), fresh.first()}});
            window = place.value(QStringLiteral("windowId")).toInteger();
        }
        // With another new tab at the same moment the probe cannot be told
        // apart; it is closed all the same, by its page.
        caller_.call(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), page}});
        return window;
    } catch (const TabError&) {
        if (!page.isEmpty()) {
            try {
                caller_.call(QStringLiteral("Target.closeTarget"), {{QStringLiteral("targetId"), page}});
            } catch (const TabError&) {
            }
        }
        return std::nullopt;
    }
}

QString CdpTabDriver::pageSession(const QString& tabId)
{
    DevToolsLink* link = caller_.link();
    const QString tabSession = link->tabSession(tabId);
    if (!tabSession.isEmpty()) {
        const QString page = link->pageSessionUnder(tabSession);
        if (!page.isEmpty()) return page;
        // The page went without a new one being announced: start over.
        link->forgetTabSession(tabId);
        try {
            caller_.call(QStringLiteral("Target.detachFromTarget"),
                         {{QStringLiteral("sessionId"), tabSession}});
        } catch (const TabError&) {
        }
    }
    return attachPage(tabId);
}

QString CdpTabDriver::attachPage(const QString& tabId)
{
    DevToolsLink* link = caller_.link();
    QString tabSession;
    try {
        tabSession = caller_
                         .call(QStringLiteral("Target.attachToTarget"),
                               {{QStringLiteral("targetId"), tabId}, {QStringLiteral("flatten"), true}})
                         .value(QStringLiteral("sessionId"))
                         .toString();
    } catch (const TabError& e) {
        if (isMissingTarget(e.message())) throw TabError(tabGone);
        throw;
    }
    link->rememberTabSession(tabId, tabSession);
    // The browser announces the tab's page (Target.attachedToTarget, which the
    // link records) before it answers this call.
    caller_.call(QStringLiteral("Target.setAutoAttach"),
                 {{QStringLiteral("autoAttach"), true},
                  {QStringLiteral("waitForDebuggerOnStart"), false},
                  {QStringLiteral("flatten"), true}},
                 tabSession);
    const QString page = link->pageSessionUnder(tabSession);
    if (page.isEmpty()) throw TabError(tabGone);
    return page;
}

std::optional<QJsonValue> CdpTabDriver::evaluate(const QString& tabId, const QString& script)
{
    const QJsonObject params{{QStringLiteral("expression"), wrapPageScript(script)},
                             {QStringLiteral("returnByValue"), true},
                             {QStringLiteral("awaitPromise"), true}};
    QJsonObject reply;
    for (int attempt = 0;; ++attempt) {
        const QString session = pageSession(tabId);
        try {
            // A page script stuck in a loop is stopped when the run gives up on it,
            // so the tab stays usable.
            reply =
                caller_.call(QStringLiteral("Runtime.evaluate"), params, session,
                             CdpCaller::Request{QStringLiteral("Runtime.terminateExecution"), {}, session});
            break;
        } catch (const TabError& e) {
            const QString message = e.message();
            if (isStaleSession(message) && attempt == 0) {
                caller_.link()->forgetTabSession(tabId);
                continue;
            }
            if (isStaleSession(message) || isMissingTarget(message)) throw TabError(tabGone);
            // The page is between documents (context destroyed or not there yet):
            // no value, as when the script itself fails.
            return std::nullopt;
        }
    }
    if (reply.contains(QStringLiteral("exceptionDetails"))) return std::nullopt;
    const QJsonObject result = reply.value(QStringLiteral("result")).toObject();
    if (result.contains(QStringLiteral("unserializableValue")))
        return QJsonValue(result.value(QStringLiteral("unserializableValue")).toString());
    const QJsonValue value = result.value(QStringLiteral("value"));
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    return value;
}

void CdpTabDriver::navigate(const QString& tabId, const QString& url)
{
    const QString session = pageSession(tabId);
    const QJsonObject reply =
        caller_.call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}}, session);
    Q_UNUSED(reply); // a navigation that fails shows the browser's error page, as typing the address would
}

void CdpTabDriver::openTab(const QString& url)
{
    caller_.call(QStringLiteral("Target.createTarget"),
                 {{QStringLiteral("url"), url}, {QStringLiteral("background"), true}});
}

void CdpTabDriver::activate(const QString& tabId)
{
    try {
        caller_.call(QStringLiteral("Target.activateTarget"), {{QStringLiteral("targetId"), tabId}});
    } catch (const TabError& e) {
        if (isMissingTarget(e.message())) throw TabError(tabGone);
        throw;
    }
}

void CdpTabDriver::delay(std::chrono::milliseconds duration)
{
    caller_.control().sleepFor(duration);
}
