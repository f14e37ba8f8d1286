// The three things Vell needs from the system — the microphone, the screen and
// the keyboard everywhere — with the texts the views show for each, how to ask
// for one, and where the user goes when asking no longer helps.
#pragma once

#include "AccessStatus.h"

#include <QList>
#include <QString>

#include <optional>

class Prefs;
class QSettings;

enum class Permission { microphone, screen, accessibility };

// What the desktop says about each permission, and its ways of asking.
// Nothing here may block: requests return at once and the views re-read the
// status on their next render.
class PermissionSystem {
public:
    virtual ~PermissionSystem() = default;

    virtual AccessStatus microphoneStatus() const = 0;
    // Shows the desktop's microphone prompt where it has one; the answer is
    // read later through microphoneStatus().
    virtual void requestMicrophone() = 0;
    virtual bool screenCaptureAllowed() const = 0;
    // Prompts where the desktop can; true when capture is allowed afterwards.
    virtual bool requestScreenCapture() = 0;
    virtual bool accessibilityTrusted() const = 0;
    virtual void promptAccessibility() = 0;
    // Opens the desktop's settings where this permission is turned on.
    virtual void openSettings(Permission permission) = 0;
};

class Permissions {
public:
    // `marks` holds the "asked." marks (the same store as the preferences);
    // `prefs` supplies the trigger key named in the accessibility text.
    Permissions(PermissionSystem& system, QSettings& marks, const Prefs& prefs);

    // Microphone, screen, accessibility: the order they are checked and listed in.
    static QList<Permission> all();
    static QString title(Permission permission);
    // "Privacy_Microphone", ...: names the permission's "asked." mark.
    static QString settingsAnchor(Permission permission);
    // Where the user turns the permission on, e.g. "Sound › Input".
    static QString settingsPath(Permission permission);
    // The line under the title while the permission is not denied.
    QString why(Permission permission) const;
    // The line under the title while it is denied.
    static QString deniedText(Permission permission);
    // "Open Settings" when only the settings can help, else "Grant Access".
    QString actionTitle(Permission permission) const;

    bool granted(Permission permission) const;
    // Asking again would show no prompt: the user has to go to the settings.
    bool denied(Permission permission) const;
    bool asked(Permission permission) const;
    // Asks for the permission, or opens the settings when asking cannot help.
    void request(Permission permission);
    void openSettings(Permission permission);

    // The first permission in check order that is not granted, if any.
    std::optional<Permission> firstMissing() const;
    bool allGranted() const { return !firstMissing(); }

private:
    void markAsked(Permission permission);

    PermissionSystem& system_;
    QSettings& marks_;
    const Prefs& prefs_;
};
