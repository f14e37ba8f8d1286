// Permissions on an X11 desktop. There is no privacy prompt: any client may
// read the screen and see every key, so both count as granted. The microphone
// counts as authorised when the sound server offers a default input; with none
// it is denied, since no prompt could help and the fix is in the sound settings.
#pragma once

#include "Permissions.h"

#include <QStringList>

#include <optional>

class DesktopPermissions final : public PermissionSystem {
public:
    AccessStatus microphoneStatus() const override;
    // No prompt exists; Vell never asks, as the status is never "not determined".
    void requestMicrophone() override {}
    bool screenCaptureAllowed() const override { return true; }
    bool requestScreenCapture() override { return true; }
    bool accessibilityTrusted() const override { return true; }
    void promptAccessibility() override {}
    // Starts the desktop's sound settings for the microphone, detached; for
    // the others there is nothing to open. Logs when nothing is started.
    void openSettings(Permission permission) override;

    // The sound settings command to run: the first installed one of a fixed
    // list, the ones of `currentDesktop` ($XDG_CURRENT_DESKTOP) first. Looks
    // in `searchPath` when given, else in $PATH.
    static std::optional<QStringList> soundSettingsCommand(const QString& currentDesktop,
                                                           const QStringList& searchPath = {});
};
