// Whether Vell may drive a browser.
#pragma once

#include <QString>

enum class AutomationAccess { granted, denied, notAsked, browserNotRunning };

inline QString caseName(AutomationAccess access)
{
    switch (access) {
    case AutomationAccess::granted: return QStringLiteral("granted");
    case AutomationAccess::denied: return QStringLiteral("denied");
    case AutomationAccess::notAsked: return QStringLiteral("notAsked");
    case AutomationAccess::browserNotRunning: return QStringLiteral("browserNotRunning");
    }
    return {};
}
