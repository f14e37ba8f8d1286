// Launch at login and relaunch on real files; the relaunch command runs for real in /bin/sh,
// so a path that breaks its quoting shows up as a wrong program or an injected command.
#include "AppLife.h"
#include "ScopedLog.h"

#include <QFile>
#include <QProcess>
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

    QTemporaryDir dir_;

    QString entry() const { return dir_.filePath("config/autostart/vell.desktop"); }

private Q_SLOTS:

    void writtenEntryTurnsOnAndRemovalTurnsOff()
    {
        // Inside double quotes " ` $ \ are escaped, then as a string value every backslash
        // doubles and a line feed is written \n; % doubles.
        QCOMPARE(AppLife::execQuoted("/a/$H\\b\"q`%u\nx"), "\"/a/\\\\$H\\\\\\\\b\\\\\"q\\\\`%%u\\nx\"");
        ScopedLog log;
        AppLife app(entry(), "/opt/Vell Apps/vell", {}, {});
        QVERIFY(!app.launchAtLogin());
        app.setLaunchAtLogin(true);
        const QByteArray written = readFile(entry());
        QVERIFY(written.contains("\nExec=\"/opt/Vell Apps/vell\"\n"));
        // The desktop turns it off in the entry's own group only.
        const QList<std::pair<QByteArray, bool>> forms{{"X-GNOME-Autostart-enabled = false\n", false},
                                                       {"[Desktop Action x]\nHidden=true\n", true}};
        for (const auto& [extra, on] : forms) {
            QVERIFY(writeFile(entry(), written + extra));
            QCOMPARE(app.launchAtLogin(), on);
        }
        app.setLaunchAtLogin(false);
        QVERIFY(!QFile::exists(entry()) && !app.launchAtLogin());
        QVERIFY(QDir(dir_.filePath("config")).removeRecursively());
        QVERIFY(writeFile(dir_.filePath("config"), "x")); // where the folder should be
        app.setLaunchAtLogin(true);
        QVERIFY(!app.launchAtLogin());
        QCOMPARE(log.messagesStartingWith("launch at login: ").size(), 1);
    }

    // The executable sits in a folder whose name breaks naive quoting and records how it was
    // started; a failed start is logged, yet the relaunch quits, and the command runs for real.
    void relaunchStartsExactlyTheExecutable()
    {
        const QString dir = dir_.filePath("x'; touch injected; echo '`touch injected`\nlines");
        const QString executable = dir + "/vell", stubs = dir_.filePath("stubs");
        QVERIFY(QDir().mkpath(dir) && QDir().mkpath(stubs));
        QVERIFY(writeFile(executable, "#!/bin/sh\nprintf '%s' \"$0\" > \"$VELL_MARKER\"\n", true));
        QVERIFY(writeFile(stubs + "/sleep", "#!/bin/sh\nexit 0\n", true));

        ScopedLog log;
        QStringList command;
        int quits = 0;
        AppLife app(
            entry(), executable,
            [&](const QString& p, const QStringList& a) {
                command = QStringList{p} + a;
                return false;
            },
            [&] { ++quits; });
        app.relaunch();
        QVERIFY(quits == 1 && log.messages().size() == 1);
        QCOMPARE(command.mid(0, 2), (QStringList{"/bin/sh", "-c"}));
        QVERIFY(command.size() == 3 && command.last().startsWith("sleep 0.6; exec "));

        QProcess shell;
        shell.setWorkingDirectory(dir_.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", stubs + ":" + env.value("PATH"));
        env.insert("VELL_MARKER", dir_.filePath("started"));
        shell.setProcessEnvironment(env);
        shell.start(command.first(), command.mid(1));
        QVERIFY(shell.waitForFinished(10000) && shell.exitCode() == 0);
        QCOMPARE(QString::fromUtf8(readFile(dir_.filePath("started"))), executable);
        QVERIFY(!QFile::exists(dir_.filePath("injected")));
    }
};

QTEST_GUILESS_MAIN(TestAppLife)
#include "tst_applife.moc"
