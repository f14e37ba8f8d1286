#include "BrowserProcesses.h"

#include <QDir>
#include <QFileInfo>

namespace BrowserProcesses {

bool isBrowserExecutable(const QString& path)
{
    // A binary replaced by an update shows as "chrome (deleted)"; it still runs.
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(" (deleted)"))) name.chop(10);
    static const QStringList names = {
        QStringLiteral("chrome"),
        QStringLiteral("chromium"),
        QStringLiteral("chromium-browser"),
        QStringLiteral("google-chrome"),
        QStringLiteral("google-chrome-stable"),
        QStringLiteral("google-chrome-beta"),
        QStringLiteral("google-chrome-unstable"),
    };
    return names.contains(name);
}

QStringList runningExecutables(const QString& procRoot)
{
    QStringList found;
    const QDir proc(procRoot);
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        entry.toLongLong(&numeric);
        if (!numeric) continue;
        const QString exe = QFileInfo(proc.filePath(entry + QStringLiteral("/exe"))).symLinkTarget();
        if (exe.isEmpty() || !isBrowserExecutable(exe) || found.contains(exe)) continue;
        found << exe;
    }
    return found;
}

bool anyRunning()
{
    return !runningExecutables().isEmpty();
}

} // namespace BrowserProcesses
