#include "DesktopShell.h"

#include "Art/Artwork.h"
#include "CaptureFirst.h"
#include "DemoSnap.h"
#include "HUD.h"
#include "Log.h"
#include "Permissions.h"
#include "StatusMenu.h"
#include "Theme.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

DesktopShell::DesktopShell(Prefs& prefs, Permissions& permissions, Theme& theme, QStringList arguments,
                           CaptureFirst* captureFirst, QObject* parent)
    : QObject(parent), prefs_(prefs), permissions_(permissions), theme_(theme),
      arguments_(std::move(arguments)), captureFirst_(captureFirst)
{
}

DesktopShell::~DesktopShell() = default;

HudSurface& DesktopShell::hud(SessionModel& model, const HUDActions& actions)
{
    if (!hud_) {
        hud_ = std::make_unique<HUDController>(model, actions, prefs_, theme_, arguments_);
        hudSurface_ = captureFirst_ ? &captureFirst_->guard(*hud_) : hud_.get();
    }
    return *hudSurface_;
}

void DesktopShell::createStatusMenu(SessionModel& model, std::function<void()> openSettings,
                                    std::function<void()> openTutorial)
{
    menu_ = std::make_unique<StatusMenu>(model, prefs_, permissions_, std::move(openSettings),
                                         std::move(openTutorial));
}

// The onboarding and settings views are not part of this build yet; saying so
// in the log keeps the menu items and the first-window rule honest.
void DesktopShell::showOnboarding(std::function<void()>, std::function<void()>)
{
    Log::write(QStringLiteral("onboarding window: not available yet"));
}

void DesktopShell::closeOnboarding() {}

void DesktopShell::showSettings(std::function<void()>)
{
    Log::write(QStringLiteral("settings window: not available yet"));
}

void DesktopShell::closeSettings() {}

void DesktopShell::snapHud(const QString& path)
{
    if (!hud_ || !hud_->panel()) {
        Log::write(QStringLiteral("demo snap failed no HUD panel"));
        return;
    }
    DemoSnap::save(*hud_->panel(), path);
}

bool DesktopShell::allPermissionsGranted() const
{
    return permissions_.allGranted();
}

void DesktopShell::exportArt(const QString& folder)
{
    QString error;
    if (!Artwork::exportTo(folder, &error)) {
        Log::write(QStringLiteral("export art failed: ") + error);
        QTextStream(stderr) << "Vell: could not write the artwork: " << error << '\n';
    }
}

// There is no software updater on Linux: packages are updated by the system.
void DesktopShell::createUpdater() {}

void DesktopShell::exit(int status)
{
    // Posted: the controller may ask before the event loop runs, when exit() would be ignored.
    QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
}
