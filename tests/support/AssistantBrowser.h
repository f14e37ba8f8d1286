// The assistant sites as a test sees them: the fixture site, a real headless
// Chromium that reaches it for claude.ai and chatgpt.com, and Vell's own
// browser side (DevTools link, program runner, BrowserService) driving that
// Chromium. One per test class; tabs are set up per case with the helpers.
#pragma once

#include "ChromeBrowser.h"
#include "Chromium.h"
#include "FixtureSite.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class Scheduler;

class AssistantBrowser {
public:
    struct Tab {
        QString id;
        QString url;
        QString title;
        bool active = false;
        int index = 0;
        qint64 window = 0;
    };

    // Starts the site and the browser and connects Vell to it; check ready().
    explicit AssistantBrowser(Scheduler& scheduler);
    ~AssistantBrowser();
    AssistantBrowser(const AssistantBrowser&) = delete;
    AssistantBrowser& operator=(const AssistantBrowser&) = delete;

    bool ready() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    FixtureSite& site() { return *site_; }
    Chromium& chromium() { return *chromium_; }
    ChromeBrowser& vell() { return *vell_; }
    BrowserDriver driver() { return vell_->service().driver(); }

    // One DevTools command over Vell's own connection; {"error": ...} when it failed.
    QJsonObject cdp(const QString& method, const QJsonObject& params = {}, const QString& session = {});
    // Every tab, window by window in tab-strip order.
    QList<Tab> tabs();
    // Tabs whose address is on one of the assistants' sites.
    QList<Tab> assistantTabs();
    // Opens a tab in the background and waits until its page has loaded.
    bool openTab(const QString& url);
    // Leaves one blank, current tab and no other; false when the browser did not follow.
    bool resetTabs();
    // Closes every tab: the browser runs on without a window.
    bool closeAllTabs();

    // Runs the event loop until `done` holds (checked every `intervalMs`) or the time is up. Unlike
    // QTest::qWaitFor it never sleeps on the main thread, which relays every DevTools call of a
    // program run: a sleep there would add to each call and distort what a test or benchmark sees.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs, int intervalMs = 2);

private:
    std::unique_ptr<FixtureSite> site_;
    std::unique_ptr<Chromium> chromium_;
    std::unique_ptr<ChromeBrowser> vell_;
    QString error_;
};
