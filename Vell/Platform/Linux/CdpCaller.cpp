#include "CdpCaller.h"

#include "DevToolsLink.h"
#include "RunControl.h"
#include "TabDriver.h"

#include <QMetaObject>

CdpCaller::CdpCaller(DevToolsLink* link, std::shared_ptr<RunControl> control)
    : link_(link), control_(std::move(control))
{
}

void CdpCaller::post(std::function<void(DevToolsLink&)> work)
{
    // If the link is gone before this runs, Qt drops the call; the run then
    // ends at its time limit or when the runner shuts down.
    QMetaObject::invokeMethod(
        link_, [link = link_, work = std::move(work)] { work(*link); }, Qt::QueuedConnection);
}

void CdpCaller::throwEnded() const
{
    throw BrowserGone(BrowserGoneText::runEnded);
}

void CdpCaller::connect()
{
    if (connected_) return;
    struct Slot {
        bool done = false;
        DevToolsLink::Outcome outcome = DevToolsLink::Outcome::unreachable;
    };
    auto slot = std::make_shared<Slot>();
    auto control = control_;
    post([slot, control](DevToolsLink& link) {
        link.whenConnected([slot, control](DevToolsLink::Outcome outcome) {
            control->update([&] {
                slot->done = true;
                slot->outcome = outcome;
            });
        });
    });
    if (!control_->waitUntil([&] { return slot->done; })) throwEnded();
    switch (slot->outcome) {
    case DevToolsLink::Outcome::open:
        connected_ = true;
        return;
    case DevToolsLink::Outcome::refused:
        throw BrowserGone(BrowserGoneText::refused);
    case DevToolsLink::Outcome::unreachable:
        throw BrowserGone(BrowserGoneText::unreachable);
    case DevToolsLink::Outcome::settingOff:
        throw BrowserGone(BrowserGoneText::settingOff);
    }
}

QJsonObject CdpCaller::call(const QString& method, const QJsonObject& params, const QString& sessionId,
                            const std::optional<Request>& onAbandon)
{
    connect();
    QList<Result> results;
    if (!sendAndWait({Request{method, params, sessionId}}, results)) {
        if (onAbandon) {
            const Request abandon = *onAbandon;
            post([abandon](DevToolsLink& link) {
                link.send(abandon.method, abandon.params, abandon.sessionId, [](auto&&...) {});
            });
        }
        throwEnded();
    }
    const Result& result = results.first();
    if (result.failure) {
        if (result.failure->connectionLost) throw BrowserGone(BrowserGoneText::closed);
        throw TabError(result.failure->message);
    }
    return result.value;
}

QList<CdpCaller::Result> CdpCaller::callAll(const QList<Request>& requests)
{
    connect();
    QList<Result> results;
    if (!sendAndWait(requests, results)) throwEnded();
    for (const Result& r : results)
        if (r.failure && r.failure->connectionLost) throw BrowserGone(BrowserGoneText::closed);
    return results;
}

bool CdpCaller::sendAndWait(const QList<Request>& requests, QList<Result>& results)
{
    struct Slot {
        QList<Result> results;
        int remaining = 0;
    };
    auto slot = std::make_shared<Slot>();
    slot->results.resize(requests.size());
    slot->remaining = static_cast<int>(requests.size());
    auto control = control_;
    post([slot, control, requests](DevToolsLink& link) {
        for (int i = 0; i < requests.size(); ++i) {
            const Request& r = requests.at(i);
            link.send(r.method, r.params, r.sessionId,
                      [slot, control, i](const QJsonObject& value, const std::optional<CdpFailure>& failure) {
                          control->update([&] {
                              slot->results[i] = Result{value, failure};
                              --slot->remaining;
                          });
                      });
        }
    });
    if (!control_->waitUntil([&] { return slot->remaining == 0; })) return false;
    control_->update([&] { results = slot->results; });
    return true;
}
