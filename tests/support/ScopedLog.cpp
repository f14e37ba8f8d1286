#include "ScopedLog.h"

#include "Log.h"

#include <QFile>

ScopedLog::ScopedLog()
{
    Log::redirect(path());
}

ScopedLog::~ScopedLog()
{
    Log::redirect({});
}

QString ScopedLog::path() const
{
    return dir_.filePath(QStringLiteral("Vell.log"));
}

QStringList ScopedLog::messages() const
{
    QFile f(path());
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList result;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype space = line.indexOf(QLatin1Char(' '));
        result << (space < 0 ? line : line.mid(space + 1));
    }
    return result;
}

QStringList ScopedLog::messagesStartingWith(const QString& prefix) const
{
    QStringList result;
    for (const QString& m : messages())
        if (m.startsWith(prefix)) result << m;
    return result;
}

void ScopedLog::clear()
{
    QFile::remove(path());
}
