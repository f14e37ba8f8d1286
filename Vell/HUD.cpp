#include "HUD.h"

#include "HUDImageProvider.h"
#include "HUDItems.h"
#include "HUDViewModel.h"
#include "X11DesktopWatch.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>

namespace {

// Where the shadow of a translucent surface reaches beyond the surface.
constexpr qreal shadowReach = 16;

void collectSurfaces(const QQuickItem* item, qreal opacity, bool withShadow, QRegion& region)
{
    if (!item->isVisible()) return;
    opacity *= item->opacity();
    if (opacity <= 0.01) return;
    if (item->property("vellGlass").toBool() && item->width() > 0 && item->height() > 0) {
        const QRectF local(0, 0, item->width(), item->height());
        QRectF rect = item->mapRectToScene(local);
        qreal radius = item->property("radius").toReal() * rect.width() / local.width();
        if (withShadow) {
            rect.adjust(-shadowReach, -shadowReach / 2, shadowReach, shadowReach * 1.5);
            radius += shadowReach;
        }
        QPainterPath path;
        path.addRoundedRect(rect, radius, radius);
        region += QRegion(path.toFillPolygon().toPolygon());
    }
    for (const QQuickItem* child : item->childItems())
        collectSurfaces(child, opacity, withShadow, region);
}

} // namespace

HUDController::HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                             QStringList arguments, QObject* parent)
    : HUDController(model, std::move(actions), prefs, theme, std::move(arguments),
                    std::make_unique<MainScheduler>(), nullptr, X11DesktopWatch::forApplication(), parent)
{
}

HUDController::HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                             QStringList arguments, Scheduler& scheduler,
                             std::unique_ptr<DesktopWatch> desktop, QObject* parent)
    : HUDController(model, std::move(actions), prefs, theme, std::move(arguments), nullptr, &scheduler,
                    std::move(desktop), parent)
{
}

HUDController::HUDController(SessionModel& model, HUDActions actions, const Prefs& prefs, Theme& theme,
                             QStringList arguments, std::unique_ptr<Scheduler> ownScheduler,
                             Scheduler* scheduler, std::unique_ptr<DesktopWatch> desktop, QObject* parent)
    : QObject(parent), ownScheduler_(std::move(ownScheduler)),
      scheduler_(scheduler ? *scheduler : *ownScheduler_), desktop_(std::move(desktop))
{
    view_ = new HUDViewModel(model, std::move(actions), scheduler_, TriggerKeys::symbol(prefs.trigger()),
                             arguments, this);

    connect(&prefs, &Prefs::triggerChanged, view_,
            [this, &prefs] { view_->setTriggerSymbol(TriggerKeys::symbol(prefs.trigger())); });

    window_ = std::make_unique<QQuickView>();
    window_->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                      Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint);
    QSurfaceFormat format = window_->format();
    format.setAlphaBufferSize(8);
    window_->setFormat(format);
    window_->setColor(Qt::transparent);
    window_->setResizeMode(QQuickView::SizeRootObjectToView);
    window_->resize(panelWidth, panelHeight);
    window_->engine()->addImageProvider(QLatin1String(HUDItems::imageProvider), new HUDImageProvider(model));
    window_->rootContext()->setContextProperty(QStringLiteral("hud"), view_);
    window_->rootContext()->setContextProperty(QStringLiteral("theme"), &theme);
    window_->setSource(QUrl(QStringLiteral("qrc:/qml/HUDView.qml")));
    connect(window_.get(), &QQuickWindow::afterAnimating, this, &HUDController::updateShape);

    presence_ = std::make_unique<PanelPresence>(
        scheduler_, PanelPresence::Panel{
                        [this] { place(); },
                        [this] { window_->hide(); },
                        [this](double opacity, Scheduler::Duration d) { fadeTo(opacity, d); },
                    });
    if (desktop_) desktop_->onDesktopChange = [this] { presence_->desktopChanged(); };
}

HUDController::~HUDController()
{
    presence_.reset();
    window_.reset();
}

QQuickWindow* HUDController::panel() const
{
    return window_.get();
}

void HUDController::show()
{
    // Checked on every show, so a compositor started or stopped since is followed.
    compositing_ = !desktop_ || desktop_->compositorRunning();
    view_->setTranslucent(compositing_);
    presence_->show();
}

void HUDController::hide()
{
    presence_->hide();
}

void HUDController::place()
{
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return; // nowhere to show it
    const QRect area = screen->availableGeometry();
    const int x = area.x() + area.width() / 2 - panelWidth / 2;
    const int y = area.y() + area.height() - bottomGap - panelHeight;
    window_->setScreen(screen);
    window_->setPosition(x, y);
    updateShape();
    if (!window_->isVisible()) window_->show();
    window_->raise();
}

void HUDController::fadeTo(double opacity, Scheduler::Duration duration)
{
    QQuickItem* root = window_->rootObject();
    if (!root) return;
    if (fade_) fade_->stop();
    // Without a compositor a fading surface would darken toward black, not the desktop.
    if (!compositing_) {
        root->setOpacity(opacity);
        return;
    }
    auto* animation = new QPropertyAnimation(root, "opacity", this);
    animation->setDuration(int(duration.count()));
    animation->setEndValue(opacity);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    fade_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QRegion HUDController::visibleSurfaces() const
{
    QRegion region;
    if (QQuickItem* root = window_->rootObject()) {
        // The panel's own fade is left out: the shape holds until the panel goes off screen.
        for (const QQuickItem* child : root->childItems())
            collectSurfaces(child, 1.0, compositing_, region);
    }
    // An empty mask would mean no mask at all: keep a single pixel instead.
    if (region.isEmpty()) region = QRegion(0, 0, 1, 1);
    return region;
}

void HUDController::updateShape()
{
    // Clicks outside the surfaces reach the windows below, and without a
    // compositor no black rectangle covers the desktop.
    const QRegion shape = visibleSurfaces();
    if (shape == shape_) return;
    shape_ = shape;
    window_->setMask(shape);
}
