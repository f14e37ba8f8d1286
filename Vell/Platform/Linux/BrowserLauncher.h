// Starts the Chrome-family browser with a page, detached from Vell. When a
// browser already runs, its own executable is used, which hands the page to
// the running instance.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class BrowserLauncher {
public:
    struct Options {
        // Looked up on PATH in this order when no browser runs.
        QStringList commands = {QStringLiteral("google-chrome"), QStringLiteral("google-chrome-stable"),
                                QStringLiteral("chromium"), QStringLiteral("chromium-browser")};
        std::function<QStringList()> runningExecutables;
        // Starts a detached process; true when it started.
        std::function<bool(const QString& program, const QStringList& arguments)> start;
    };

    BrowserLauncher();
    explicit BrowserLauncher(Options options);

    // What a launch would start; empty when no browser is installed.
    QString program() const;
    // Starts the browser with the URL; false when nothing could be started.
    bool open(const QString& url) const;

private:
    Options options_;
};
