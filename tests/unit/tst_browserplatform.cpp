// The Linux browser pieces that need no browser: reading DevToolsActivePort
// files, matching browser windows to the X stacking order, and which program
// starts the browser.
#include "BrowserLauncher.h"
#include "ChromeSettingOpener.h"
#include "DevToolsEndpoint.h"
#include "ScopedLog.h"
#include "X11WindowStacking.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using XWindow = X11WindowStacking::XWindow;

class TestBrowserPlatform : public QObject {
    Q_OBJECT

    QTemporaryDir bin_;
    QByteArray savedPath_;
    QStringList started_;

    static void write(const QString& path, const QByteArray& contents)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    void install(const QString& name)
    {
        write(bin_.filePath(name), "#!/bin/sh\nexit 0\n");
        QVERIFY(QFile::setPermissions(bin_.filePath(name),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    BrowserLauncher launcher(const QStringList& running = {}, bool starts = true)
    {
        return BrowserLauncher({.runningExecutables = [running] { return running; },
                                .start =
                                    [this, starts](const QString& program, const QStringList& args) {
                                        started_ << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
                                        return starts;
                                    }});
    }

private Q_SLOTS:
    void initTestCase()
    {
        savedPath_ = qgetenv("PATH");
        qputenv("PATH", bin_.path().toLocal8Bit());
    }
    void cleanupTestCase() { qputenv("PATH", savedPath_); }
    void cleanup()
    {
        started_.clear();
        for (const QString& f : QDir(bin_.path()).entryList(QDir::Files))
            QFile::remove(bin_.filePath(f));
    }

    void endpointFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("port"); // 0: not an endpoint
        QTest::addColumn<QString>("path");
        QTest::newRow("as written") << QByteArray("33453\n/devtools/browser/653dfd30") << 33453
                                    << "/devtools/browser/653dfd30";
        QTest::newRow("CRLF") << QByteArray("9222\r\n/devtools/browser/x\r\n") << 9222
                              << "/devtools/browser/x";
        QTest::newRow("port only, no break") << QByteArray("9222") << 0 << "";
        QTest::newRow("port too large") << QByteArray("70000\n/devtools/browser/x") << 0 << "";
        QTest::newRow("a page, not the browser") << QByteArray("9222\n/devtools/page/x") << 0 << "";
        QTest::newRow("query smuggled in") << QByteArray("9222\n/devtools/browser/x?y=1") << 0 << "";
    }
    void endpointFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(int, port);
        QFETCH(QString, path);
        const auto endpoint = DevToolsEndpoints::parse(contents, QStringLiteral("/profile"));
        QCOMPARE(endpoint.has_value(), port != 0);
        if (!endpoint) return;
        QCOMPARE(int(endpoint->port), port);
        QCOMPARE(endpoint->path, path);
        QCOMPARE(endpoint->webSocketUrl().toString(),
                 QStringLiteral("ws://127.0.0.1:%1%2").arg(port).arg(path));
    }

    void endpointsKeepTheOrderOfTheDirs()
    {
        QTemporaryDir chrome, chromium, missing;
        write(chrome.filePath(QStringLiteral("DevToolsActivePort")), "1111\n/devtools/browser/a");
        write(chromium.filePath(QStringLiteral("DevToolsActivePort")), "2222\n/devtools/browser/b");
        const auto found = DevToolsEndpoints::find({missing.path(), chromium.path(), chrome.path()});
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).port, quint16(2222));
        QCOMPARE(found.at(0).userDataDir, chromium.path());
        QCOMPARE(found.at(1).port, quint16(1111));
        // A restarted browser is a different endpoint.
        QVERIFY(found.at(0).key() != found.at(1).key());
    }

    void windowStacking_data()
    {
        QTest::addColumn<QList<XWindow>>("stack"); // bottom to top
        QTest::addColumn<QList<BrowserWindowInfo>>("windows");
        QTest::addColumn<QList<qint64>>("expected"); // empty: cannot tell
        const QString chromium = QStringLiteral("chromium Chromium");
        const QRect a(10, 10, 1050, 980), b(20, 20, 1050, 980), full(0, 0, 1600, 1000);
        QTest::newRow("top of the stack is the front")
            << QList{XWindow{a, "one - Chromium", chromium}, XWindow{b, "two - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{2, 1};
        QTest::newRow("same bounds: the title decides")
            << QList{XWindow{full, "Budget - Chromium", chromium}, XWindow{full, "Mail - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, full, "Mail"}, BrowserWindowInfo{2, full, "Budget"}}
            << QList<qint64>{1, 2};
        QTest::newRow("other programs' windows on top do not count")
            << QList{XWindow{a, "one - Chromium", chromium}, XWindow{b, "two - Chromium", chromium},
                     XWindow{a, "terminal", "xterm XTerm"}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{2, 1};
        QTest::newRow("a frame drawn by the window manager")
            << QList{XWindow{QRect(21, 44, 1048, 956), "two - Google Chrome", "google-chrome Google-chrome"},
                     XWindow{QRect(11, 34, 1048, 956), "one - Google Chrome", "google-chrome Google-chrome"}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, b, "two"}} << QList<qint64>{1, 2};
        QTest::newRow("a window the server does not list is left out")
            << QList{XWindow{a, "one - Chromium", chromium}}
            << QList{BrowserWindowInfo{1, a, "one"}, BrowserWindowInfo{2, full, "two"}} << QList<qint64>{1};
        QTest::newRow("nothing matches") << QList{XWindow{full, "terminal", "xterm XTerm"}}
                                         << QList{BrowserWindowInfo{1, a, "one"}} << QList<qint64>{};
    }
    void windowStacking()
    {
        QFETCH(QList<XWindow>, stack);
        QFETCH(QList<BrowserWindowInfo>, windows);
        QFETCH(QList<qint64>, expected);
        const auto order = X11WindowStacking::match(stack, windows);
        QCOMPARE(order.has_value(), !expected.isEmpty());
        if (order) QCOMPARE(*order, expected);
    }

    void noDisplayCannotTellTheStacking()
    {
        X11WindowStacking stacking(":65535");
        QVERIFY(!stacking.frontToBack({BrowserWindowInfo{1, QRect(0, 0, 10, 10), "x"}}).has_value());
    }

    void launchProgram_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("running");
        QTest::addColumn<QString>("expected"); // file name, or empty
        QTest::newRow("the running browser's own binary")
            << QStringList{"chromium", "google-chrome"} << QStringList{"/opt/google/chrome/chrome"}
            << "/opt/google/chrome/chrome";
        QTest::newRow("a binary replaced by an update is not started")
            << QStringList{"chromium"} << QStringList{"/usr/lib/chromium/chromium (deleted)"} << "chromium";
        QTest::newRow("Chrome before Chromium")
            << QStringList{"chromium", "google-chrome"} << QStringList{} << "google-chrome";
        QTest::newRow("nothing installed") << QStringList{} << QStringList{} << "";
    }
    void launchProgram()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, running);
        QFETCH(QString, expected);
        for (const QString& name : installed)
            install(name);
        ScopedLog log;
        QCOMPARE(launcher(running).open(QStringLiteral("https://chat.example/new")), !expected.isEmpty());
        if (expected.isEmpty()) {
            QVERIFY(started_.isEmpty());
            QCOMPARE(log.messagesStartingWith("launch: "),
                     QStringList{"launch: no Chrome or Chromium installed to open https://chat.example/new"});
            return;
        }
        const QString program = expected.startsWith(QLatin1Char('/')) ? expected : bin_.filePath(expected);
        QCOMPARE(started_, QStringList{program + " https://chat.example/new"});
    }

    void aStartThatFailsIsLogged()
    {
        install(QStringLiteral("chromium"));
        ScopedLog log;
        QVERIFY(!launcher({}, false).open(QStringLiteral("https://chat.example/")));
        QCOMPARE(log.messagesStartingWith("launch: "),
                 QStringList{"launch: could not start " + bin_.filePath("chromium")});
    }

    void settingPageOpensInTheBrowser()
    {
        install(QStringLiteral("chromium"));
        ChromeSettingOpener opener(launcher());
        QVERIFY(QCoro::waitFor(opener.openSetting(Browser::chrome)));
        QCOMPARE(started_, QStringList{bin_.filePath("chromium") + " chrome://inspect/#remote-debugging"});
        QVERIFY(!QCoro::waitFor(opener.openSetting(Browser::safari)));
        QCOMPARE(started_.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBrowserPlatform)
#include "tst_browserplatform.moc"
