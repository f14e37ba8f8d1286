#include "DevToolsLink.h"

#include "BrowserProcesses.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <coroutine>

namespace {

constexpr std::chrono::milliseconds probeTimeout{1000};

// Whether something accepts TCP connections on the loopback port: `done`
// runs once, on `context`'s thread, when it connects, is refused or times out.
// Opening a TCP connection without the WebSocket upgrade shows the user nothing.
void probePort(QObject* context, quint16 port, std::function<void(bool)> done)
{
    auto* socket = new QTcpSocket(context);
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    auto settle = [socket, timer, done = std::move(done)](bool listening) {
        socket->disconnect();
        timer->disconnect();
        timer->stop();
        socket->abort();
        socket->deleteLater();
        done(listening);
    };
    QObject::connect(socket, &QTcpSocket::connected, context, [settle] { settle(true); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, context, [settle] { settle(false); });
    QObject::connect(timer, &QTimer::timeout, context, [settle] { settle(false); });
    timer->start(probeTimeout);
    socket->connectToHost(QHostAddress::LocalHost, port);
}

// co_await PortProbe{context, port}: probePort for coroutines.
struct PortProbe {
    struct State {
        bool done = false;
        bool listening = false;
        bool suspended = false;
        std::coroutine_handle<> handle;
    };
    QObject* context;
    quint16 port;
    std::shared_ptr<State> state = std::make_shared<State>();

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> handle)
    {
        state->handle = handle;
        probePort(context, port, [state = state](bool listening) {
            state->listening = listening;
            state->done = true;
            if (state->suspended) state->handle.resume();
        });
        if (state->done) return false;
        state->suspended = true;
        return true;
    }
    bool await_resume() const noexcept { return state->listening; }
};

} // namespace

QString caseName(DevToolsLink::Outcome outcome)
{
    switch (outcome) {
    case DevToolsLink::Outcome::open:
        return QStringLiteral("open");
    case DevToolsLink::Outcome::refused:
        return QStringLiteral("refused");
    case DevToolsLink::Outcome::unreachable:
        return QStringLiteral("unreachable");
    case DevToolsLink::Outcome::settingOff:
        return QStringLiteral("settingOff");
    }
    return {};
}

DevToolsLink::DevToolsLink(Options options, QObject* parent) : QObject(parent), options_(std::move(options))
{
    if (!options_.browserProcessRunning) options_.browserProcessRunning = &BrowserProcesses::anyRunning;
}

DevToolsLink::~DevToolsLink()
{
    delete connection_;
    connection_ = nullptr;
    // Whoever still waits learns that nothing will come.
    for (auto& done : std::exchange(waiters_, {}))
        done(Outcome::unreachable);
}

bool DevToolsLink::browserProcessRunning() const
{
    return options_.browserProcessRunning();
}

QCoro::Task<std::optional<DevToolsEndpoint>> DevToolsLink::listeningEndpoint()
{
    const QList<DevToolsEndpoint> endpoints = DevToolsEndpoints::find(options_.userDataDirs);
    for (const DevToolsEndpoint& endpoint : endpoints) {
        if (refusedKeys_.contains(endpoint.key())) continue;
        const bool listening = co_await PortProbe{this, endpoint.port};
        if (listening) co_return endpoint;
    }
    co_return std::nullopt;
}

std::optional<DevToolsEndpoint> DevToolsLink::listeningEndpointNow(int timeoutMs) const
{
    for (const DevToolsEndpoint& endpoint : DevToolsEndpoints::find(options_.userDataDirs)) {
        if (refusedKeys_.contains(endpoint.key())) continue;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, endpoint.port);
        const bool listening = socket.waitForConnected(timeoutMs);
        socket.abort();
        if (listening) return endpoint;
    }
    return std::nullopt;
}

bool DevToolsLink::refused() const
{
    const QList<DevToolsEndpoint> endpoints = DevToolsEndpoints::find(options_.userDataDirs);
    return !endpoints.isEmpty() && refusedKeys_.contains(endpoints.first().key());
}

void DevToolsLink::whenConnected(std::function<void(Outcome)> done)
{
    if (state_ == State::open) {
        done(Outcome::open);
        return;
    }
    waiters_.push_back(std::move(done));
    if (state_ == State::idle) {
        setState(State::connecting, false);
        // Deferred, so that `done` never runs inside this call.
        QTimer::singleShot(0, this, &DevToolsLink::startAttempt);
    }
}

QCoro::Task<DevToolsLink::Outcome> DevToolsLink::connectToBrowser()
{
    struct Awaiter {
        DevToolsLink* link;
        Outcome outcome = Outcome::open;
        bool await_ready() const noexcept { return link->isOpen(); }
        void await_suspend(std::coroutine_handle<> handle)
        {
            link->whenConnected([this, handle](Outcome o) {
                outcome = o;
                handle.resume();
            });
        }
        Outcome await_resume() const noexcept { return outcome; }
    };
    co_return co_await Awaiter{this};
}

void DevToolsLink::startAttempt()
{
    candidates_ = DevToolsEndpoints::find(options_.userDataDirs);
    sawRefusal_ = false;
    tryNext();
}

void DevToolsLink::tryNext()
{
    while (!candidates_.isEmpty() && refusedKeys_.contains(candidates_.first().key())) {
        candidates_.removeFirst();
        sawRefusal_ = true;
    }
    if (candidates_.isEmpty()) {
        if (sawRefusal_)
            finish(Outcome::refused);
        else
            finish(browserProcessRunning() ? Outcome::settingOff : Outcome::unreachable);
        return;
    }
    const DevToolsEndpoint endpoint = candidates_.takeFirst();
    // A stale file names a port nobody listens on; find that out before the
    // WebSocket upgrade, which is what makes the browser ask the user.
    probePort(this, endpoint.port, [this, endpoint](bool listening) {
        if (listening)
            openWebSocket(endpoint);
        else
            tryNext();
    });
}

void DevToolsLink::openWebSocket(const DevToolsEndpoint& endpoint)
{
    auto* connection = new CdpConnection(endpoint.webSocketUrl(), this);
    connection_ = connection;
    setState(State::connecting, true);
    connect(connection, &CdpConnection::handshakeDone, this, [this, connection, endpoint](bool open) {
        if (open) {
            finish(Outcome::open);
            return;
        }
        // The port took the TCP connection but the upgrade was turned down or
        // dropped: the user said no (or closed the browser while asked).
        connection_ = nullptr;
        connection->deleteLater();
        refusedKeys_.insert(endpoint.key());
        finish(Outcome::refused);
    });
    connect(connection, &CdpConnection::closed, this, [this, connection] {
        if (connection_ != connection) return;
        dropConnection();
        setState(State::idle, false);
    });
    connect(connection, &CdpConnection::event, this, &DevToolsLink::onEvent);
}

void DevToolsLink::finish(Outcome outcome)
{
    setState(outcome == Outcome::open ? State::open : State::idle, false);
    for (auto& done : std::exchange(waiters_, {}))
        done(outcome);
}

void DevToolsLink::send(const QString& method, const QJsonObject& params, const QString& sessionId,
                        CdpConnection::Reply reply)
{
    if (state_ != State::open || !connection_) {
        reply({}, CdpFailure{QStringLiteral("not connected to the browser"), 0, true});
        return;
    }
    connection_->send(method, params, sessionId, std::move(reply));
}

void DevToolsLink::reset()
{
    refusedKeys_.clear();
    if (state_ == State::connecting) {
        // An attempt in flight: the waiters still get its answer.
        return;
    }
    dropConnection();
    setState(State::idle, false);
}

void DevToolsLink::dropConnection()
{
    {
        std::lock_guard lock(sessionsMutex_);
        tabSessions_.clear();
        pageSessions_.clear();
    }
    if (!connection_) return;
    CdpConnection* connection = std::exchange(connection_, nullptr);
    connection->disconnect(this);
    connection->deleteLater(); // its destructor fails the pending calls
}

void DevToolsLink::setState(State state, bool handshakePending)
{
    if (state_ == state && handshakePending_ == handshakePending) return;
    state_ = state;
    handshakePending_ = handshakePending;
    Q_EMIT stateChanged();
}

void DevToolsLink::onEvent(const QString& method, const QJsonObject& params, const QString& sessionId)
{
    if (method == QLatin1String("Target.attachedToTarget")) {
        // A page showing up under an attached tab (auto-attach), also after
        // a navigation swapped the page for a new one.
        const QJsonObject info = params.value(QStringLiteral("targetInfo")).toObject();
        if (sessionId.isEmpty() || info.value(QStringLiteral("type")).toString() != QLatin1String("page"))
            return;
        std::lock_guard lock(sessionsMutex_);
        pageSessions_.insert(sessionId, params.value(QStringLiteral("sessionId")).toString());
    } else if (method == QLatin1String("Target.detachedFromTarget")) {
        const QString gone = params.value(QStringLiteral("sessionId")).toString();
        std::lock_guard lock(sessionsMutex_);
        for (auto it = pageSessions_.begin(); it != pageSessions_.end();) {
            if (it.key() == gone || it.value() == gone)
                it = pageSessions_.erase(it);
            else
                ++it;
        }
        for (auto it = tabSessions_.begin(); it != tabSessions_.end();) {
            if (it.value() == gone)
                it = tabSessions_.erase(it);
            else
                ++it;
        }
    }
}

QString DevToolsLink::tabSession(const QString& tabTargetId) const
{
    std::lock_guard lock(sessionsMutex_);
    return tabSessions_.value(tabTargetId);
}

void DevToolsLink::rememberTabSession(const QString& tabTargetId, const QString& sessionId)
{
    std::lock_guard lock(sessionsMutex_);
    tabSessions_.insert(tabTargetId, sessionId);
}

QString DevToolsLink::pageSessionUnder(const QString& tabSessionId) const
{
    std::lock_guard lock(sessionsMutex_);
    return pageSessions_.value(tabSessionId);
}

void DevToolsLink::forgetTabSession(const QString& tabTargetId)
{
    std::lock_guard lock(sessionsMutex_);
    const QString session = tabSessions_.take(tabTargetId);
    pageSessions_.remove(session);
}

void DevToolsLink::markClosing(const QString& tabTargetId)
{
    std::lock_guard lock(sessionsMutex_);
    closing_.insert(tabTargetId);
}

QSet<QString> DevToolsLink::closingAmong(const QSet<QString>& listed)
{
    std::lock_guard lock(sessionsMutex_);
    closing_.intersect(listed);
    return closing_;
}
