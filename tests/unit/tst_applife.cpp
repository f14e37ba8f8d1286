// Launch at login and relaunch on real files in a temporary directory: the
// autostart entry's turned-off forms, a failed write, the Exec quoting of odd
// paths, and the relaunch command run for real by /bin/sh (with a stand-in
// sleep) so a path that breaks the quoting shows up as a wrong program or an
// injected command. Also the version text.
#include "AppLife.h"
#include "ScopedLog.h"
#include "Updates.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFile(const QString& path, const QByteArray& text, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return false;
    if (executable) file.setPermissions(file.permissions() | QFile::ExeOwner);
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestAppLife : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    QString entry() const { return dir_->filePath(QStringLiteral("config/autostart/vell.desktop")); }
    AppLife life(const QString& executable = QStringLiteral("/usr/bin/vell")) const
    {
        return AppLife(entry(), executable, {}, {});
    }

private Q_SLOTS:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    void writtenEntryTurnsOnAndRemovalTurnsOff()
    {
        AppLife app = life(QStringLiteral("/opt/Vell Apps/vell"));
        QVERIFY(!app.launchAtLogin());
        app.setLaunchAtLogin(true);
        QVERIFY(app.launchAtLogin());
        QVERIFY(readFile(entry()).contains("\nExec=\"/opt/Vell Apps/vell\"\n"));
        app.setLaunchAtLogin(false);
        QVERIFY(!QFile::exists(entry()));
        QVERIFY(!app.launchAtLogin());
    }

    void entryTurnedOffByTheDesktop_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("on");
        const QByteArray head = "[Desktop Entry]\nType=Application\nExec=vell\n";
        QTest::newRow("plain") << head << true;
        QTest::newRow("hidden") << head + "Hidden=true\n" << false;
        QTest::newRow("gnome disabled") << head + "X-GNOME-Autostart-enabled = false\n" << false;
        QTest::newRow("hidden in another group") << head + "[Desktop Action x]\nHidden=true\n" << true;
        QTest::newRow("comment") << head + "# Hidden=true\n" << true;
    }
    void entryTurnedOffByTheDesktop()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, on);
        QVERIFY(QDir().mkpath(QFileInfo(entry()).absolutePath()));
        QVERIFY(writeFile(entry(), text));
        QCOMPARE(life().launchAtLogin(), on);
    }

    void failedWriteIsOnlyLogged()
    {
        ScopedLog log;
        // A file where the autostart folder should be.
        QVERIFY(writeFile(dir_->filePath(QStringLiteral("config")), "x"));
        AppLife app = life();
        app.setLaunchAtLogin(true);
        QVERIFY(!app.launchAtLogin());
        QCOMPARE(log.messages().size(), 1);
        QVERIFY(log.messages().first().startsWith(QStringLiteral("launch at login: ")));
    }

    // Expected values follow the desktop entry rules: " ` $ \ escaped inside double quotes,
    // then every backslash doubled as a string value, and % doubled.
    void execKeyQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        QTest::newRow("dollar") << "/a/$HOME/vell"
                                << "\"/a/\\\\$HOME/vell\"";
        QTest::newRow("backslash") << "/a/b\\c"
                                   << "\"/a/b\\\\\\\\c\"";
        QTest::newRow("double quote") << "/a/\"q\"/vell"
                                      << "\"/a/\\\\\"q\\\\\"/vell\"";
        QTest::newRow("percent") << "/a/100%u/vell"
                                 << "\"/a/100%%u/vell\"";
    }
    void execKeyQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(AppLife::execQuoted(path), exec);
    }

    void relaunchStartsExactlyTheExecutable_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("quote injection") << "x'; touch injected; echo '";
        QTest::newRow("dollar") << "$HOME and ${PATH}";
        QTest::newRow("backticks") << "`touch injected`";
        QTest::newRow("newline") << "two\nlines";
    }
    void relaunchStartsExactlyTheExecutable()
    {
        QFETCH(QString, folder);
        // The executable: a script that records the path it was started as.
        const QString dir = dir_->filePath(folder);
        QVERIFY(QDir().mkpath(dir));
        const QString executable = dir + QStringLiteral("/vell");
        QVERIFY(writeFile(executable, "#!/bin/sh\nprintf '%s' \"$0\" > \"$VELL_MARKER\"\n", true));
        // A sleep that returns at once, so the real command runs without waiting.
        const QString stubs = dir_->filePath(QStringLiteral("stubs"));
        QVERIFY(QDir().mkpath(stubs));
        QVERIFY(writeFile(stubs + QStringLiteral("/sleep"), "#!/bin/sh\nexit 0\n", true));

        QString program;
        QStringList arguments;
        int quits = 0;
        AppLife app(
            entry(), executable,
            [&](const QString& p, const QStringList& a) {
                program = p;
                arguments = a;
                return true;
            },
            [&] { ++quits; });
        app.relaunch();
        QCOMPARE(quits, 1);
        QCOMPARE(program + QLatin1Char(' ') + arguments.value(0), QStringLiteral("/bin/sh -c"));
        QCOMPARE(arguments.size(), 2);
        QVERIFY(arguments.last().startsWith(QStringLiteral("sleep 0.6; exec ")));

        QProcess shell;
        shell.setWorkingDirectory(dir_->path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), stubs + QStringLiteral(":") + env.value(QStringLiteral("PATH")));
        env.insert(QStringLiteral("VELL_MARKER"), dir_->filePath(QStringLiteral("started")));
        shell.setProcessEnvironment(env);
        shell.start(program, arguments);
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(readFile(dir_->filePath(QStringLiteral("started")))), executable);
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("injected"))));
    }

    void relaunchQuitsWhenTheShellDoesNotStart()
    {
        ScopedLog log;
        int quits = 0;
        AppLife(
            entry(), QStringLiteral("/usr/bin/vell"),
            [](const QString&, const QStringList&) { return false; }, [&] { ++quits; })
            .relaunch();
        QCOMPARE(quits, 1);
        QCOMPARE(log.messages().size(), 1);
    }

    void versionComesFromTheProjectAndTheCommitCount()
    {
        static const QRegularExpression form(QStringLiteral("^\\d+\\.\\d+\\.\\d+ \\((\\d+|\\?)\\)$"));
        QVERIFY2(form.match(Updates::version()).hasMatch(), qPrintable(Updates::version()));
        QCOMPARE(Updates::version(QString(), QString()), QStringLiteral("? (?)"));
    }
};

QTEST_GUILESS_MAIN(TestAppLife)
#include "tst_applife.moc"
