// Vell's one link to the Chrome-family browser: finds its DevTools endpoint,
// holds one persistent connection to it and remembers when the user turned a
// connection down. Lives on the main thread; worker threads reach it through
// queued calls (see CdpCaller).
//
// A browser whose remote debugging the user allowed at
// chrome://inspect/#remote-debugging asks "Allow remote debugging?" for every
// new connection and holds the handshake until the user answers. That answer
// is this platform's permission to drive the browser, so the connection is
// kept open once allowed, never opened twice at a time (each attempt would
// stack another dialog), and a refusal is remembered until resetRefusal() or
// until the browser restarts with a new endpoint.
#pragma once

#include "CdpConnection.h"
#include "DevToolsEndpoint.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class DevToolsLink : public QObject {
    Q_OBJECT
public:
    enum class State { idle, connecting, open };
    enum class Outcome {
        open,
        refused,     // the user (or the browser) turned the handshake down
        unreachable, // no browser listens: not running, or the endpoint file is stale
        settingOff,  // a browser runs but offers no endpoint: remote debugging is off
    };

    struct Options {
        // Searched in order; the first endpoint that accepts connections is used.
        QStringList userDataDirs = DevToolsEndpoints::defaultUserDataDirs();
        // Whether a browser process runs at all (tells settingOff from unreachable).
        std::function<bool()> browserProcessRunning;
    };

    explicit DevToolsLink(Options options, QObject* parent = nullptr);
    ~DevToolsLink() override;

    State state() const { return state_; }
    bool isOpen() const { return state_ == State::open; }
    // The WebSocket handshake is waiting: in practice, for the user's answer to the browser's dialog.
    bool handshakePending() const { return state_ == State::connecting && handshakePending_; }
    bool browserProcessRunning() const;

    // An endpoint that accepts TCP connections and was not refused. Opening a
    // TCP connection without the WebSocket upgrade shows the user nothing.
    QCoro::Task<std::optional<DevToolsEndpoint>> listeningEndpoint();
    // The same, waiting at most `timeout` per endpoint, blocking the caller.
    std::optional<DevToolsEndpoint> listeningEndpointNow(int timeoutMs = 250) const;
    // Whether the user refused the connection to the endpoint now on offer.
    bool refused() const;

    // Connects unless a connection is open; attempts made meanwhile share one handshake.
    // `done` runs on this thread, never before the call returns unless the link is open.
    void whenConnected(std::function<void(Outcome)> done);
    QCoro::Task<Outcome> connectToBrowser();

    // Sends over the open connection; fails at once when there is none.
    void send(const QString& method, const QJsonObject& params, const QString& sessionId,
              CdpConnection::Reply reply);

    // Drops the connection and forgets refusals, so the next connection asks the user again.
    void reset();

    // Sessions of attached tabs and of the pages inside them. Readable from any thread.
    QString tabSession(const QString& tabTargetId) const;
    void rememberTabSession(const QString& tabTargetId, const QString& sessionId);
    QString pageSessionUnder(const QString& tabSessionId) const;
    void forgetTabSession(const QString& tabTargetId);
    // Tabs Vell opened for a moment and is closing: closing takes the browser
    // a while, and until then they are not the user's tabs.
    void markClosing(const QString& tabTargetId);
    // Of these tab ids, those still closing; ids the browser no longer lists are forgotten.
    QSet<QString> closingAmong(const QSet<QString>& listed);

Q_SIGNALS:
    void stateChanged();

private:
    void startAttempt();
    void tryNext();
    void openWebSocket(const DevToolsEndpoint& endpoint);
    void finish(Outcome outcome);
    void onEvent(const QString& method, const QJsonObject& params, const QString& sessionId);
    void dropConnection();
    void setState(State state, bool handshakePending);

    Options options_;
    State state_ = State::idle;
    bool handshakePending_ = false;
    CdpConnection* connection_ = nullptr;
    QSet<QString> refusedKeys_;
    QList<DevToolsEndpoint> candidates_;
    bool sawRefusal_ = false;
    std::vector<std::function<void(Outcome)>> waiters_;

    mutable std::mutex sessionsMutex_;
    QHash<QString, QString> tabSessions_;  // tab target id -> session
    QHash<QString, QString> pageSessions_; // tab session -> session of the page inside
    QSet<QString> closing_;
};

QString caseName(DevToolsLink::Outcome outcome);
