// Platform pieces around the browser programs: whether a browser runs, starting
// it in the background, the permission to drive it, and taking the user to the
// browser's own setting.
#pragma once

#include "AutomationAccess.h"
#include "SessionModel.h"

#include <QCoro/QCoroTask>
#include <QString>

class BrowserApps {
public:
    virtual ~BrowserApps() = default;
    virtual bool isRunning(Browser browser) const = 0;
    // Starts the browser with a page without bringing it to the front; errors are ignored.
    virtual void launchInBackground(Browser browser, const QString& url) = 0;
};

class AutomationBackend {
public:
    virtual ~AutomationBackend() = default;
    // With ask false, never shows the user anything.
    virtual QCoro::Task<AutomationAccess> access(Browser browser, bool ask) = 0;
    // Forgets an earlier answer so that the next ask asks again.
    virtual void resetAnswer() = 0;
};

class SettingOpener {
public:
    virtual ~SettingOpener() = default;
    // Takes the user to the browser setting that lets Vell drive its pages; true when it got there.
    virtual QCoro::Task<bool> openSetting(Browser browser) = 0;
};
