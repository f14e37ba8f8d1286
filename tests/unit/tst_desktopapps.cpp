// Installed applications from desktop entries: which directories are searched,
// which entries count for an application, and how a user's entry overrides a
// system-wide one.
#include "DesktopApps.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString claudeApp = QStringLiteral("com.anthropic.claudefordesktop");
const QString chatApp = QStringLiteral("com.openai.chat");
const QString codexApp = QStringLiteral("com.openai.codex");

QString entry(const QString& body)
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=Some App\n") + body;
}
} // namespace

class TestDesktopApps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void searchesTheXdgDataDirs_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QStringList>("dirs");
        QTest::newRow("both set") << QStringList{"HOME=/home/u", "XDG_DATA_HOME=/data",
                                                 "XDG_DATA_DIRS=/a:/b/"}
                                  << QStringList{"/data/applications", "/a/applications", "/b/applications"};
        QTest::newRow("unset") << QStringList{"HOME=/home/u"}
                               << QStringList{"/home/u/.local/share/applications",
                                              "/usr/local/share/applications", "/usr/share/applications"};
        QTest::newRow("empty") << QStringList{"HOME=/home/u", "XDG_DATA_HOME=", "XDG_DATA_DIRS="}
                               << QStringList{"/home/u/.local/share/applications",
                                              "/usr/local/share/applications", "/usr/share/applications"};
        QTest::newRow("relative ignored")
            << QStringList{"HOME=/home/u", "XDG_DATA_HOME=share", "XDG_DATA_DIRS=rel::/a"}
            << QStringList{"/home/u/.local/share/applications", "/a/applications"};
        QTest::newRow("repeated") << QStringList{"XDG_DATA_HOME=/usr/share",
                                                 "XDG_DATA_DIRS=/usr/share/:/opt:/opt"}
                                  << QStringList{"/usr/share/applications", "/opt/applications"};
    }
    void searchesTheXdgDataDirs()
    {
        QFETCH(QStringList, variables);
        QProcessEnvironment env;
        for (const QString& v : variables)
            env.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
        QTEST(DesktopApps::applicationDirs(env), "dirs");
    }

    void findsApplicationsByTheirLinuxNames_data()
    {
        // Files under "user/" or "system/", the user's directory searched first.
        QTest::addColumn<QVariantMap>("files");
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<bool>("installed");
        QTest::newRow("desktop id") << QVariantMap{{"system/claude-desktop.desktop",
                                                    entry("Exec=/opt/x/run %U\n")}}
                                    << claudeApp << true;
        QTest::newRow("desktop id, other case")
            << QVariantMap{{"user/ChatGPT.desktop", entry("Exec=run\n")}} << chatApp << true;
        QTest::newRow("reverse-domain id")
            << QVariantMap{{"system/com.openai.codex.desktop", entry("Exec=x\n")}} << codexApp << true;
        QTest::newRow("window class")
            << QVariantMap{{"system/anthropic.desktop",
                            entry("StartupWMClass=Claude\nExec=/usr/lib/x/electron\n")}}
            << claudeApp << true;
        QTest::newRow("quoted program after env")
            << QVariantMap{{"system/openai.desktop",
                            entry("Exec=env ELECTRON_OZONE=1 \"/opt/Open AI/chatgpt\" --no-sandbox %U\n")}}
            << chatApp << true;
        QTest::newRow("AppImage") << QVariantMap{{"user/app1.desktop",
                                                  entry("Exec=/home/u/Apps/Codex.AppImage\n")}}
                                  << codexApp << true;
        QTest::newRow("no Type line")
            << QVariantMap{{"user/mine.desktop", "[Desktop Entry]\nExec=claude\n"}} << claudeApp << true;
        QTest::newRow("names only as a prefix")
            << QVariantMap{{"system/claude-notes.desktop",
                            entry("StartupWMClass=claude-notes\nExec=claude-notes\n")}}
            << claudeApp << false;
        QTest::newRow("subdirectory prefixes the id")
            << QVariantMap{{"system/vendor/claude.desktop", entry("Exec=vendor-tool\n")}} << claudeApp
            << false;
        QTest::newRow("only an action runs it")
            << QVariantMap{{"system/web.desktop",
                            entry("Exec=firefox\n\n[Desktop Action ask]\nExec=claude\n")}}
            << claudeApp << false;
        QTest::newRow("a link, not an application")
            << QVariantMap{{"system/claude.desktop", "[Desktop Entry]\nType=Link\nURL=https://claude.ai\n"}}
            << claudeApp << false;
        QTest::newRow("no Desktop Entry group")
            << QVariantMap{{"system/claude.desktop", "Exec=claude\n"}} << claudeApp << false;
        QTest::newRow("not a desktop file")
            << QVariantMap{{"system/claude.txt", entry("Exec=claude\n")}} << claudeApp << false;
        QTest::newRow("user hides the system entry")
            << QVariantMap{{"user/claude.desktop", "[Desktop Entry]\nHidden=true\n"},
                           {"system/claude.desktop", entry("Exec=claude\n")}}
            << claudeApp << false;
        QTest::newRow("hidden system copy under a user entry")
            << QVariantMap{{"user/claude.desktop", entry("Exec=claude\n")},
                           {"system/claude.desktop", "[Desktop Entry]\nHidden=true\n"}}
            << claudeApp << true;
        QTest::newRow("hiding one id leaves another")
            << QVariantMap{{"user/claude.desktop", "[Desktop Entry]\nHidden=true\n"},
                           {"system/claude-desktop.desktop", entry("Exec=claude-desktop\n")}}
            << claudeApp << true;
    }
    void findsApplicationsByTheirLinuxNames()
    {
        QFETCH(QVariantMap, files);
        QTemporaryDir root;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString path = root.filePath(it.key());
            QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value().toString().toUtf8());
        }
        const DesktopApps apps(
            {root.filePath(QStringLiteral("user")), root.filePath(QStringLiteral("system"))});
        QFETCH(QString, bundle);
        QTEST(apps.isInstalled(bundle), "installed");
    }
};

QTEST_GUILESS_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"
