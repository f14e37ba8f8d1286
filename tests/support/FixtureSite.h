// The local stand-in for the assistants' web apps (fixture/assistant_site.py):
// an HTTPS server that Chromium reaches for claude.ai and chatgpt.com, whose
// pages can be told to misbehave and which records every message they send.
// The server runs as long as this object; it is stopped by its PID, and it
// also ends by itself when this process goes away.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class FixtureSite {
public:
    struct ArrivedImage {
        QString name;
        QString type;
        QByteArray bytes;
    };
    // One message as the page sent it.
    struct Arrival {
        QString host;
        QString path; // path and query of the page at the moment it sent
        QString text;
        QString via; // "click" or "enter"
        QList<ArrivedImage> images;
    };

    FixtureSite();
    ~FixtureSite();
    FixtureSite(const FixtureSite&) = delete;
    FixtureSite& operator=(const FixtureSite&) = delete;

    bool isRunning() const { return port_ != 0; }
    // Why the server did not start.
    QString error() const { return error_; }
    // The HTTPS port both hosts are mapped to.
    quint16 port() const { return port_; }
    // Base64 SHA-256 of the certificate's public key.
    QString spkiHash() const { return spki_; }
    // Flags that send Chromium here for both hosts and make it trust the certificate.
    QStringList chromiumArguments() const;

    // Page options for a host ("*" for both) from now on; the keys are those of
    // assistant_site.py (editor, upload, fault, boxdelay, uploadms, recents, recentCount).
    bool configure(const QString& host, const QJsonObject& options);
    // Forgets options, arrivals and the request history.
    bool reset();
    // Messages sent so far, oldest first.
    QList<Arrival> arrived() const;
    // Requests for /__pwned…: each one is a hostile value that ran as code somewhere.
    QStringList pwned() const;
    // Page requests seen, as host + path + query.
    QStringList hits() const;

private:
    // Synchronous request to the control listener; the body of a 2xx answer, or none.
    std::optional<QByteArray> control(const QByteArray& verb, const QString& path,
                                      const QByteArray& body = {}) const;
    QJsonObject snapshot() const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> server_;
    quint16 port_ = 0;
    quint16 controlPort_ = 0;
    QString spki_;
    QString error_;
};
