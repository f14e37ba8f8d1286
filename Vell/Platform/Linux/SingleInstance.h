// One running copy per user. The first copy listens on a private local socket;
// a later plain launch asks it to show its window and steps aside. Tool modes
// run beside a running copy and leave its socket alone.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim { first, deferred };

    // The socket's name; also the request's name in the log.
    static constexpr const char* showName = "com.vell.mac.show";
    // How long a launch waits on a running copy that does not answer (connect, send) and on
    // another launch that is claiming at the same instant.
    static constexpr int peerWaitMs = 1000;
    static constexpr int lockWaitMs = 3000;

    // `socketPath` empty means: no private place for the socket was found; every claim is
    // then first and nothing listens.
    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);

    // Deferred when a running copy took the show request (the caller exits with status 0).
    // First otherwise; then, unless the arguments ask for a tool mode, this copy listens and
    // calls `onShow` on its own thread for every later launch.
    Claim claim(const QStringList& arguments, std::function<void()> onShow);
    bool listening() const { return server_.isListening(); }
    QString socketPath() const { return socketPath_; }

    // "--demo", "--export-art", "--automation-status", "--list-chats" and "--send" run beside a
    // running copy.
    static bool runsBeside(const QStringList& arguments);
    // The tool modes that end when their work is done: they never take the socket, so a launch
    // during their run does not hand its show request to a process about to exit.
    static bool exitsWhenDone(const QStringList& arguments);

    // $XDG_RUNTIME_DIR/com.vell.mac.show, else the same name in a private per-user directory
    // under `tempRoot`; empty when no such directory can be had safely.
    static QString defaultSocketPath();
    static QString socketPathIn(const QString& runtimeDir, const QString& tempRoot);
    // `tempRoot`/vell-<uid>, created 0700, refused when it is a symbolic link, not a directory,
    // or owned by another user; a loose mode of our own directory is tightened.
    static std::optional<QString> privateDirectory(const QString& tempRoot);

private:
    Claim claimUnderLock(bool beside);
    bool askRunningCopyToShow();
    bool runningCopyAnswers();
    void listen();
    void readRequest(class QLocalSocket* socket);

    QString socketPath_;
    QLocalServer server_;
    std::function<void()> onShow_;
};
