// A tiny HTTP server for browser tests, on a free loopback port. Serves a
// page whose title is the path. Answers on the
// thread that made it, so the test must keep its event loop running
// (QTRY_*, QCoro::waitFor) while a page loads.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

class PageServer : public QObject {
public:
    PageServer();

    bool isListening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    // "127.0.0.1:<port>"
    QString host() const;
    // http://127.0.0.1:<port><path>
    QUrl url(const QString& path) const;
    // Paths requested so far, in order (query included).
    QStringList hits() const { return hits_; }

private:
    void serve(QTcpSocket* socket);

    QTcpServer server_;
    QStringList hits_;
};
