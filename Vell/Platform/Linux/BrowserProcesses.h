// Chrome-family browser processes of this user, found in /proc.
#pragma once

#include <QString>
#include <QStringList>

namespace BrowserProcesses {

// Whether an executable path is a Chrome-family browser binary
// (/opt/google/chrome/chrome, /usr/lib/chromium/chromium, ...).
bool isBrowserExecutable(const QString& path);

// Executables of the running browsers (one entry per distinct path), from
// /proc/<pid>/exe; processes of other users cannot be read and are skipped.
QStringList runningExecutables(const QString& procRoot = QStringLiteral("/proc"));

bool anyRunning();

} // namespace BrowserProcesses
