// The sound settings Vell opens for the microphone: the current desktop's own
// panel when installed, else the first installed one in a fixed order; and
// nothing but a log line when none is installed.
#include "DesktopPermissions.h"
#include "ScopedLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopPermissions : public QObject {
    Q_OBJECT

    static void install(const QTemporaryDir& dir, const QStringList& programs)
    {
        for (const QString& program : programs) {
            QFile f(dir.filePath(program));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n");
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
    }

private Q_SLOTS:
    void soundSettingsCommand_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("command"); // empty: none

        const QStringList all{"pavucontrol", "gnome-control-center", "kcmshell5", "mate-volume-control"};
        QTest::newRow("nothing installed") << QStringList() << "GNOME" << QStringList();
        QTest::newRow("unknown desktop: list order")
            << all << "openbox" << QStringList{"gnome-control-center", "sound"};
        QTest::newRow("the desktop's own panel first")
            << all << "KDE" << QStringList{"kcmshell5", "kcm_pulseaudio"};
        QTest::newRow("desktop list with several names")
            << all << "ubuntu:MATE" << QStringList{"mate-volume-control"};
        QTest::newRow("desktop panel missing: a mixer")
            << QStringList{"pavucontrol"} << "KDE" << QStringList{"pavucontrol"};
    }
    void soundSettingsCommand()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, desktop);
        QFETCH(QStringList, command);
        QTemporaryDir dir;
        install(dir, installed);
        const auto found = DesktopPermissions::soundSettingsCommand(desktop, {dir.path()});
        QCOMPARE(found.value_or(QStringList()), command);
    }

    void withoutSoundSettingsOnlyLogs()
    {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        ScopedLog log;
        DesktopPermissions permissions;
        permissions.openSettings(Permission::microphone);
        permissions.openSettings(Permission::screen);
        qputenv("PATH", path);
        QCOMPARE(log.messages(), (QStringList{"permissions: no sound settings installed",
                                              "permissions: no settings to open for Screen Recording"}));
    }
};

QTEST_GUILESS_MAIN(TestDesktopPermissions)
#include "tst_desktoppermissions.moc"
