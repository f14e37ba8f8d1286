// Everything the session controller does in the browser, put together from
// the browser programs, the delivery procedure and the permission check.
#pragma once

#include "BrowserPlatform.h"
#include "BrowserTab.h"
#include "ControllerPorts.h"
#include "Scheduler.h"
#include "ScriptRunner.h"

class BrowserService final : public BrowserAccess {
public:
    // All four outlive the service.
    BrowserService(ScriptRunner& runner, BrowserApps& apps, AutomationBackend& automation,
                   Scheduler& scheduler);

    QCoro::Task<AutomationAccess> access(Browser browser, bool ask) override;
    QCoro::Task<ChatList> listChats(Browser browser, const QString& host, const QString& chatPath) override;
    QCoro::Task<void> deliver(const Delivery& delivery) override;

    const BrowserDriver& driver() const { return driver_; }
    AutomationBackend& automation() const { return automation_; }

private:
    BrowserDriver driver_;
    AutomationBackend& automation_;
};
