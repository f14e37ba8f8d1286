// The floating panel of a session: a frameless, always-on-top window that
// never takes focus, at the bottom centre of the screen under the pointer,
// holding the HUD view.
#pragma once

#include "ControllerPorts.h"
#include "DesktopWatch.h"
#include "PanelPresence.h"
#include "Prefs.h"
#include "Scheduler.h"
#include "SessionModel.h"
#include "Theme.h"

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QStringList>

#include <memory>

class HUDViewModel;
class QPropertyAnimation;
class QQuickView;
class QQuickWindow;

class HUDController : public QObject, public HudSurface {
    Q_OBJECT
public:
    static constexpr int panelWidth = 800;
    static constexpr int panelHeight = 340;
    static constexpr int bottomGap = 14;

    HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                  QStringList arguments, QObject* parent = nullptr);
    // With a scheduler of the caller's and an optional desktop watch (tests).
    HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                  QStringList arguments, Scheduler& scheduler, std::unique_ptr<DesktopWatch> desktop,
                  QObject* parent = nullptr);
    ~HUDController() override;

    void show() override;
    void hide() override;

    QQuickWindow* panel() const;
    HUDViewModel& view() const { return *view_; }
    qint64 generation() const { return presence_->generation(); }

private:
    HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                  QStringList arguments, std::unique_ptr<Scheduler> ownScheduler, Scheduler* scheduler,
                  std::unique_ptr<DesktopWatch> desktop, QObject* parent);
    void place();
    void fadeTo(double opacity, Scheduler::Duration duration);
    void updateShape();
    QRegion visibleSurfaces() const;

    std::unique_ptr<Scheduler> ownScheduler_;
    Scheduler& scheduler_;
    std::unique_ptr<DesktopWatch> desktop_;
    bool compositing_ = true;
    HUDViewModel* view_ = nullptr;
    std::unique_ptr<QQuickView> window_;
    QPointer<QPropertyAnimation> fade_;
    std::unique_ptr<PanelPresence> presence_;
    QRegion shape_;
};
