// Shows one QML view in a window of its own and keeps that window until it
// closes: the onboarding and settings windows each have a host. Showing again
// while the window is open rebuilds the view in the same window.
//
// Windows keep the window manager's decorations even when asked to be
// chromeless: a frameless window cannot be moved or closed on most Linux
// desktops, so "chromeless" only tells the view it is drawn without a header
// of its own (the `chromeless` property of the window).
#pragma once

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>

class QQmlEngine;
class QQuickItem;
class QQuickWindow;

class WindowHost : public QObject {
    Q_OBJECT

public:
    // Views are built in `engine`, which outlives the host.
    explicit WindowHost(QQmlEngine& engine, QObject* parent = nullptr);
    ~WindowHost() override;

    // Creates the window on first use, `size` (logical pixels) centred on the screen under the
    // pointer; an open window keeps its size. Titles it, replaces its content with a new view of
    // `qml` made with `initialProperties`, and brings it to the front, activated.
    void show(const QString& title, QSize size, bool chromeless, const QUrl& qml,
              const QVariantMap& initialProperties = {});
    // Closes the window as the user would.
    void close();
    // The window on screen, or null.
    QQuickWindow* window() const;

    // Runs after the window closed (by the user or `close`) and the host forgot it.
    std::function<void()> onClose;

private:
    void replaceContent(const QUrl& qml, const QVariantMap& initialProperties);
    void closed(QQuickWindow* window);

    QQmlEngine& engine_;
    QPointer<QQuickWindow> window_;
    QPointer<QQuickItem> content_;
};
