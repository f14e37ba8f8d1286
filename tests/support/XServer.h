// A private X server for one test: Xvfb on a free display (-displayfd, never
// a fixed number), optionally with a window manager and a compositor. Every
// process is stopped by its PID when the object goes away.
#pragma once

#include <QProcess>
#include <QString>

#include <memory>
#include <vector>

class XServer {
public:
    struct Options {
        int width = 1600;
        int height = 1000;
        bool windowManager = false; // openbox
        bool compositor = false;    // xcompmgr
    };

    XServer() : XServer(Options{}) {}
    explicit XServer(const Options& options);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool isRunning() const { return !display_.isEmpty(); }
    // ":N"
    QString display() const { return display_; }
    // The environment for child processes that should use this display.
    QProcessEnvironment environment() const;
    // Points this process's DISPLAY at the server (for code that opens its own connection).
    void exportDisplay() const;
    // Starts a helper program on this display; it is stopped with the server.
    QProcess* startOnDisplay(const QString& program, const QStringList& arguments);

private:
    QString display_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};
