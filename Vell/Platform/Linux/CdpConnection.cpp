#include "CdpConnection.h"

#include <QJsonDocument>

CdpConnection::CdpConnection(const QUrl& url, QObject* parent) : QObject(parent), socket_(QString())
{
    // Whole commands can be megabytes (page scripts carrying images).
    socket_.setMaxAllowedIncomingMessageSize(256 * 1024 * 1024);
    connect(&socket_, &QWebSocket::connected, this, [this] {
        state_ = State::open;
        Q_EMIT handshakeDone(true);
    });
    connect(&socket_, &QWebSocket::textMessageReceived, this, &CdpConnection::onText);
    connect(&socket_, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this](QAbstractSocket::SocketError) {
                if (errorText_.isEmpty()) errorText_ = socket_.errorString();
                // A refused or failed handshake does not always end in `disconnected`.
                if (state_ == State::connecting) onGone();
            });
    connect(&socket_, &QWebSocket::disconnected, this, &CdpConnection::onGone);
    socket_.open(url);
}

CdpConnection::~CdpConnection()
{
    // No signals from a half-destroyed object.
    socket_.disconnect(this);
    failAll(QStringLiteral("the connection to the browser was closed"));
    socket_.abort();
}

void CdpConnection::send(const QString& method, const QJsonObject& params, const QString& sessionId,
                         Reply reply)
{
    if (state_ != State::open) {
        reply({}, CdpFailure{QStringLiteral("not connected to the browser"), 0, true});
        return;
    }
    const qint64 id = nextId_++;
    QJsonObject message{{QStringLiteral("id"), id}, {QStringLiteral("method"), method}};
    if (!params.isEmpty()) message.insert(QStringLiteral("params"), params);
    if (!sessionId.isEmpty()) message.insert(QStringLiteral("sessionId"), sessionId);
    pending_.insert(id, std::move(reply));
    socket_.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void CdpConnection::close()
{
    socket_.close();
}

void CdpConnection::onText(const QString& text)
{
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QJsonValue id = message.value(QStringLiteral("id"));
    if (id.isUndefined()) {
        const QString method = message.value(QStringLiteral("method")).toString();
        if (!method.isEmpty())
            Q_EMIT event(method, message.value(QStringLiteral("params")).toObject(),
                         message.value(QStringLiteral("sessionId")).toString());
        return;
    }
    const Reply reply = pending_.take(id.toInteger());
    if (!reply) return;
    if (message.contains(QStringLiteral("error"))) {
        const QJsonObject error = message.value(QStringLiteral("error")).toObject();
        reply({}, CdpFailure{error.value(QStringLiteral("message")).toString(),
                             error.value(QStringLiteral("code")).toInt(), false});
    } else {
        reply(message.value(QStringLiteral("result")).toObject(), std::nullopt);
    }
}

void CdpConnection::onGone()
{
    const State was = state_;
    if (was == State::closed) return;
    state_ = State::closed;
    if (errorText_.isEmpty()) errorText_ = socket_.closeReason();
    failAll(QStringLiteral("the connection to the browser was closed"));
    if (was == State::connecting)
        Q_EMIT handshakeDone(false);
    else
        Q_EMIT closed();
}

void CdpConnection::failAll(const QString& why)
{
    // Replies may send more commands; take the table first.
    const QHash<qint64, Reply> pending = std::exchange(pending_, {});
    for (const Reply& reply : pending)
        reply({}, CdpFailure{why, 0, true});
}
