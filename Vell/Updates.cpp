#include "Updates.h"

#include "VellVersion.h"

namespace Updates {

QString version()
{
    return version(QStringLiteral(VELL_SHORT_VERSION), QStringLiteral(VELL_BUILD_NUMBER));
}

QString version(const QString& shortVersion, const QString& build)
{
    const auto shown = [](const QString& part) { return part.isEmpty() ? QStringLiteral("?") : part; };
    return shown(shortVersion) + QStringLiteral(" (") + shown(build) + QLatin1Char(')');
}

void checkForUpdates() {}

bool automaticallyDownloads()
{
    return false;
}

void setAutomaticallyDownloads(bool) {}

} // namespace Updates
