// A real Chromium for one test (class): Debian's `chromium` with a fresh
// profile, DevTools on a port it picks itself, no first-run or background
// traffic. The constructor returns once the browser wrote DevToolsActivePort
// (isRunning() tells whether it did). The browser and everything it started
// are killed by process group when the object goes away, and the profile is
// removed.
//
//     Chromium browser({.display = xserver.display(), .urls = {url}});
//     QVERIFY(browser.isRunning());
//     DevToolsLink link({.userDataDirs = {browser.userDataDir()}});
//
// For the assistant fixture, pass its flags: {.extraArguments = site.chromiumArguments()}.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

class Chromium {
public:
    struct Options {
        // Empty: headless (--headless=new). Otherwise the X display to show windows on.
        QString display;
        // Opened at start; about:blank when empty. Headless takes one only.
        QStringList urls;
        // e.g. "MAP claude.ai 127.0.0.1:8443" (joined into --host-resolver-rules).
        QStringList hostResolverRules;
        // Base64 SHA-256 of a certificate's public key to trust (--ignore-certificate-errors-spki-list).
        QString trustedSpki;
        QStringList extraArguments;
        int startTimeoutMs = 20000;
    };

    Chromium() : Chromium(Options{}) {}
    explicit Chromium(const Options& options);
    ~Chromium();
    Chromium(const Chromium&) = delete;
    Chromium& operator=(const Chromium&) = delete;

    bool isRunning() const { return port_ != 0 && process_.state() == QProcess::Running; }
    // The profile dir; its DevToolsActivePort is what Vell's discovery reads.
    QString userDataDir() const { return profile_.path(); }
    quint16 port() const { return port_; }
    // ws://127.0.0.1:<port>/devtools/browser/<id>
    QUrl webSocketUrl() const { return url_; }
    qint64 pid() const { return process_.processId(); }
    // The arguments it was started with (for failure messages).
    QStringList arguments() const { return process_.arguments(); }

    // Kills the browser and its children at once (SIGKILL to the process group) and waits for it.
    void kill();

private:
    QTemporaryDir profile_;
    QProcess process_;
    quint16 port_ = 0;
    QUrl url_;
};
