#include "VellApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QSettings>
#include <QTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <unistd.h>

VellApp::VellApp(const QString& executable, QProcessEnvironment environment)
    : executable_(executable), environment_(std::move(environment))
{
    environment_.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment_.insert(QStringLiteral("XDG_STATE_HOME"), home_.filePath(QStringLiteral("state")));
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.filePath(QStringLiteral("run")));
    environment_.insert(QStringLiteral("HOME"), home_.path());
}

VellApp::~VellApp()
{
    stop();
}

void VellApp::writeSetUpPrefs(const QList<std::pair<QString, QString>>& extra)
{
    QSettings prefs(home_.filePath(QStringLiteral("config/Vell/Vell.conf")), QSettings::IniFormat);
    prefs.setValue(QStringLiteral("onboarded"), true);
    prefs.setValue(QStringLiteral("browser2"), QStringLiteral("com.google.Chrome"));
    prefs.setValue(QStringLiteral("dest"), QStringLiteral("claude"));
    for (const auto& [key, value] : extra)
        prefs.setValue(key, value);
}

bool VellApp::start(const QStringList& arguments)
{
    QFile::setPermissions(home_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(home_.filePath(QStringLiteral("run")));
    QFile::setPermissions(home_.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    process_ = std::make_unique<QProcess>();
    process_->setProcessEnvironment(environment_);
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->start(executable_, arguments);
    return process_->waitForStarted(10000);
}

void VellApp::stop()
{
    if (!process_ || process_->state() == QProcess::NotRunning) return;
    process_->terminate();
    if (!process_->waitForFinished(5000)) {
        process_->kill();
        process_->waitForFinished(2000);
    }
}

std::optional<std::pair<int, QString>> VellApp::runBeside(const QStringList& arguments, int timeoutMs) const
{
    QProcess other;
    other.setProcessEnvironment(environment_);
    other.start(executable_, arguments);
    if (!other.waitForStarted(10000)) return std::nullopt;
    if (!XDesk::waitUntil([&] { return other.state() == QProcess::NotRunning; }, timeoutMs, 20)) {
        other.kill();
        other.waitForFinished(2000);
        return std::nullopt;
    }
    if (other.exitStatus() != QProcess::NormalExit) return std::nullopt;
    return std::make_pair(other.exitCode(), QString::fromUtf8(other.readAllStandardOutput()));
}

qint64 VellApp::pid() const
{
    return process_ ? process_->processId() : 0;
}

bool VellApp::running() const
{
    return process_ && process_->state() != QProcess::NotRunning;
}

std::optional<int> VellApp::exitCode() const
{
    if (!process_ || running() || process_->exitStatus() != QProcess::NormalExit) return std::nullopt;
    return process_->exitCode();
}

QString VellApp::log() const
{
    QFile f(home_.filePath(QStringLiteral("state/Vell/Vell.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool VellApp::waitForLog(const QString& text, int timeoutMs) const
{
    return XDesk::waitUntil([&] { return log().contains(text); }, timeoutMs, 20);
}

double VellApp::cpuSeconds() const
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid()));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

qint64 VellApp::residentKiB() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid()));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

XDesk::XDesk(const QString& display) : display_(XOpenDisplay(display.toLocal8Bit().constData())) {}

XDesk::~XDesk()
{
    if (display_) XCloseDisplay(display_);
}

void XDesk::tap(const char* keysym)
{
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display_, code, True, 0);
    XTestFakeKeyEvent(display_, code, False, 0);
    XFlush(display_);
}

unsigned long XDesk::focusedWindow() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    return focus;
}

bool XDesk::hudOnScreen(qint64 pid) const
{
    Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, root, &root, &parent, &children, &count)) return false;
    const Atom pidAtom = XInternAtom(display_, "_NET_WM_PID", False);
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display_, children[i], &attributes)) continue;
        if (attributes.map_state != IsViewable || !attributes.override_redirect) continue;
        if (attributes.width != 800 || attributes.height != 340) continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data) {
            found = items == 1 && qint64(*reinterpret_cast<unsigned long*>(data)) == pid;
            XFree(data);
        }
    }
    if (children) XFree(children);
    return found;
}

bool XDesk::waitUntil(const std::function<bool()>& done, int timeoutMs, int intervalMs)
{
    if (done()) return true;
    // An event loop, not sleeps: the test's own connections keep being served meanwhile.
    QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired()) loop.quit();
    });
    tick.start(intervalMs);
    loop.exec();
    return done();
}
