// Test doubles of the browser platform: which browsers run, background
// launches, and the permission to drive them.
#pragma once

#include "BrowserPlatform.h"
#include "VirtualScheduler.h"

#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <utility>

class FakeBrowserApps final : public BrowserApps {
public:
    std::map<Browser, bool> running;
    QList<std::pair<Browser, QString>> launches;
    // Runs on every launch, for browsers that come up (or not) on their own schedule.
    std::function<void(Browser, const QString&)> onLaunch;

    bool isRunning(Browser browser) const override
    {
        const auto it = running.find(browser);
        return it != running.end() && it->second;
    }
    void launchInBackground(Browser browser, const QString& url) override
    {
        launches << std::pair{browser, url};
        if (onLaunch) onLaunch(browser, url);
    }
};

class FakeAutomationBackend final : public AutomationBackend {
public:
    explicit FakeAutomationBackend(VirtualScheduler& scheduler) : scheduler_(scheduler) {}

    // The platform's answer; unset: granted.
    std::function<AutomationAccess(Browser, bool ask)> answer;
    // How long the user takes to answer a prompt (calls with ask).
    Scheduler::Duration promptTime{0};
    QList<std::pair<Browser, bool>> calls;

    QCoro::Task<AutomationAccess> access(Browser browser, bool ask) override
    {
        calls << std::pair{browser, ask};
        const auto answerNow = answer;
        if (ask && promptTime.count() > 0) co_await scheduler_.sleep(promptTime);
        co_return answerNow ? answerNow(browser, ask) : AutomationAccess::granted;
    }
    void resetAnswer() override {}

private:
    VirtualScheduler& scheduler_;
};
