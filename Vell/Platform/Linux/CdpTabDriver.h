// The program host's view of the browser, over the DevTools protocol.
//
// Tabs are the browser's "tab" targets: their embedder data give the current
// tab and the tab-strip order, Browser.getWindowForTarget the window. A tab's
// page is reached by attaching to the tab (flattened session) and letting it
// auto-attach its page; both sessions are kept on the link for later runs.
// Window order comes from the window system; without one, from where a
// background tab lands (the browser's last active window).
#pragma once

#include "CdpCaller.h"
#include "TabDriver.h"

#include <QSet>

#include <functional>
#include <memory>

class RunControl;
class WindowStacking;

class CdpTabDriver final : public TabDriver {
public:
    CdpTabDriver(CdpCaller caller, std::shared_ptr<WindowStacking> stacking);

    // Drivers for the runs of a JxaRunner, all over one link.
    static std::function<std::unique_ptr<TabDriver>(const std::shared_ptr<RunControl>&)>
    factory(DevToolsLink& link, std::shared_ptr<WindowStacking> stacking);

    QList<WindowRecord> windows() override;
    std::optional<QJsonValue> evaluate(const QString& tabId, const QString& script) override;
    void navigate(const QString& tabId, const QString& url) override;
    void openTab(const QString& url) override;
    void activate(const QString& tabId) override;
    void delay(std::chrono::milliseconds duration) override;

    // The wrapping every page script gets: a block, so the script's top-level
    // let/const/class stay its own and never collide with an earlier run's,
    // while its completion value is still the block's.
    static QString wrapPageScript(const QString& script);

private:
    QString pageSession(const QString& tabId);
    QString attachPage(const QString& tabId);
    // `listedIds`: every tab the browser listed, those being closed included.
    QList<qint64> frontWindowFirst(const QList<WindowRecord>& windows,
                                   const QHash<qint64, QJsonObject>& bounds, const QSet<QString>& listedIds);
    std::optional<qint64> lastActiveWindowByProbe(const QSet<QString>& listedIds);

    CdpCaller caller_;
    std::shared_ptr<WindowStacking> stacking_;
};
