#include "SingleInstance.h"

#include "Log.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");

bool hasOption(const QStringList& arguments, const char* option)
{
    return arguments.contains(QLatin1String(option));
}

// "--export-art" counts only when a folder follows it; as the last argument it is ignored.
bool exportsArt(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--export-art"));
    return at >= 0 && at + 1 < arguments.size();
}

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath))
{
    // Only this user may connect, whatever the directory allows.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
}

bool SingleInstance::runsBeside(const QStringList& arguments)
{
    return hasOption(arguments, "--demo") || hasOption(arguments, "--export-art") ||
           hasOption(arguments, "--automation-status") || hasOption(arguments, "--list-chats") ||
           hasOption(arguments, "--send");
}

bool SingleInstance::exitsWhenDone(const QStringList& arguments)
{
    return exportsArt(arguments) || hasOption(arguments, "--automation-status") ||
           hasOption(arguments, "--list-chats") || hasOption(arguments, "--send");
}

SingleInstance::Claim SingleInstance::claim(const QStringList& arguments, std::function<void()> onShow)
{
    onShow_ = std::move(onShow);
    if (socketPath_.isEmpty() || exitsWhenDone(arguments)) return Claim::first;

    // Two launches at the same instant: the lock makes check-and-listen one step, so the
    // second one finds the first listening.
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs)) {
        Log::write(
            QStringLiteral("single instance: another launch holds %1, going on alone").arg(lock.fileName()));
        return Claim::first;
    }
    return claimUnderLock(runsBeside(arguments));
}

SingleInstance::Claim SingleInstance::claimUnderLock(bool beside)
{
    if (beside) {
        if (!runningCopyAnswers()) listen();
        return Claim::first;
    }
    if (askRunningCopyToShow()) return Claim::deferred;
    listen();
    return Claim::first;
}

bool SingleInstance::runningCopyAnswers()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    const bool answers = socket.waitForConnected(peerWaitMs);
    socket.abort();
    return answers;
}

bool SingleInstance::askRunningCopyToShow()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(peerWaitMs)) return false;
    socket.write(showRequest);
    // The request is a few bytes: it fits the socket buffer even when the running copy is
    // wedged, so this wait is short either way.
    const bool sent = socket.waitForBytesWritten(peerWaitMs) || socket.bytesToWrite() == 0;
    socket.disconnectFromServer();
    if (!sent) Log::write(QStringLiteral("single instance: show request not sent: ") + socket.errorString());
    return true;
}

void SingleInstance::listen()
{
    // Nobody answered, so a socket file left here is a crashed copy's.
    QLocalServer::removeServer(socketPath_);
    if (!server_.listen(socketPath_))
        Log::write(QStringLiteral("single instance: cannot listen on %1: %2")
                       .arg(socketPath_, server_.errorString()));
}

void SingleInstance::readRequest(QLocalSocket* socket)
{
    // The one request is "show\n"; a peer that says anything else is not a launch of ours.
    while (socket->canReadLine()) {
        if (socket->readLine(showRequest.size() + 1) != showRequest) {
            socket->abort();
            return;
        }
        if (onShow_) onShow_();
    }
    if (socket->bytesAvailable() >= showRequest.size()) socket->abort();
}

QString SingleInstance::defaultSocketPath()
{
    return socketPathIn(qEnvironmentVariable("XDG_RUNTIME_DIR"), QStringLiteral("/tmp"));
}

QString SingleInstance::socketPathIn(const QString& runtimeDir, const QString& tempRoot)
{
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir))
        return QDir(runtimeDir).filePath(QLatin1String(showName));
    const std::optional<QString> dir = privateDirectory(tempRoot);
    if (!dir) return {};
    return QDir(*dir).filePath(QLatin1String(showName));
}

std::optional<QString> SingleInstance::privateDirectory(const QString& tempRoot)
{
    const QString dir = QDir(tempRoot).filePath(QStringLiteral("vell-%1").arg(getuid()));
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        Log::write(QStringLiteral("single instance: cannot create %1").arg(dir));
        return std::nullopt;
    }
    // Someone else may have made it first, as a link or with their own ownership: then the
    // socket inside would be theirs to take over.
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        Log::write(QStringLiteral("single instance: %1 is not a private directory").arg(dir));
        return std::nullopt;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        Log::write(QStringLiteral("single instance: cannot make %1 private").arg(dir));
        return std::nullopt;
    }
    return dir;
}
