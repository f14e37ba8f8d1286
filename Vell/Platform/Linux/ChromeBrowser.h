// Vell's browser side on Linux, put together: one DevTools link to the
// Chrome-family browser, the browser processes and their launch, the
// permission to drive the browser, the program runner, and the
// BrowserAccess the session controller and the tool modes talk to.
#pragma once

#include "BrowserLauncher.h"
#include "BrowserService.h"
#include "ChromeApps.h"
#include "ChromeAutomation.h"
#include "DevToolsLink.h"
#include "JxaRunner.h"

#include <QStringList>

#include <functional>
#include <memory>

class Scheduler;
class WindowStacking;

class ChromeBrowser {
public:
    struct Options {
        // Searched for the browser's DevTools endpoint before the usual profile dirs.
        QStringList extraUserDataDirs;
        // Front-to-back order of browser windows; none leaves it to the browser.
        std::shared_ptr<WindowStacking> stacking;
        // Whether a browser process runs at all; by default any Chrome-family process of this user.
        std::function<bool()> browserProcessRunning;
        // How a closed browser is started.
        BrowserLauncher launcher;
    };

    // Extra dirs from $VELL_CHROME_USER_DATA_DIRS (colon-separated), and the X
    // server's window order when $DISPLAY is set.
    static Options fromEnvironment();

    // `scheduler` outlives this object.
    ChromeBrowser(Scheduler& scheduler, Options options);
    ChromeBrowser(const ChromeBrowser&) = delete;
    ChromeBrowser& operator=(const ChromeBrowser&) = delete;

    BrowserAccess& access() { return service_; }
    BrowserService& service() { return service_; }
    DevToolsLink& link() { return link_; }

private:
    DevToolsLink link_;
    ChromeApps apps_;
    ChromeAutomation automation_;
    JxaRunner runner_;
    BrowserService service_;
};
