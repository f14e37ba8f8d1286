// Blocking DevTools calls for a run's worker thread. Each call is handed to
// the link on the main thread and the worker waits for the reply, or until
// the run ends (time limit, browser gone), whichever comes first.
#pragma once

#include "CdpConnection.h"

#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class DevToolsLink;
class RunControl;

class CdpCaller {
public:
    struct Request {
        QString method;
        QJsonObject params;
        QString sessionId;
    };
    struct Result {
        QJsonObject value;
        std::optional<CdpFailure> failure;
    };

    CdpCaller(DevToolsLink* link, std::shared_ptr<RunControl> control);

    // Connects unless the link is open; may wait for the user's answer in the
    // browser. Throws BrowserGone when there is no usable connection.
    void connect();
    // Throws TabError on a protocol error, BrowserGone when the connection is gone.
    // `onAbandon` is sent (without waiting) when the run ends while the call is pending.
    QJsonObject call(const QString& method, const QJsonObject& params = {}, const QString& sessionId = {},
                     const std::optional<Request>& onAbandon = std::nullopt);
    // Sends every request at once and waits for all replies; protocol errors stay in the results.
    QList<Result> callAll(const QList<Request>& requests);

    DevToolsLink* link() const { return link_; }
    RunControl& control() const { return *control_; }

private:
    void post(std::function<void(DevToolsLink&)> work);
    // False when the run ended before every reply came.
    bool sendAndWait(const QList<Request>& requests, QList<Result>& results);
    [[noreturn]] void throwEnded() const;

    DevToolsLink* link_;
    std::shared_ptr<RunControl> control_;
    bool connected_ = false;
};

// The texts of the ways a run can fail to reach the browser; ScriptFailure classifies them.
namespace BrowserGoneText {
inline const QString refused = QStringLiteral("the browser refused the remote debugging connection");
inline const QString unreachable = QStringLiteral("no browser with remote debugging is reachable");
inline const QString settingOff = QStringLiteral("the browser runs but its remote debugging is turned off");
inline const QString closed = QStringLiteral("the connection to the browser was closed");
inline const QString runEnded = QStringLiteral("the run was stopped");
} // namespace BrowserGoneText
