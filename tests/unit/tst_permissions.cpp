// Permissions: when one counts as denied, what asking does in each state
// (prompt, settings, or both), and which sound settings the desktop opens.
#include "DesktopPermissions.h"
#include "FakeInstalledApps.h"
#include "FakePermissionSystem.h"
#include "Permissions.h"
#include "Prefs.h"

#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(Permission)
Q_DECLARE_METATYPE(AccessStatus)

class TestPermissions : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<QSettings> marks_;
    std::unique_ptr<Prefs> prefs_;
    FakePermissionSystem system_;
    FakeInstalledApps apps_;

    Permissions permissions() { return Permissions(system_, *marks_, *prefs_); }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        const QString path = dir_.filePath(QStringLiteral("Vell-%1.conf").arg(++n));
        marks_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        prefs_ = std::make_unique<Prefs>(std::make_unique<QSettings>(path, QSettings::IniFormat), apps_);
        system_ = FakePermissionSystem();
    }

    // Asking leaves a mark; denied before and after asking.
    void requestAsksOrSendsToSettings_data()
    {
        QTest::addColumn<Permission>("permission");
        QTest::addColumn<AccessStatus>("microphone");
        QTest::addColumn<bool>("askedBefore");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QList<bool>>("denied");

        QTest::newRow("microphone restricted: not denied, but only the settings can help")
            << Permission::microphone << AccessStatus::restricted << false
            << QStringList{"openSettings(Microphone)"} << QList<bool>{false, false};
        QTest::newRow("screen never asked, prompt refused: settings as well, then denied")
            << Permission::screen << AccessStatus::authorized << false
            << QStringList{"requestScreenCapture", "openSettings(Screen Recording)"}
            << QList<bool>{false, true};
        QTest::newRow("screen asked before: only the settings")
            << Permission::screen << AccessStatus::authorized << true
            << QStringList{"openSettings(Screen Recording)"} << QList<bool>{true, true};
    }
    void requestAsksOrSendsToSettings()
    {
        QFETCH(Permission, permission);
        QFETCH(bool, askedBefore);
        QFETCH(QList<bool>, denied);
        QFETCH(AccessStatus, microphone);
        system_.microphone = microphone;
        const QString key = "asked." + Permissions::settingsAnchor(permission);
        if (askedBefore) marks_->setValue(key, true);

        Permissions p = permissions();
        QCOMPARE(p.denied(permission), denied.first());
        p.request(permission);
        QTEST(system_.calls, "calls");
        QVERIFY(marks_->value(key).toBool());
        QCOMPARE(p.denied(permission), denied.last());
    }

    // Granted after asking is not denied; the first missing follows the check order; the
    // accessibility text names the trigger set after the permissions were made.
    void grantedAfterAskingAndFirstMissing()
    {
        Permissions p = permissions();
        prefs_->setTrigger(TriggerKey::rightCommand);
        QCOMPARE(p.why(Permission::accessibility), "Used to detect the Super shortcut in any app.");
        for (Permission permission : Permissions::all())
            p.request(permission);
        system_.screen = system_.accessibility = true;
        system_.microphone = AccessStatus::restricted;
        QCOMPARE(p.firstMissing(), std::optional<Permission>(Permission::microphone));
        system_.grantAll();
        for (Permission permission : Permissions::all())
            QVERIFY(p.asked(permission) && !p.denied(permission));
        QVERIFY(p.allGranted());
    }

    // The desktop's own panel first, else a mixer, else nothing.
    void soundSettingsCommand()
    {
        QTemporaryDir bin;
        const auto command = [&] {
            return DesktopPermissions::soundSettingsCommand("KDE", {bin.path()}).value_or(QStringList());
        };
        const auto install = [&](const QString& program) {
            QFile f(bin.filePath(program));
            return f.open(QIODevice::WriteOnly) && f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        };
        QCOMPARE(command(), QStringList());
        QVERIFY(install("pavucontrol"));
        QCOMPARE(command(), QStringList{"pavucontrol"});
        QVERIFY(install("kcmshell5"));
        QCOMPARE(command(), (QStringList{"kcmshell5", "kcm_pulseaudio"}));
    }
};

QTEST_GUILESS_MAIN(TestPermissions)
#include "tst_permissions.moc"
