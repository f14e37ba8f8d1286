// Browser window order from the X server's stacking list
// (_NET_CLIENT_LIST_STACKING): each browser window is matched to an X window
// of a Chrome-family class by its bounds, ties broken by the title.
#pragma once

#include "WindowStacking.h"

#include <QByteArray>

class X11WindowStacking final : public WindowStacking {
public:
    // An empty display name means $DISPLAY.
    explicit X11WindowStacking(QByteArray displayName = {});
    std::optional<QList<qint64>> frontToBack(const QList<BrowserWindowInfo>& windows) override;

    struct XWindow {
        QRect bounds;
        QString title;
        QString wmClass;
    };
    // The matching on its own: `stack` is bottom to top, as the server lists it.
    static std::optional<QList<qint64>> match(const QList<XWindow>& stack,
                                              const QList<BrowserWindowInfo>& windows);

private:
    QByteArray displayName_;
};
