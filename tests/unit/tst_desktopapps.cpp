// Installed applications from desktop entries: the directories searched, the entries that
// count for an application, and a user's entry overriding a system-wide one.
#include "DesktopApps.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString claude = "com.anthropic.claudefordesktop", chat = "com.openai.chat", codex = "com.openai.codex";
const QString hidden = "[Desktop Entry]\nHidden=true\n";

const QString app = "[Desktop Entry]\nType=Application\nName=Some App\n";
} // namespace

class TestDesktopApps : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void searchesTheXdgDataDirs_data()
    {
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QStringList>("dirs");
        QTest::newRow("empty") << QStringList{"HOME=/home/u", "XDG_DATA_HOME=", "XDG_DATA_DIRS="}
                               << QStringList{"/home/u/.local/share/applications",
                                              "/usr/local/share/applications", "/usr/share/applications"};
        QTest::newRow("relative ignored, repeats once")
            << QStringList{"HOME=/home/u", "XDG_DATA_HOME=share",
                           "XDG_DATA_DIRS=rel::/a:/a/:/home/u/.local/share"}
            << QStringList{"/home/u/.local/share/applications", "/a/applications"};
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
        using F = QVariantMap; // path: content
        QTest::newRow("desktop id") << F{{"system/claude-desktop.desktop", app + "Exec=run %U\n"}} << claude
                                    << true;
        QTest::newRow("window class")
            << F{{"system/a.desktop", app + "StartupWMClass=Claude\nExec=electron\n"}} << claude << true;
        QTest::newRow("quoted program after env")
            << F{{"system/o.desktop", app + "Exec=env A=1 \"/opt/Open AI/chatgpt\" %U\n"}} << chat << true;
        QTest::newRow("AppImage") << F{{"user/a.desktop", app + "Exec=/a/Codex.AppImage\n"}} << codex << true;
        QTest::newRow("names only as a prefix")
            << F{{"system/claude-notes.desktop", app + "StartupWMClass=claude-notes\nExec=claude-notes\n"}}
            << claude << false;
        QTest::newRow("only an action runs it")
            << F{{"system/w.desktop", app + "Exec=web\n[Desktop Action a]\nExec=claude\n"}} << claude
            << false;
        QTest::newRow("a link, not an application")
            << F{{"system/claude.desktop", "[Desktop Entry]\nType=Link\nURL=x\n"}} << claude << false;
        QTest::newRow("user hides the system entry")
            << F{{"user/claude.desktop", hidden}, {"system/claude.desktop", app + "Exec=claude\n"}} << claude
            << false;
        QTest::newRow("hidden system copy under a user entry")
            << F{{"user/claude.desktop", app + "Exec=claude\n"}, {"system/claude.desktop", hidden}} << claude
            << true;
    }
    void findsApplicationsByTheirLinuxNames()
    {
        QFETCH(QVariantMap, files);
        QFETCH(QString, bundle);
        QTemporaryDir root;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QFile f(root.filePath(it.key()));
            QVERIFY(QDir(root.path()).mkpath(it.key().section('/', 0, 0)) && f.open(QIODevice::WriteOnly));
            f.write(it.value().toString().toUtf8());
        }
        QTEST(DesktopApps({root.filePath("user"), root.filePath("system")}).isInstalled(bundle), "installed");
    }
};

QTEST_GUILESS_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"
