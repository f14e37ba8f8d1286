// Installed applications for tests: a fixed set of bundle identifiers, and a
// record of what was asked.
#pragma once

#include "Prefs.h"

#include <QSet>
#include <QStringList>

class FakeInstalledApps final : public InstalledApps {
public:
    FakeInstalledApps(std::initializer_list<QString> installed = {}) : installed(installed) {}
    explicit FakeInstalledApps(const QStringList& installed) : installed(installed.cbegin(), installed.cend())
    {
    }

    bool isInstalled(const QString& bundleIdentifier) const override
    {
        asked << bundleIdentifier;
        return installed.contains(bundleIdentifier);
    }

    QSet<QString> installed;
    mutable QStringList asked;
};
