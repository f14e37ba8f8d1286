// The tray icon and its menu: how to start a session, which assistant gets
// the message, and the way to setup, settings, the tutorial and quitting. The
// menu is rebuilt each time it opens, so it always shows the current
// preferences and permissions.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class Permissions;
class Prefs;
class QAction;
class QMenu;
class QSystemTrayIcon;
class SessionModel;

class StatusMenu : public QObject {
    Q_OBJECT
public:
    // `openSettings` shows the settings window; `openTutorial` restarts the
    // onboarding. The tray icon is shown at once.
    StatusMenu(SessionModel& model, Prefs& prefs, const Permissions& permissions,
               std::function<void()> openSettings, std::function<void()> openTutorial,
               QObject* parent = nullptr);
    ~StatusMenu() override;

    QMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // Replaces every item with what the current state calls for.
    void rebuild();

private:
    void pickDestination(const QAction* item);
    void onTrayActivated(int reason);

    SessionModel& model_;
    Prefs& prefs_;
    const Permissions& permissions_;
    std::function<void()> openSettings_;
    std::function<void()> openTutorial_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* tray_;
};
