#include "Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

namespace {

QMutex& lock()
{
    static QMutex mutex;
    return mutex;
}

QString& redirected()
{
    static QString value;
    return value;
}

QString defaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Vell/Vell.log");
}

} // namespace

namespace Log {

QString path()
{
    static const QString computed = defaultPath();
    QMutexLocker guard(&lock());
    return redirected().isEmpty() ? computed : redirected();
}

void redirect(const QString& path)
{
    QMutexLocker guard(&lock());
    redirected() = path;
}

void write(const QString& message)
{
    const QByteArray line = (QDateTime::currentDateTimeUtc().toString(Qt::ISODate) + QLatin1Char(' ') +
                             message + QLatin1Char('\n'))
                                .toUtf8();
    const QString file = path();
    QMutexLocker guard(&lock());
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        // Typically the folder does not exist yet on a fresh account.
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    }
    f.write(line);
    f.close();
}

} // namespace Log
