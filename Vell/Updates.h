// The application's version, and software updates. Linux installs are updated
// by the package manager, so there is no updater: checking does nothing and
// automatic downloads read as off.
#pragma once

#include <QString>

namespace Updates {

// "<short version> (<build>)", for example "0.1.0 (342)".
QString version();
// The same rendering for given parts; an empty part shows as "?".
QString version(const QString& shortVersion, const QString& build);

void checkForUpdates();
bool automaticallyDownloads();
void setAutomaticallyDownloads(bool on);

} // namespace Updates
