#include "DesktopPermissions.h"

#include "Log.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace {

struct SoundSettings {
    QString desktop; // as $XDG_CURRENT_DESKTOP names it; empty: any desktop
    QStringList command;
};

// Desktop panels first (they fit the desktop's look), then the stand-alone mixers.
const QList<SoundSettings>& soundSettings()
{
    static const QList<SoundSettings> list{
        {QStringLiteral("GNOME"), {QStringLiteral("gnome-control-center"), QStringLiteral("sound")}},
        {QStringLiteral("X-Cinnamon"), {QStringLiteral("cinnamon-settings"), QStringLiteral("sound")}},
        {QStringLiteral("KDE"), {QStringLiteral("kcmshell6"), QStringLiteral("kcm_pulseaudio")}},
        {QStringLiteral("KDE"), {QStringLiteral("kcmshell5"), QStringLiteral("kcm_pulseaudio")}},
        {QStringLiteral("MATE"), {QStringLiteral("mate-volume-control")}},
        {QString(), {QStringLiteral("pavucontrol")}},
        {QString(), {QStringLiteral("pwvucontrol")}},
    };
    return list;
}

} // namespace

AccessStatus DesktopPermissions::microphoneStatus() const
{
    return QMediaDevices::defaultAudioInput().isNull() ? AccessStatus::denied : AccessStatus::authorized;
}

std::optional<QStringList> DesktopPermissions::soundSettingsCommand(const QString& currentDesktop,
                                                                    const QStringList& searchPath)
{
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    auto installed = [&](const SoundSettings& s) {
        return !QStandardPaths::findExecutable(s.command.first(), searchPath).isEmpty();
    };
    for (const SoundSettings& s : soundSettings())
        if (!s.desktop.isEmpty() && desktops.contains(s.desktop, Qt::CaseInsensitive) && installed(s))
            return s.command;
    for (const SoundSettings& s : soundSettings())
        if (installed(s)) return s.command;
    return std::nullopt;
}

void DesktopPermissions::openSettings(Permission permission)
{
    if (permission != Permission::microphone) {
        Log::write(QStringLiteral("permissions: no settings to open for ") + Permissions::title(permission));
        return;
    }
    const auto command = soundSettingsCommand(
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("XDG_CURRENT_DESKTOP")));
    if (!command) {
        Log::write(QStringLiteral("permissions: no sound settings installed"));
        return;
    }
    if (!QProcess::startDetached(command->first(), command->mid(1)))
        Log::write(QStringLiteral("permissions: could not start ") + command->join(QLatin1Char(' ')));
}
