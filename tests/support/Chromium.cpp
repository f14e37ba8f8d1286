#include "Chromium.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <unistd.h>

Chromium::Chromium(const Options& options)
{
    if (!profile_.isValid()) return;
    QStringList args = {
        QStringLiteral("--no-sandbox"),
        QStringLiteral("--disable-gpu"),
        QStringLiteral("--disable-quic"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-sync"),
        // No crash handler processes outliving the browser, nothing written to ~/.config.
        QStringLiteral("--disable-breakpad"),
        QStringLiteral("--disable-crash-reporter"),
        QStringLiteral("--password-store=basic"),
        QStringLiteral("--user-data-dir=") + profile_.path(),
        QStringLiteral("--remote-debugging-port=0"),
    };
    if (options.display.isEmpty()) args << QStringLiteral("--headless=new");
    if (!options.hostResolverRules.isEmpty())
        args << QStringLiteral("--host-resolver-rules=") +
                    options.hostResolverRules.join(QStringLiteral(", "));
    if (!options.trustedSpki.isEmpty())
        args << QStringLiteral("--ignore-certificate-errors-spki-list=") + options.trustedSpki;
    args << options.extraArguments;
    args << (options.urls.isEmpty() ? QStringList{QStringLiteral("about:blank")} : options.urls);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (options.display.isEmpty())
        env.remove(QStringLiteral("DISPLAY"));
    else
        env.insert(QStringLiteral("DISPLAY"), options.display);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    process_.setProcessEnvironment(env);
    process_.setProgram(QStringLiteral("chromium"));
    process_.setArguments(args);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    // Its own process group, so that stopping it reaches the renderers and helpers too.
    process_.setChildProcessModifier([] { ::setpgid(0, 0); });
    process_.start();
    if (!process_.waitForStarted(5000)) return;

    // Chromium writes the port it chose (and the browser socket's path) once it listens.
    QFile file(profile_.filePath(QStringLiteral("DevToolsActivePort")));
    QDeadlineTimer deadline(options.startTimeoutMs);
    while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
        if (file.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = file.readAll().split('\n');
            file.close();
            if (lines.size() >= 2 && lines.at(0).toUInt() != 0 && !lines.at(1).trimmed().isEmpty()) {
                port_ = static_cast<quint16>(lines.at(0).toUInt());
                url_ = QUrl(QStringLiteral("ws://127.0.0.1:%1%2")
                                .arg(port_)
                                .arg(QString::fromUtf8(lines.at(1).trimmed())));
                return;
            }
        }
        process_.waitForFinished(50); // returns early only if the browser died
    }
}

Chromium::~Chromium()
{
    // A throwaway profile needs no orderly shutdown.
    kill();
}

void Chromium::kill()
{
    const qint64 pid = process_.processId();
    if (pid <= 0 || process_.state() == QProcess::NotRunning) return;
    // The whole group: renderers, zygotes and helpers go with the browser.
    ::kill(-static_cast<pid_t>(pid), SIGKILL);
    process_.waitForFinished(5000);
}
