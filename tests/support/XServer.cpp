#include "XServer.h"

#include <QDeadlineTimer>
#include <QThread>

XServer::XServer(const Options& options)
{
    auto xvfb = std::make_unique<QProcess>();
    xvfb->setProgram(QStringLiteral("Xvfb"));
    // -displayfd 1: Xvfb picks a free display and writes its number to our pipe.
    xvfb->setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"),
                        QStringLiteral("%1x%2x24").arg(options.width).arg(options.height),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("+extension"),
                        QStringLiteral("Composite"), QStringLiteral("+extension"), QStringLiteral("XInputExtension"),
                        QStringLiteral("-noreset")});
    xvfb->setProcessChannelMode(QProcess::SeparateChannels);
    xvfb->start();
    if (!xvfb->waitForStarted(5000)) return;
    QByteArray out;
    QDeadlineTimer deadline(10000);
    while (!out.contains('\n') && !deadline.hasExpired() && xvfb->state() == QProcess::Running) {
        xvfb->waitForReadyRead(100);
        out += xvfb->readAllStandardOutput();
    }
    const QString number = QString::fromLatin1(out).trimmed();
    processes_.push_back(std::move(xvfb));
    if (number.isEmpty()) return;
    display_ = QLatin1Char(':') + number;

    if (options.windowManager) {
        QProcess* wm = startOnDisplay(QStringLiteral("openbox"), {});
        Q_UNUSED(wm);
        // openbox is ready once it owns the WM selection; xprop polls for _NET_SUPPORTING_WM_CHECK.
        QDeadlineTimer ready(10000);
        while (!ready.hasExpired()) {
            QProcess probe;
            probe.setProcessEnvironment(environment());
            probe.start(QStringLiteral("xprop"),
                        {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            probe.waitForFinished(2000);
            if (probe.readAllStandardOutput().contains("window id")) break;
            QThread::msleep(20);
        }
    }
    if (options.compositor) startOnDisplay(QStringLiteral("xcompmgr"), {});
}

XServer::~XServer()
{
    // Helpers first, the server last.
    for (auto it = processes_.rbegin(); it != processes_.rend(); ++it) {
        QProcess* p = it->get();
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

void XServer::exportDisplay() const
{
    qputenv("DISPLAY", display_.toLocal8Bit());
}

QProcess* XServer::startOnDisplay(const QString& program, const QStringList& arguments)
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment());
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, arguments);
    p->waitForStarted(5000);
    processes_.push_back(std::move(p));
    return processes_.back().get();
}
