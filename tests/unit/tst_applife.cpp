// Launch at login and relaunch on real files in a temporary directory; the
// relaunch command runs for real in /bin/sh (with a stand-in sleep), so a path
// that breaks its quoting shows up as a wrong program or an injected command.
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
        const QByteArray written = readFile(entry());
        QVERIFY(written.contains("\nExec=\"/opt/Vell Apps/vell\"\n"));
        // The desktop turns it off in the entry's own group only.
        const QList<std::pair<QByteArray, bool>> forms{{"Hidden=true\n", false},
                                                       {"X-GNOME-Autostart-enabled = false\n", false},
                                                       {"[Desktop Action x]\nHidden=true\n", true}};
        for (const auto& [extra, on] : forms) {
            QVERIFY(writeFile(entry(), written + extra));
            QCOMPARE(app.launchAtLogin(), on);
        }
        app.setLaunchAtLogin(false);
        QVERIFY(!QFile::exists(entry()));
        QVERIFY(!app.launchAtLogin());
    }

    // Inside double quotes " ` $ \ are escaped, then as a string value every backslash
    // doubles and a line feed is written \n; % doubles.
    void execKeyQuoting()
    {
        QCOMPARE(AppLife::execQuoted(QStringLiteral("/a/$H\\b\"q`%u\nx")),
                 QStringLiteral("\"/a/\\\\$H\\\\\\\\b\\\\\"q\\\\`%%u\\nx\""));
    }

    void relaunchStartsExactlyTheExecutable()
    {
        // The executable, in a folder whose name breaks out of any naive quoting, is a
        // script that records the path it was started as.
        const QString dir =
            dir_->filePath(QStringLiteral("x'; touch injected; echo '`touch injected`\nlines"));
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

    // A failed autostart write or relaunch is logged, and the relaunch still quits.
    void failuresAreOnlyLogged()
    {
        ScopedLog log;
        QVERIFY(writeFile(dir_->filePath(QStringLiteral("config")), "x")); // where the folder should be
        AppLife app = life();
        app.setLaunchAtLogin(true);
        QVERIFY(!app.launchAtLogin());
        QCOMPARE(log.messagesStartingWith(QStringLiteral("launch at login: ")).size(), 1);

        int quits = 0;
        AppLife(
            entry(), QStringLiteral("/usr/bin/vell"),
            [](const QString&, const QStringList&) { return false; }, [&] { ++quits; })
            .relaunch();
        QCOMPARE(quits, 1);
        QCOMPARE(log.messages().size(), 2);
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
