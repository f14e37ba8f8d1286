// Which program starts the browser, and with what.
#include "BrowserLauncher.h"
#include "ChromeSettingOpener.h"
#include "ScopedLog.h"

#include <QCoro/QCoroTask>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestBrowserLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir bin_;
    QByteArray savedPath_;

    void install(const QString& name)
    {
        QFile file(bin_.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
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
        for (const QString& f : QDir(bin_.path()).entryList(QDir::Files))
            QFile::remove(bin_.filePath(f));
    }

    void program_data()
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
    void program()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, running);
        QFETCH(QString, expected);
        for (const QString& name : installed)
            install(name);
        QStringList started;
        BrowserLauncher launcher({.runningExecutables = [running] { return running; },
                                  .start =
                                      [&](const QString& program, const QStringList& args) {
                                          started << program + QLatin1Char(' ') + args.join(QLatin1Char(' '));
                                          return true;
                                      }});
        ScopedLog log;
        const bool opened = launcher.open(QStringLiteral("https://chat.example/new"));
        QCOMPARE(opened, !expected.isEmpty());
        if (expected.isEmpty()) {
            QVERIFY(started.isEmpty());
            QCOMPARE(log.messagesStartingWith("launch: "),
                     QStringList{"launch: no Chrome or Chromium installed to open https://chat.example/new"});
            return;
        }
        const QString program = expected.startsWith(QLatin1Char('/')) ? expected : bin_.filePath(expected);
        QCOMPARE(started, QStringList{program + " https://chat.example/new"});
    }

    void aStartThatFailsIsLogged()
    {
        install(QStringLiteral("chromium"));
        BrowserLauncher launcher({.runningExecutables = [] { return QStringList(); },
                                  .start = [](const QString&, const QStringList&) { return false; }});
        ScopedLog log;
        QVERIFY(!launcher.open(QStringLiteral("https://chat.example/")));
        QCOMPARE(log.messagesStartingWith("launch: "),
                 QStringList{"launch: could not start " + bin_.filePath("chromium")});
    }

    void settingPageOpensInTheBrowser()
    {
        install(QStringLiteral("chromium"));
        QStringList started;
        ChromeSettingOpener opener(BrowserLauncher({.runningExecutables = [] { return QStringList(); },
                                                    .start =
                                                        [&](const QString& program, const QStringList& args) {
                                                            started << program + QLatin1Char(' ') +
                                                                           args.join(' ');
                                                            return true;
                                                        }}));
        QVERIFY(QCoro::waitFor(opener.openSetting(Browser::chrome)));
        QCOMPARE(started, QStringList{bin_.filePath("chromium") + " chrome://inspect/#remote-debugging"});
        QVERIFY(!QCoro::waitFor(opener.openSetting(Browser::safari)));
        QCOMPARE(started.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBrowserLauncher)
#include "tst_browserlauncher.moc"
