// Whether the browser runs, and starting it in the background (BrowserApps).
// Only the Chrome family can be driven here; Safari never runs.
#pragma once

#include "BrowserLauncher.h"
#include "BrowserPlatform.h"

class DevToolsLink;

class ChromeApps final : public BrowserApps {
public:
    ChromeApps(DevToolsLink& link, BrowserLauncher launcher = BrowserLauncher());

    // An open connection, a browser process (reachable or not yet), or an
    // endpoint that accepts connections.
    bool isRunning(Browser browser) const override;
    // With a connection, a new background window through it (no focus taken);
    // otherwise the browser's command with the URL.
    void launchInBackground(Browser browser, const QString& url) override;

private:
    DevToolsLink& link_;
    BrowserLauncher launcher_;
};
