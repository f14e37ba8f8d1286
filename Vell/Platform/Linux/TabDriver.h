// The browser as the program host sees it: windows and tabs, page scripts,
// navigation. Called on a run's worker thread; every call may block.
#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>
#include <stdexcept>

struct TabRecord {
    QString id;
    QString url;
    QString title;
};

struct WindowRecord {
    qint64 id = 0;
    QList<TabRecord> tabs; // in tab-strip order
    int active = -1;       // index of the window's current tab
};

// A failure the program sees as a thrown Error and may catch (a closed tab, say).
class TabError : public std::runtime_error {
public:
    explicit TabError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// A failure that ends the run whatever the program does with it: the browser
// cannot be reached, turned the connection down, or went away.
class BrowserGone : public std::runtime_error {
public:
    explicit BrowserGone(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

class TabDriver {
public:
    virtual ~TabDriver() = default;

    // Every window, front to back.
    virtual QList<WindowRecord> windows() = 0;
    // Runs a page script in the tab's page and gives the value of its last
    // expression; none for undefined and null, for a script that threw, and for
    // a page between two documents.
    virtual std::optional<QJsonValue> evaluate(const QString& tabId, const QString& script) = 0;
    virtual void navigate(const QString& tabId, const QString& url) = 0;
    // Adds a tab to the front window without making it the current tab.
    virtual void openTab(const QString& url) = 0;
    // Makes the tab its window's current tab and brings that window to the front.
    virtual void activate(const QString& tabId) = 0;
    // The program's delay(); returns early when the run ends.
    virtual void delay(std::chrono::milliseconds duration) = 0;
};
