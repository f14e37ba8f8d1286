#include "AppLife.h"

#include "Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

AppLife::AppLife(QString autostartEntry, QString executable, Starter start, std::function<void()> quit)
    : entry_(std::move(autostartEntry)), executable_(std::move(executable)), start_(std::move(start)),
      quit_(std::move(quit))
{
}

QString AppLife::defaultAutostartEntry()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/vell.desktop");
}

AppLife AppLife::forThisProcess()
{
    return AppLife(
        defaultAutostartEntry(), QCoreApplication::applicationFilePath(),
        [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        },
        [] { QCoreApplication::quit(); });
}

bool AppLife::launchAtLogin() const
{
    QFile file(entry_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inEntryGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntryGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inEntryGroup || equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true")) return false;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false"))
            return false;
    }
    return true;
}

void AppLife::setLaunchAtLogin(bool on)
{
    if (!on) {
        QFile file(entry_);
        if (file.exists() && !file.remove())
            Log::write(
                QStringLiteral("launch at login: cannot remove %1: %2").arg(entry_, file.errorString()));
        return;
    }
    const QString dir = QFileInfo(entry_).absolutePath();
    if (!QDir().mkpath(dir)) {
        Log::write(QStringLiteral("launch at login: cannot create %1").arg(dir));
        return;
    }
    // Written whole or not at all: a half-written entry would start something odd at login.
    QSaveFile file(entry_);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntryText(executable_)) < 0 || !file.commit())
        Log::write(QStringLiteral("launch at login: cannot write %1: %2").arg(entry_, file.errorString()));
}

void AppLife::relaunch()
{
    const bool started =
        start_ && start_(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), relaunchCommand(executable_)});
    if (!started) Log::write(QStringLiteral("launch: relaunch shell did not start"));
    if (quit_) quit_();
}

QString AppLife::shellQuoted(const QString& text)
{
    // Inside single quotes the shell takes everything literally except the quote itself,
    // which is closed, escaped and reopened.
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString AppLife::relaunchCommand(const QString& executable)
{
    return QStringLiteral("sleep 0.6; exec ") + shellQuoted(executable);
}

QString AppLife::execQuoted(const QString& path)
{
    // Desktop entry Exec rules: an argument in double quotes escapes " ` $ \ with a
    // backslash; the value as a whole is then a string whose own escapes apply first when
    // read, so every backslash doubles again; and % starts a field code unless doubled.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');

    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            value += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            value += QLatin1String("\\r");
        else if (c == QLatin1Char('%'))
            value += QLatin1String("%%");
        else
            value += c;
    }
    return value;
}

QByteArray AppLife::autostartEntryText(const QString& executable)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vell\n"
                          "Comment=Ask a chat assistant about your screen, out loud\n"
                          "Exec=%1\n"
                          "Icon=vell\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(execQuoted(executable))
        .toUtf8();
}
