// Which browser window is in front. The DevTools protocol has no notion of
// window order; the window system does.
#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

struct BrowserWindowInfo {
    qint64 id = 0;
    QRect bounds;           // as the browser reports them
    QString activeTabTitle; // the window system's title starts with it
};

class WindowStacking {
public:
    virtual ~WindowStacking() = default;
    // The ids front to back, for the windows it could place (the rest follow
    // in the caller's order); none when the window system cannot tell.
    // Called from worker threads.
    virtual std::optional<QList<qint64>> frontToBack(const QList<BrowserWindowInfo>& windows) = 0;
};
