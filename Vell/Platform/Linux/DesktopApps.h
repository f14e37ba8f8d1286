// Installed applications as the desktop sees them: the desktop entries in the
// XDG data directories.
#pragma once

#include "Prefs.h"

#include <QProcessEnvironment>
#include <QStringList>

class DesktopApps final : public InstalledApps {
public:
    // Looks in the directories the current environment names.
    DesktopApps();
    // Looks in these "applications" directories, the one that wins first.
    explicit DesktopApps(QStringList applicationDirs);

    // $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS entry's
    // applications, with the base-directory defaults for unset or empty
    // variables; relative entries are ignored.
    static QStringList applicationDirs(const QProcessEnvironment& env);

    // True when a visible (not Hidden) desktop entry belongs to the application:
    // its desktop id, StartupWMClass or program name is one the application is
    // known by on Linux. An entry hides those of the same id in later directories.
    bool isInstalled(const QString& bundleIdentifier) const override;

private:
    QStringList dirs_;
};
