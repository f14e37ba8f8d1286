// The real vell executable run as a user runs it, for end-to-end tests and
// measurements: a private home (settings, log, runtime dir), the X display and
// audio it is given, and what can be seen of it from outside: its log, its
// HUD window, its CPU time and memory. The process is stopped by its PID.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>

struct _XDisplay;

class VellApp {
public:
    // `environment` carries DISPLAY, PulseAudio and browser variables; the home is private.
    VellApp(const QString& executable, QProcessEnvironment environment);
    ~VellApp();
    VellApp(const VellApp&) = delete;
    VellApp& operator=(const VellApp&) = delete;

    // A set-up user: onboarded, Chrome, the Claude destination, plus any extra settings.
    void writeSetUpPrefs(const QList<std::pair<QString, QString>>& extra = {});
    bool start(const QStringList& arguments = {});
    void stop();
    qint64 pid() const;
    bool running() const;
    std::optional<int> exitCode() const;

    // Runs another copy with the same home and environment until it ends; its exit code and
    // standard output, or none when it did not end in time.
    std::optional<std::pair<int, QString>> runBeside(const QStringList& arguments, int timeoutMs) const;

    QString home() const { return home_.path(); }
    QString log() const;
    bool waitForLog(const QString& text, int timeoutMs) const;

    // CPU time used so far (user + system), in seconds; resident memory in KiB.
    double cpuSeconds() const;
    qint64 residentKiB() const;

private:
    QString executable_;
    QProcessEnvironment environment_;
    QTemporaryDir home_;
    std::unique_ptr<QProcess> process_;
};

// The X server as the user's hands and eyes: keys pressed with XTest, the
// focused window, and the HUD window of a process.
class XDesk {
public:
    explicit XDesk(const QString& display);
    ~XDesk();
    XDesk(const XDesk&) = delete;
    XDesk& operator=(const XDesk&) = delete;

    bool isOpen() const { return display_ != nullptr; }
    // Presses and releases the key with this keysym name ("Alt_R", "Escape").
    void tap(const char* keysym);
    unsigned long focusedWindow() const;
    // A mapped, unmanaged 800 x 340 top-level window of process `pid`: the HUD.
    bool hudOnScreen(qint64 pid) const;

    // Runs the event loop until `done` holds or the time is up; checks every `intervalMs`.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs, int intervalMs = 5);

private:
    _XDisplay* display_ = nullptr;
};
