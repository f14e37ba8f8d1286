#include "ChromeApps.h"

#include "DevToolsLink.h"

ChromeApps::ChromeApps(DevToolsLink& link, BrowserLauncher launcher)
    : link_(link), launcher_(std::move(launcher))
{
}

bool ChromeApps::isRunning(Browser browser) const
{
    if (browser != Browser::chrome) return false;
    if (link_.isOpen() || link_.handshakePending()) return true;
    if (link_.browserProcessRunning()) return true;
    return link_.listeningEndpointNow().has_value();
}

void ChromeApps::launchInBackground(Browser browser, const QString& url)
{
    if (browser != Browser::chrome) return;
    if (link_.isOpen()) {
        link_.send(QStringLiteral("Target.createTarget"),
                   {{QStringLiteral("url"), url},
                    {QStringLiteral("newWindow"), true},
                    {QStringLiteral("background"), true}},
                   {},
                   [launcher = launcher_, url](const QJsonObject&, const std::optional<CdpFailure>& failure) {
                       if (failure) launcher.open(url);
                   });
        return;
    }
    launcher_.open(url);
}
