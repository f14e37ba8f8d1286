// One WebSocket to a browser's DevTools endpoint. Lives on the main thread.
// Commands are matched to replies by id; events (flattened sessions included)
// are passed on as signals. When the socket goes, every pending call fails.
#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QWebSocket>

#include <functional>
#include <optional>

struct CdpFailure {
    QString message;
    int code = 0;
    bool connectionLost = false;
};

class CdpConnection : public QObject {
    Q_OBJECT
public:
    enum class State { connecting, open, closed };
    using Reply = std::function<void(const QJsonObject& result, const std::optional<CdpFailure>& failure)>;

    // Starts the handshake at once. No Origin header is sent: the browser
    // turns away origins it does not know.
    explicit CdpConnection(const QUrl& url, QObject* parent = nullptr);
    // Fails whatever is still pending.
    ~CdpConnection() override;

    State state() const { return state_; }
    // Why the socket closed or the handshake failed.
    QString errorText() const { return errorText_; }

    // Sends a command, to the browser or (with a session id) to an attached target.
    // `reply` runs exactly once on this thread: with the result, or with the
    // failure (a protocol error, or the connection being gone).
    void send(const QString& method, const QJsonObject& params, const QString& sessionId, Reply reply);
    int pendingCount() const { return static_cast<int>(pending_.size()); }
    void close();

Q_SIGNALS:
    // Once per connection: true when the socket opened, false when it never did.
    void handshakeDone(bool open);
    // After an open connection closed (pending calls have failed by then).
    void closed();
    void event(const QString& method, const QJsonObject& params, const QString& sessionId);

private:
    void onText(const QString& text);
    void onGone();
    void failAll(const QString& why);

    QWebSocket socket_;
    State state_ = State::connecting;
    QString errorText_;
    qint64 nextId_ = 1;
    QHash<qint64, Reply> pending_;
};
