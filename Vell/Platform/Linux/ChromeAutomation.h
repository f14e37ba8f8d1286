// The permission to drive the browser (AutomationBackend). Here it is the
// answer to the browser's "Allow remote debugging?" dialog, which comes with
// every new DevTools connection: granted while an allowed connection is open,
// notAsked while a browser listens but no connection was made, denied once
// the user turned one down. Without asking, nothing is ever connected.
//
// A browser that runs without offering an endpoint has remote debugging off;
// there is nothing to allow then, so access does not stand in the way and
// the first program run reports jsOff (the setting to turn on).
#pragma once

#include "BrowserPlatform.h"

class DevToolsLink;

class ChromeAutomation final : public AutomationBackend {
public:
    explicit ChromeAutomation(DevToolsLink& link);

    QCoro::Task<AutomationAccess> access(Browser browser, bool ask) override;
    // Drops the connection and forgets a refusal: the next ask shows the dialog again.
    void resetAnswer() override;

private:
    QCoro::Task<AutomationAccess> decide(Browser browser, bool ask);
    AutomationAccess withoutEndpoint() const;

    DevToolsLink& link_;
};
