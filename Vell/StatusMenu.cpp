#include "StatusMenu.h"

#include "Appearance.h"
#include "Art/Artwork.h"
#include "Log.h"
#include "Permissions.h"
#include "Prefs.h"
#include "SessionModel.h"
#include "Updates.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

// Menus have no indentation level; leading spaces set the assistants under "Send to".
const QString indent = QStringLiteral("    ");

} // namespace

StatusMenu::StatusMenu(SessionModel& model, Prefs& prefs, const Permissions& permissions,
                       std::function<void()> openSettings, std::function<void()> openTutorial,
                       QObject* parent)
    : QObject(parent), model_(model), prefs_(prefs), permissions_(permissions),
      openSettings_(std::move(openSettings)), openTutorial_(std::move(openTutorial)),
      menu_(std::make_unique<QMenu>()), tray_(new QSystemTrayIcon(this))
{
    connect(menu_.get(), &QMenu::aboutToShow, this, &StatusMenu::rebuild);
    rebuild();

    // A light mark on a dark desktop, a dark one on a light desktop.
    tray_->setIcon(Artwork::trayIcon(Appearance::isDark(QApplication::palette())));
    tray_->setToolTip(QStringLiteral("Vell"));
    tray_->setContextMenu(menu_.get());
    connect(tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { onTrayActivated(reason); });
    // Qt docks the icon as soon as a tray appears, also after start-up.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Log::write(QStringLiteral("menu: no system tray yet; the icon appears when one starts"));
    tray_->show();
}

StatusMenu::~StatusMenu() = default;

void StatusMenu::rebuild()
{
    menu_->clear();

    menu_
        ->addAction(
            QStringLiteral("Tap %1 to start · again to send").arg(TriggerKeys::label(prefs_.trigger())))
        ->setEnabled(false);
    if (!permissions_.allGranted())
        connect(menu_->addAction(QStringLiteral("Finish setup…")), &QAction::triggered, this,
                [this] { openTutorial_(); });
    menu_->addSeparator();

    menu_->addAction(QStringLiteral("Send to"))->setEnabled(false);
    for (const Destination& destination : Destination::all()) {
        QAction* item = menu_->addAction(indent + destination.name);
        item->setData(destination.id);
        item->setCheckable(true);
        item->setChecked(destination.id == prefs_.destinationID());
        connect(item, &QAction::triggered, this, [this, item] { pickDestination(item); });
    }
    menu_->addSeparator();

    QAction* settings = menu_->addAction(QStringLiteral("Settings…"));
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(settings, &QAction::triggered, this, [this] { openSettings_(); });
    connect(menu_->addAction(QStringLiteral("Replay tutorial")), &QAction::triggered, this,
            [this] { openTutorial_(); });
    // Packages are updated by the package manager: there is no updater to ask.
    QAction* updates = menu_->addAction(QStringLiteral("Check for Updates…"));
    updates->setEnabled(false);
    connect(updates, &QAction::triggered, this, [] { Updates::checkForUpdates(); });
    menu_->addSeparator();

    QAction* quit = menu_->addAction(QStringLiteral("Quit Vell"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void StatusMenu::pickDestination(const QAction* item)
{
    const QVariant id = item->data();
    if (id.typeId() != QMetaType::QString) return;
    prefs_.setDestinationID(id.toString());
    model_.setDestination(prefs_.destination());
}

void StatusMenu::onTrayActivated(int reason)
{
    // X11 trays open the context menu only on a right click; a left click
    // opens the same menu here.
    if (reason == QSystemTrayIcon::Trigger && !menu_->isVisible()) menu_->popup(QCursor::pos());
}
