#include "ChromeSettingOpener.h"

#include "Log.h"

ChromeSettingOpener::ChromeSettingOpener(BrowserLauncher launcher) : launcher_(std::move(launcher)) {}

QCoro::Task<bool> ChromeSettingOpener::openSetting(Browser browser)
{
    if (browser != Browser::chrome) {
        Log::write(QStringLiteral("menu opener: ") + Browsers::displayName(browser) +
                   QStringLiteral(" can't be set up on this system"));
        co_return false;
    }
    // The page is for the user to act on, so it opens in front.
    const bool opened = launcher_.open(settingUrl);
    if (opened) Log::write(QStringLiteral("menu opener: opened ") + settingUrl);
    co_return opened;
}
