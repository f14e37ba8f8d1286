// A browser made of plain data that runs the very programs Vell hands to a
// script runner: each run evaluates the program in a fresh QJSEngine whose
// `Application(...)` returns an object shaped like the browser's scripting
// dictionary (windows, tabs, url, title/name, activeTab/currentTab,
// activeTabIndex, Tab, execute/doJavaScript) over the windows below, and
// calls its run(). Changes the program makes (urls set, tabs added, the
// current tab moved) are written back.
#pragma once

#include "SessionModel.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

class ScriptedBrowser {
public:
    struct Tab {
        QString url;
        QString title;
        bool operator==(const Tab&) const = default;
    };
    struct Window {
        QList<Tab> tabs;
        int current = 0;         // index into tabs
        bool unreadable = false; // reading its tabs throws, as for a window being torn down
    };

    explicit ScriptedBrowser(Browser browser = Browser::chrome) : browser(browser) {}

    Browser browser;
    QList<Window> windows;
    // The two bulk reads (all tab URLs, all current-tab URLs) throw.
    bool bulkReadsFail = false;
    // Runs a page script in a tab; the value goes back to the program (an invalid
    // QVariant arrives as undefined). Unset: undefined.
    std::function<QVariant(const Tab&, const QString& code)> page;
    // Seconds passed to delay().
    QList<double> delays;

    // The program's result as the runner prints it. A program that does not
    // parse or throws fails with std::runtime_error carrying the engine's message.
    QString run(const QString& program);
};
