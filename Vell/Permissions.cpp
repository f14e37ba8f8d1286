#include "Permissions.h"

#include "Prefs.h"

#include <QSettings>

namespace {

QString markKey(Permission permission)
{
    return QStringLiteral("asked.") + Permissions::settingsAnchor(permission);
}

} // namespace

Permissions::Permissions(PermissionSystem& system, QSettings& marks, const Prefs& prefs)
    : system_(system), marks_(marks), prefs_(prefs)
{
}

QList<Permission> Permissions::all()
{
    return {Permission::microphone, Permission::screen, Permission::accessibility};
}

QString Permissions::title(Permission permission)
{
    switch (permission) {
    case Permission::microphone:
        return QStringLiteral("Microphone");
    case Permission::screen:
        return QStringLiteral("Screen Recording");
    case Permission::accessibility:
        return QStringLiteral("Accessibility");
    }
    return {};
}

QString Permissions::settingsAnchor(Permission permission)
{
    switch (permission) {
    case Permission::microphone:
        return QStringLiteral("Privacy_Microphone");
    case Permission::screen:
        return QStringLiteral("Privacy_ScreenCapture");
    case Permission::accessibility:
        return QStringLiteral("Privacy_Accessibility");
    }
    return {};
}

QString Permissions::settingsPath(Permission permission)
{
    // The microphone is the one a Linux desktop can take away: by having no
    // input device, which its sound settings fix.
    if (permission == Permission::microphone) return QStringLiteral("Sound › Input");
    return QStringLiteral("Privacy & Security › ") + title(permission);
}

QString Permissions::why(Permission permission) const
{
    switch (permission) {
    case Permission::microphone:
        return QStringLiteral("Used to hear your question. Speech is transcribed on your computer.");
    case Permission::screen:
        return QStringLiteral("Used to capture the window you're asking about.");
    case Permission::accessibility:
        return QStringLiteral("Used to detect the %1 shortcut in any app.")
            .arg(TriggerKeys::symbol(prefs_.trigger()));
    }
    return {};
}

QString Permissions::deniedText(Permission permission)
{
    if (permission == Permission::microphone)
        return QStringLiteral("No microphone found. In your desktop's settings, go to ") +
               settingsPath(permission) + QStringLiteral(" and choose one.");
    return QStringLiteral("Turned off. In your desktop's settings, go to ") + settingsPath(permission) +
           QStringLiteral(" and turn on Vell.");
}

QString Permissions::actionTitle(Permission permission) const
{
    return denied(permission) ? QStringLiteral("Open Settings") : QStringLiteral("Grant Access");
}

bool Permissions::granted(Permission permission) const
{
    switch (permission) {
    case Permission::microphone:
        return system_.microphoneStatus() == AccessStatus::authorized;
    case Permission::screen:
        return system_.screenCaptureAllowed();
    case Permission::accessibility:
        return system_.accessibilityTrusted();
    }
    return false;
}

bool Permissions::denied(Permission permission) const
{
    if (permission == Permission::microphone) return system_.microphoneStatus() == AccessStatus::denied;
    // Screen and accessibility prompt only once: after that, a missing
    // permission can only be turned on in the settings.
    return !granted(permission) && asked(permission);
}

bool Permissions::asked(Permission permission) const
{
    return marks_.value(markKey(permission)).toBool();
}

void Permissions::markAsked(Permission permission)
{
    marks_.setValue(markKey(permission), true);
    marks_.sync();
}

void Permissions::request(Permission permission)
{
    if (denied(permission)) {
        openSettings(permission);
        return;
    }
    markAsked(permission);
    switch (permission) {
    case Permission::microphone:
        if (system_.microphoneStatus() == AccessStatus::notDetermined)
            system_.requestMicrophone();
        else
            openSettings(permission); // restricted: no prompt would appear
        break;
    case Permission::screen:
        if (!system_.requestScreenCapture()) openSettings(permission);
        break;
    case Permission::accessibility:
        system_.promptAccessibility();
        break;
    }
}

void Permissions::openSettings(Permission permission)
{
    system_.openSettings(permission);
}

std::optional<Permission> Permissions::firstMissing() const
{
    for (Permission permission : all())
        if (!granted(permission)) return permission;
    return std::nullopt;
}
