#include "DevToolsEndpoint.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

QUrl DevToolsEndpoint::webSocketUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("ws"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(port);
    url.setPath(path);
    return url;
}

namespace DevToolsEndpoints {

std::optional<DevToolsEndpoint> parse(const QByteArray& contents, const QString& userDataDir)
{
    const QList<QByteArray> lines = contents.split('\n');
    if (lines.size() < 2) return std::nullopt;
    bool ok = false;
    const uint port = lines.at(0).trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) return std::nullopt;
    const QString path = QString::fromUtf8(lines.at(1).trimmed());
    // Only the browser socket: a path that is anything else (or a URL smuggled
    // in) is not something to connect to.
    if (!path.startsWith(QLatin1String("/devtools/browser/")) || path.contains(QLatin1Char('?')) ||
        path.contains(QLatin1Char('#')) || path.contains(QLatin1Char(' ')))
        return std::nullopt;
    return DevToolsEndpoint{userDataDir, static_cast<quint16>(port), path};
}

QStringList defaultUserDataDirs()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QStringList dirs;
    for (const char* name : {"google-chrome", "google-chrome-beta", "google-chrome-unstable", "chromium"})
        dirs << config + QLatin1Char('/') + QLatin1String(name);
    return dirs;
}

QList<DevToolsEndpoint> find(const QStringList& userDataDirs)
{
    QList<DevToolsEndpoint> found;
    for (const QString& dir : userDataDirs) {
        QFile file(QDir(dir).filePath(QStringLiteral("DevToolsActivePort")));
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (auto endpoint = parse(file.read(4096), dir)) found << *endpoint;
    }
    return found;
}

} // namespace DevToolsEndpoints
