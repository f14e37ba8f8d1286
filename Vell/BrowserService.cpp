#include "BrowserService.h"

#include "Automation.h"
#include "Deliverer.h"

BrowserService::BrowserService(ScriptRunner& runner, BrowserApps& apps, AutomationBackend& automation,
                               Scheduler& scheduler)
    : driver_{runner, apps, scheduler}, automation_(automation)
{
}

QCoro::Task<AutomationAccess> BrowserService::access(Browser browser, bool ask)
{
    return Automation::access(automation_, browser, ask);
}

QCoro::Task<ChatList> BrowserService::listChats(Browser browser, const QString& host, const QString& chatPath)
{
    // The tab's operations keep their own copy, so the temporary may go.
    return BrowserTab(driver_, browser, host).listChats(chatPath);
}

QCoro::Task<void> BrowserService::deliver(const Delivery& delivery)
{
    return Deliverer::run(delivery, driver_, automation_);
}
