#include "PulseAudioServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int bytesPerSecond = PulseAudioServer::sampleRate * 2;

} // namespace

PulseAudioServer::PulseAudioServer()
{
    if (!dir_.isValid()) return;
    for (const char* sub : {"runtime", "state", "home", "config"})
        QDir(dir_.path()).mkpath(QLatin1String(sub));

    QFile client(dir_.filePath(QStringLiteral("client.conf")));
    if (!client.open(QIODevice::WriteOnly)) return;
    // Never start or find another daemon.
    client.write("autospawn = no\n");
    client.write(("cookie-file = " + dir_.filePath(QStringLiteral("cookie")) + "\n").toLocal8Bit());
    client.close();

    QFile script(dir_.filePath(QStringLiteral("daemon.pa")));
    if (!script.open(QIODevice::WriteOnly)) return;
    script.write(("load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                  dir_.filePath(QStringLiteral("native")) + "\n")
                     .toLocal8Bit());
    script.close();

    daemon_ = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    daemon_->setProcessEnvironment(env);
    daemon_->setProcessChannelMode(QProcess::MergedChannels);
    daemon_->setStandardOutputFile(dir_.filePath(QStringLiteral("daemon.log")));
    daemon_->start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("-n"), QStringLiteral("-F"), script.fileName(),
                    QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                    QStringLiteral("--use-pid-file=no"), QStringLiteral("--system=no"),
                    QStringLiteral("--log-target=stderr")});
    if (!daemon_->waitForStarted(5000)) return;

    QDeadlineTimer deadline(10000);
    bool answering = false;
    while (!deadline.hasExpired() && daemon_->state() == QProcess::Running) {
        if ((answering = pactl({QStringLiteral("info")}))) break;
        QThread::msleep(20);
    }
    ready_ = answering && loadDevices();

    pacer_.setInterval(10);
    pacer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pacer_, &QTimer::timeout, [this] { pump(); });
}

PulseAudioServer::~PulseAudioServer()
{
    if (pipe_ >= 0) ::close(pipe_);
    if (daemon_ && daemon_->state() != QProcess::NotRunning) {
        daemon_->terminate();
        if (!daemon_->waitForFinished(5000)) {
            daemon_->kill();
            daemon_->waitForFinished(3000);
        }
    }
}

QString PulseAudioServer::address() const
{
    return QStringLiteral("unix:") + dir_.filePath(QStringLiteral("native"));
}

QProcessEnvironment PulseAudioServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), address());
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), dir_.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), dir_.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("PULSE_CLIENTCONFIG"), dir_.filePath(QStringLiteral("client.conf")));
    env.insert(QStringLiteral("PULSE_COOKIE"), dir_.filePath(QStringLiteral("cookie")));
    return env;
}

void PulseAudioServer::exportEnvironment() const
{
    const QProcessEnvironment env = environment();
    for (const char* name :
         {"PULSE_SERVER", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH", "PULSE_CLIENTCONFIG", "PULSE_COOKIE"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
}

bool PulseAudioServer::pactl(const QStringList& arguments, QString* output) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral("pactl"), arguments);
    if (!p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PulseAudioServer::loadDevices()
{
    const QString rate = QString::number(sampleRate);
    const bool loaded = pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                               QStringLiteral("sink_name=speakers")}) &&
                        pactl({QStringLiteral("load-module"), QStringLiteral("module-pipe-source"),
                               QStringLiteral("source_name=mic"),
                               QStringLiteral("file=") + dir_.filePath(QStringLiteral("mic.fifo")),
                               QStringLiteral("format=s16le"), QStringLiteral("rate=") + rate,
                               QStringLiteral("channels=1")}) &&
                        pactl({QStringLiteral("set-default-sink"), QStringLiteral("speakers")}) &&
                        pactl({QStringLiteral("set-default-source"), QStringLiteral("mic")});
    return loaded && openPipe();
}

bool PulseAudioServer::openPipe()
{
    if (pipe_ >= 0) ::close(pipe_);
    // The daemon holds the pipe open for reading, so this does not block.
    pipe_ =
        ::open(dir_.filePath(QStringLiteral("mic.fifo")).toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
    return pipe_ >= 0;
}

void PulseAudioServer::play(const QByteArray& pcm)
{
    queue_ += pcm;
    if (!pacer_.isActive()) {
        clock_.start();
        played_ = 0;
        pacer_.start();
    }
    pump();
}

void PulseAudioServer::pump()
{
    const qint64 due = clock_.nsecsElapsed() * bytesPerSecond / 1000000000LL;
    // Up to PIPE_BUF a non-blocking write is all or nothing, so samples are never split.
    qint64 n = std::min<qint64>({due - played_, queue_.size(), PIPE_BUF});
    n -= n % 2;
    if (n > 0 && pipe_ >= 0) {
        const ssize_t written = ::write(pipe_, queue_.constData(), size_t(n));
        if (written > 0) {
            queue_.remove(0, written);
            played_ += written;
        }
    }
    if (queue_.isEmpty()) pacer_.stop();
}

QByteArray PulseAudioServer::readRecording(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray data = f.readAll();
    if (data.startsWith("RIFF")) {
        const qsizetype at = data.indexOf("data");
        data = at < 0 ? QByteArray() : data.mid(at + 8);
    }
    return data;
}

QByteArray PulseAudioServer::silence(double seconds)
{
    return QByteArray(qsizetype(seconds * sampleRate) * 2, '\0');
}
