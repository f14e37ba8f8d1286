// The application around the session controller on the Linux desktop: the
// HUD panel, the tray menu, the windows, the permission checks, artwork and
// the way the process ends.
#pragma once

#include "ControllerPorts.h"

#include <QObject>
#include <QStringList>

#include <memory>

class CaptureFirst;
class HUDController;
class Permissions;
class Prefs;
class StatusMenu;
class Theme;

class DesktopShell final : public QObject, public AppShell {
    Q_OBJECT
public:
    // All references outlive the shell. With `captureFirst` the HUD is shown and hidden through
    // it, so it can wait for a session's first screenshot.
    DesktopShell(Prefs& prefs, Permissions& permissions, Theme& theme, QStringList arguments,
                 CaptureFirst* captureFirst = nullptr, QObject* parent = nullptr);
    ~DesktopShell() override;

    HudSurface& hud(SessionModel& model, const HUDActions& actions) override;
    void createStatusMenu(SessionModel& model, std::function<void()> openSettings,
                          std::function<void()> openTutorial) override;
    void showOnboarding(std::function<void()> onClose, std::function<void()> finish) override;
    void closeOnboarding() override;
    void showSettings(std::function<void()> replayTutorial) override;
    void closeSettings() override;
    void snapHud(const QString& path) override;
    bool allPermissionsGranted() const override;
    void exportArt(const QString& folder) override;
    void createUpdater() override;
    void exit(int status) override;

    // The HUD once it was made, for measurements and tests.
    HUDController* hudController() const { return hud_.get(); }

private:
    Prefs& prefs_;
    Permissions& permissions_;
    Theme& theme_;
    const QStringList arguments_;
    CaptureFirst* captureFirst_;
    std::unique_ptr<HUDController> hud_;
    HudSurface* hudSurface_ = nullptr;
    std::unique_ptr<StatusMenu> menu_;
};
