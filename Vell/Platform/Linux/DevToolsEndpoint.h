// Where a Chrome-family browser listens for DevTools clients. The browser
// writes "DevToolsActivePort" into its user-data dir: the port on the first
// line, the browser socket's path ("/devtools/browser/<id>") on the second.
// The file outlives a crash, so a found endpoint is only a candidate.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

struct DevToolsEndpoint {
    QString userDataDir;
    quint16 port = 0;
    QString path;

    QUrl webSocketUrl() const;
    // Identifies one run of one browser: a restart writes a new port or id.
    QString key() const { return QString::number(port) + path; }
    bool operator==(const DevToolsEndpoint&) const = default;
};

namespace DevToolsEndpoints {

// The contents of a DevToolsActivePort file, or none when it is not one.
std::optional<DevToolsEndpoint> parse(const QByteArray& contents, const QString& userDataDir);

// The user-data dirs of the installed Chrome-family browsers, in the order they
// are tried: ~/.config/google-chrome, -beta, -unstable, then chromium.
QStringList defaultUserDataDirs();

// Endpoints whose file exists in the given dirs, in the dirs' order.
QList<DevToolsEndpoint> find(const QStringList& userDataDirs);

} // namespace DevToolsEndpoints
