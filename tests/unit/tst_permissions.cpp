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

    void requestAsksOrSendsToSettings_data()
    {
        QTest::addColumn<Permission>("permission");
        QTest::addColumn<AccessStatus>("microphone");
        QTest::addColumn<bool>("askedBefore");  // the permission's mark
        QTest::addColumn<bool>("promptAllows"); // screen: the prompt turns it on
        QTest::addColumn<bool>("deniedBefore");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("askedAfter");
        QTest::addColumn<bool>("deniedAfter");

        const auto mic = Permission::microphone;
        const auto screen = Permission::screen;
        const auto ax = Permission::accessibility;
        const QString grant = QStringLiteral("Grant Access");
        const QString open = QStringLiteral("Open Settings");
        QTest::newRow("microphone restricted: not denied, but only the settings can help")
            << mic << AccessStatus::restricted << false << false << false << grant
            << QStringList{"openSettings(Microphone)"} << true << false;
        QTest::newRow("microphone denied: settings, no mark")
            << mic << AccessStatus::denied << false << false << true << open
            << QStringList{"openSettings(Microphone)"} << false << true;
        QTest::newRow("screen never asked, prompt refused: settings as well, then denied")
            << screen << AccessStatus::authorized << false << false << false << grant
            << QStringList{"requestScreenCapture", "openSettings(Screen Recording)"} << true << true;
        QTest::newRow("screen never asked, prompt allows")
            << screen << AccessStatus::authorized << false << true << false << grant
            << QStringList{"requestScreenCapture"} << true << false;
        QTest::newRow("screen asked before: only the settings")
            << screen << AccessStatus::authorized << true << true << true << open
            << QStringList{"openSettings(Screen Recording)"} << true << true;
        QTest::newRow("accessibility never asked: prompt, then denied while missing")
            << ax << AccessStatus::authorized << false << false << false << grant
            << QStringList{"promptAccessibility"} << true << true;
    }
    void requestAsksOrSendsToSettings()
    {
        QFETCH(Permission, permission);
        QFETCH(AccessStatus, microphone);
        QFETCH(bool, askedBefore);
        QFETCH(bool, promptAllows);
        system_.microphone = microphone;
        system_.screenAllowedAfterPrompt = promptAllows;
        const QString key = QStringLiteral("asked.") + Permissions::settingsAnchor(permission);
        if (askedBefore) marks_->setValue(key, true);

        Permissions p = permissions();
        QTEST(p.denied(permission), "deniedBefore");
        QTEST(p.actionTitle(permission), "action");
        p.request(permission);
        QTEST(system_.calls, "calls");
        QTEST(marks_->value(key).toBool(), "askedAfter");
        QTEST(p.asked(permission), "askedAfter");
        QTEST(p.denied(permission), "deniedAfter");
    }

    void marksUseTheirOwnKeysAndStayWhenGrantedWithoutDenying()
    {
        Permissions p = permissions();
        for (Permission permission : Permissions::all())
            p.request(permission);
        QCOMPARE(marks_->allKeys(), (QStringList{"asked.Privacy_Accessibility", "asked.Privacy_Microphone",
                                                 "asked.Privacy_ScreenCapture"}));
        system_.grantAll();
        for (Permission permission : Permissions::all()) {
            p.request(permission);
            QVERIFY(p.asked(permission) && !p.denied(permission));
        }
    }

    void firstMissingFollowsCheckOrder()
    {
        const Permissions p = permissions();
        const auto missing = [&](AccessStatus microphone, bool screen, bool accessibility) {
            system_.microphone = microphone;
            system_.screen = screen;
            system_.accessibility = accessibility;
            return p.firstMissing() ? int(*p.firstMissing()) : -1;
        };
        QCOMPARE(missing(AccessStatus::restricted, false, false), int(Permission::microphone));
        QCOMPARE(missing(AccessStatus::authorized, false, false), int(Permission::screen));
        QCOMPARE(missing(AccessStatus::authorized, true, false), int(Permission::accessibility));
        QVERIFY(!p.allGranted());
        QCOMPARE(missing(AccessStatus::authorized, true, true), -1);
        QVERIFY(p.allGranted());
    }

    void accessibilityTextNamesTheCurrentTrigger()
    {
        const Permissions p = permissions(); // made before the change, read after it
        prefs_->setTrigger(TriggerKey::rightCommand);
        QCOMPARE(p.why(Permission::accessibility),
                 QStringLiteral("Used to detect the Super shortcut in any app."));
    }

    void soundSettingsCommand_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("command");

        const QStringList all{"pavucontrol", "gnome-control-center", "kcmshell5", "mate-volume-control"};
        QTest::newRow("the desktop's own panel first")
            << all << "KDE" << QStringList{"kcmshell5", "kcm_pulseaudio"};
        QTest::newRow("desktop list with several names")
            << all << "ubuntu:MATE" << QStringList{"mate-volume-control"};
        QTest::newRow("desktop panel missing: a mixer")
            << QStringList{"pavucontrol"} << "KDE" << QStringList{"pavucontrol"};
        QTest::newRow("nothing installed") << QStringList() << "KDE" << QStringList();
    }
    void soundSettingsCommand()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, desktop);
        QTemporaryDir bin;
        for (const QString& program : installed) {
            QFile f(bin.filePath(program));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QTEST(DesktopPermissions::soundSettingsCommand(desktop, {bin.path()}).value_or(QStringList()),
              "command");
    }
};

QTEST_GUILESS_MAIN(TestPermissions)
#include "tst_permissions.moc"
