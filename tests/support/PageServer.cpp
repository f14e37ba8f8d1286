#include "PageServer.h"

#include <QTcpSocket>

PageServer::PageServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QString PageServer::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port());
}

QUrl PageServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://") + host() + path);
}

void PageServer::serve(QTcpSocket* socket)
{
    // Requests are small GETs; wait for the whole head.
    if (!socket->property("head").isValid()) socket->setProperty("head", QByteArray());
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    if (!head.contains("\r\n\r\n")) return;
    socket->setProperty("head", QByteArray());

    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QString target =
        requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QStringLiteral("/");
    hits_ << target;
    const QString path = target.section(QLatin1Char('?'), 0, 0);
    QByteArray body;
    QByteArray status = "200 OK";
    if (path == QLatin1String("/favicon.ico")) {
        status = "404 Not Found";
    } else {
        body = "<!doctype html><title>" + path.toHtmlEscaped().toUtf8() + "</title><p>" +
               path.toHtmlEscaped().toUtf8() + "</p>";
    }
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) +
                  "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}
