// Takes the user to the browser setting that lets Vell in (SettingOpener):
// chrome://inspect/#remote-debugging, where "Allow remote debugging for this
// browser instance" is ticked.
#pragma once

#include "BrowserLauncher.h"
#include "BrowserPlatform.h"

class ChromeSettingOpener final : public SettingOpener {
public:
    static inline const QString settingUrl = QStringLiteral("chrome://inspect/#remote-debugging");

    explicit ChromeSettingOpener(BrowserLauncher launcher = BrowserLauncher());
    QCoro::Task<bool> openSetting(Browser browser) override;

private:
    BrowserLauncher launcher_;
};
