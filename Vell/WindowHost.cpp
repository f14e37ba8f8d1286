#include "WindowHost.h"

#include "Log.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

#include <memory>

namespace {

// Centred in the screen's free area, but never with its top or left edge off it.
QRect centredOn(const QScreen& screen, QSize size)
{
    const QRect available = screen.availableGeometry();
    QRect frame(QPoint(), size);
    frame.moveCenter(available.center());
    if (frame.top() < available.top()) frame.moveTop(available.top());
    if (frame.left() < available.left()) frame.moveLeft(available.left());
    return frame;
}

// Tells when a close went through: a view may refuse one (onClosing), and then the window stays.
class HostedWindow : public QQuickWindow {
public:
    std::function<void()> onClosed;

protected:
    bool event(QEvent* event) override
    {
        const bool isClose = event->type() == QEvent::Close;
        const bool handled = QQuickWindow::event(event);
        if (isClose && event->isAccepted() && onClosed) onClosed();
        return handled;
    }
};

} // namespace

WindowHost::WindowHost(QQmlEngine& engine, QObject* parent) : QObject(parent), engine_(engine) {}

WindowHost::~WindowHost()
{
    delete window_.data();
}

void WindowHost::show(const QString& title, QSize size, bool chromeless, const QUrl& qml,
                      const QVariantMap& initialProperties)
{
    if (!window_) {
        auto* window = new HostedWindow;
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) {
            window->setScreen(screen);
            window->setGeometry(centredOn(*screen, size));
        } else {
            window->resize(size);
        }
        window->onClosed = [this, window] { closed(window); };
        window_ = window;
    }
    window_->setTitle(title);
    window_->setProperty("chromeless", chromeless);
    replaceContent(qml, initialProperties);
    window_->show();
    window_->raise();
    window_->requestActivate();
}

QQuickWindow* WindowHost::window() const
{
    return window_;
}

void WindowHost::close()
{
    if (QQuickWindow* window = window_) {
        window->hide();
        closed(window);
    }
}

void WindowHost::closed(QQuickWindow* window)
{
    if (window != window_) return;
    window_ = nullptr;
    content_ = nullptr;
    // Later: the close may come from the view itself, whose code is still running.
    window->deleteLater();
    if (onClose) onClose();
}

void WindowHost::replaceContent(const QUrl& qml, const QVariantMap& initialProperties)
{
    if (QQuickItem* old = content_) {
        // Later, for the same reason as the window: a view may ask for its own replacement.
        old->setVisible(false);
        old->setParentItem(nullptr);
        old->deleteLater();
        content_ = nullptr;
    }
    QQmlComponent component(&engine_, qml, QQmlComponent::PreferSynchronous);
    // Qt 6.4 crashes when a component that failed to load is asked for an object.
    if (!component.isReady()) {
        Log::write(QStringLiteral("window: cannot show %1: %2").arg(qml.toString(), component.errorString()));
        return;
    }
    std::unique_ptr<QObject> object(component.createWithInitialProperties(initialProperties));
    auto* item = qobject_cast<QQuickItem*>(object.get());
    if (!item) {
        Log::write(
            QStringLiteral("window: cannot show %1: %2")
                .arg(qml.toString(), object ? QStringLiteral("not a visual item") : component.errorString()));
        return;
    }
    object.release();
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    item->setParent(window_);
    // The view fills the window as the window's size changes.
    QQuickItem* root = window_->contentItem();
    item->setParentItem(root);
    item->setSize(root->size());
    connect(root, &QQuickItem::widthChanged, item, [item, root] { item->setWidth(root->width()); });
    connect(root, &QQuickItem::heightChanged, item, [item, root] { item->setHeight(root->height()); });
    content_ = item;
}
