#include "ChromeAutomation.h"

#include "DevToolsLink.h"
#include "Log.h"

ChromeAutomation::ChromeAutomation(DevToolsLink& link) : link_(link) {}

QCoro::Task<AutomationAccess> ChromeAutomation::access(Browser browser, bool ask)
{
    // The answer is logged once, by the caller's Automation::access.
    const AutomationAccess answer = co_await decide(browser, ask);
    co_return answer;
}

QCoro::Task<AutomationAccess> ChromeAutomation::decide(Browser browser, bool ask)
{
    // co_await only as a whole statement: GCC 12 miscompiles it inside conditions.
    if (browser != Browser::chrome) co_return AutomationAccess::browserNotRunning;
    if (link_.isOpen()) co_return AutomationAccess::granted;
    if (link_.refused()) co_return AutomationAccess::denied;
    if (!link_.handshakePending()) {
        const std::optional<DevToolsEndpoint> endpoint = co_await link_.listeningEndpoint();
        if (!endpoint) co_return withoutEndpoint();
    }
    if (!ask) co_return AutomationAccess::notAsked;
    const DevToolsLink::Outcome outcome = co_await link_.connectToBrowser();
    switch (outcome) {
    case DevToolsLink::Outcome::open:
        co_return AutomationAccess::granted;
    case DevToolsLink::Outcome::refused:
        co_return AutomationAccess::denied;
    case DevToolsLink::Outcome::unreachable:
    case DevToolsLink::Outcome::settingOff:
        co_return withoutEndpoint();
    }
    co_return AutomationAccess::denied;
}

AutomationAccess ChromeAutomation::withoutEndpoint() const
{
    return link_.browserProcessRunning() ? AutomationAccess::granted : AutomationAccess::browserNotRunning;
}

void ChromeAutomation::resetAnswer()
{
    link_.reset();
    Log::write(QStringLiteral("automation: reset answer"));
}
