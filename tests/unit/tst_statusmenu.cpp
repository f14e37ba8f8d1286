// The tray: its menu as the user sees it, what its items do, and the icon
// artwork, drawn and exported at every size.
#include "Art/Artwork.h"
#include "FakeInstalledApps.h"
#include "FakePermissionSystem.h"
#include "Permissions.h"
#include "Prefs.h"
#include "SessionModel.h"
#include "StatusMenu.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestStatusMenu : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every icon at its size, into a folder made on the way.
    void artworkExportsEveryPngAtItsSize()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath("art/icons");
        QString error;
        QVERIFY2(Artwork::exportTo(folder, &error), qPrintable(error));
        QStringList expected;
        for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
            expected << QString("vell-%1.png").arg(size);
        for (int size : {16, 22, 24, 32, 48})
            expected << QString("vell-tray-light-%1.png").arg(size)
                     << QString("vell-tray-dark-%1.png").arg(size);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), expected.size());
        for (const QString& name : expected) {
            const QImage image(QDir(folder).filePath(name), "png");
            const int size = name.section('-', -1).chopped(4).toInt();
            QVERIFY2(image.size() == QSize(size, size) && image.hasAlphaChannel(), qPrintable(name));
        }
        QVERIFY(!Artwork::exportTo(QDir(folder).filePath("vell-16.png/icons"), &error)); // a file in the way
        QVERIFY2(error.startsWith("Could not create the folder "), qPrintable(error));
    }

    // The menu as the user sees it, following later changes; its items act, and Quit
    // ends the application's event loop (so this runs last).
    void menuFollowsChangesAndActs()
    {
        QTemporaryDir dir;
        FakeInstalledApps apps;
        FakePermissionSystem system;
        system.grantAll();
        QSettings store(dir.filePath("Vell.conf"), QSettings::IniFormat);
        Prefs prefs(std::make_unique<QSettings>(store.fileName(), QSettings::IniFormat), apps);
        Permissions permissions(system, store, prefs);
        SessionModel model(prefs.destination(), Browser::chrome);
        int settingsOpened = 0, tutorialsOpened = 0;
        StatusMenu menu(
            model, prefs, permissions, [&] { ++settingsOpened; }, [&] { ++tutorialsOpened; });
        // One entry per item: "---" for a separator, "(off)" for a disabled item,
        // [x] / [ ] for checkable ones, and the shortcut after a tab.
        const auto shown = [&] {
            QStringList lines;
            for (const QAction* a : menu.menu()->actions()) {
                QString line = a->isSeparator() ? QStringLiteral("---") : a->text();
                if (a->isCheckable()) line += a->isChecked() ? " [x]" : " [ ]";
                if (!a->isEnabled() && !a->isSeparator()) line += " (off)";
                if (!a->shortcut().isEmpty()) line += "\t" + a->shortcut().toString();
                lines << line;
            }
            return lines.join(" | ");
        };
        const auto item = [&](const QString& text) {
            const QList<QAction*> actions = menu.menu()->actions();
            return *std::find_if(actions.begin(), actions.end(),
                                 [&](QAction* a) { return a->text().trimmed() == text; });
        };

        const QString tail = " | --- | Send to (off) | %1 | --- | Settings…\tCtrl+, | Replay tutorial | "
                             "Check for Updates… (off) | --- | Quit Vell\tCtrl+Q";
        QCOMPARE(shown(), "Tap Right Alt to start · again to send (off)" +
                              tail.arg("    Claude [x] |     ChatGPT [ ]"));
        // Changed after the menu was made: opening it (twice) shows the new state once.
        prefs.setTrigger(TriggerKey::rightCommand);
        prefs.setDestinationID("chatgpt");
        system.microphone = AccessStatus::denied;
        Q_EMIT menu.menu()->aboutToShow();
        Q_EMIT menu.menu()->aboutToShow();
        QCOMPARE(shown(), "Tap Right Super to start · again to send (off) | Finish setup…" +
                              tail.arg("    Claude [ ] |     ChatGPT [x]"));

        const std::optional<ChatTarget> chat = ChatTarget{"Budget", "https://claude.ai/chat/1"};
        model.setTarget(chat);
        item("Claude")->trigger();
        QCOMPARE(store.value("dest").toString(), "claude");
        QCOMPARE(model.target(), chat); // a running session keeps its chat
        item("Finish setup…")->trigger();
        item("Replay tutorial")->trigger();
        QVERIFY(settingsOpened == 0 && tutorialsOpened == 2);

        QTimer::singleShot(0, item("Quit Vell"), &QAction::trigger);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(TestStatusMenu)
#include "tst_statusmenu.moc"
