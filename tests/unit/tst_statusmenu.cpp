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

    QTemporaryDir dir_;
    FakeInstalledApps apps_;
    FakePermissionSystem system_;
    std::unique_ptr<QSettings> store_;
    std::unique_ptr<Prefs> prefs_;
    std::unique_ptr<Permissions> permissions_;
    std::unique_ptr<SessionModel> model_;
    std::unique_ptr<StatusMenu> menu_;
    int settingsOpened_ = 0;
    int tutorialsOpened_ = 0;

    // One entry per item: "---" for a separator, "(off)" for a disabled item,
    // [x] / [ ] for checkable ones, and the shortcut after a tab.
    QString shown() const
    {
        QStringList lines;
        for (const QAction* a : menu_->menu()->actions()) {
            QString line = a->isSeparator() ? QStringLiteral("---") : a->text();
            if (a->isCheckable()) line += a->isChecked() ? " [x]" : " [ ]";
            if (!a->isEnabled() && !a->isSeparator()) line += " (off)";
            if (!a->shortcut().isEmpty()) line += "\t" + a->shortcut().toString();
            lines << line;
        }
        return lines.join(" | ");
    }

    QAction* item(const QString& text) const
    {
        for (QAction* a : menu_->menu()->actions())
            if (a->text().trimmed() == text) return a;
        return nullptr;
    }

private Q_SLOTS:
    void init()
    {
        static int n = 0;
        const QString path = dir_.filePath(QStringLiteral("Vell-%1.conf").arg(++n));
        store_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
        prefs_ = std::make_unique<Prefs>(std::make_unique<QSettings>(path, QSettings::IniFormat), apps_);
        system_ = FakePermissionSystem();
        system_.grantAll();
        permissions_ = std::make_unique<Permissions>(system_, *store_, *prefs_);
        model_ = std::make_unique<SessionModel>(prefs_->destination(), Browser::chrome);
        settingsOpened_ = tutorialsOpened_ = 0;
        menu_ = std::make_unique<StatusMenu>(
            *model_, *prefs_, *permissions_, [this] { ++settingsOpened_; }, [this] { ++tutorialsOpened_; });
    }
    void cleanup() { menu_.reset(); }

    void itemsFollowPrefsAndPermissions()
    {
        const QString tail = " | --- | Send to (off) | %1 | --- | Settings…\tCtrl+, | Replay tutorial | "
                             "Check for Updates… (off) | --- | Quit Vell\tCtrl+Q";
        QCOMPARE(shown(), "Tap Right Alt to start · again to send (off)" +
                              tail.arg("    Claude [x] |     ChatGPT [ ]"));
        // Changed after the menu was made: opening it shows the new state, and opening
        // it twice adds nothing.
        prefs_->setTrigger(TriggerKey::rightCommand);
        prefs_->setDestinationID(QStringLiteral("chatgpt"));
        system_.microphone = AccessStatus::denied;
        Q_EMIT menu_->menu()->aboutToShow();
        Q_EMIT menu_->menu()->aboutToShow();
        QCOMPARE(shown(), "Tap Right Super to start · again to send (off) | Finish setup…" +
                              tail.arg("    Claude [ ] |     ChatGPT [x]"));
    }

    void itemsAct()
    {
        const std::optional<ChatTarget> chat = ChatTarget{"Budget", "https://claude.ai/chat/1"};
        model_->setTarget(chat);
        item(QStringLiteral("ChatGPT"))->trigger();
        QCOMPARE(store_->value(QStringLiteral("dest")).toString(), QStringLiteral("chatgpt"));
        QCOMPARE(model_->destination(), Destination::chatgpt());
        QCOMPARE(model_->target(), chat); // a running session keeps its chat

        system_.screen = false;
        menu_->rebuild();
        item(QStringLiteral("Settings…"))->trigger();
        QCOMPARE(settingsOpened_, 1);
        item(QStringLiteral("Finish setup…"))->trigger();
        item(QStringLiteral("Replay tutorial"))->trigger();
        QCOMPARE(tutorialsOpened_, 2);
        QCOMPARE(settingsOpened_, 1);
    }

    void artworkExportsEveryPngAtItsSize()
    {
        QTemporaryDir tmp;
        const QString folder = tmp.filePath(QStringLiteral("art/icons")); // does not exist yet
        QString error;
        QVERIFY2(Artwork::exportTo(folder, &error), qPrintable(error));

        QMap<QString, int> expected;
        for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
            expected[QStringLiteral("vell-%1.png").arg(size)] = size;
        for (int size : {16, 22, 24, 32, 48}) {
            expected[QStringLiteral("vell-tray-light-%1.png").arg(size)] = size;
            expected[QStringLiteral("vell-tray-dark-%1.png").arg(size)] = size;
        }
        QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList(expected.keys()));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const QImage image(QDir(folder).filePath(it.key()), "png");
            QCOMPARE(image.size(), QSize(it.value(), it.value()));
            QVERIFY(image.hasAlphaChannel());
        }

        // A file where the folder should go.
        const QString blocked = QDir(folder).filePath(QStringLiteral("vell-16.png/icons"));
        QVERIFY(!Artwork::exportTo(blocked, &error));
        QVERIFY2(error.startsWith("Could not create the folder ") && error.contains(blocked),
                 qPrintable(error));
        QVERIFY(!Artwork::exportTo(blocked, nullptr));
    }

    // The tray mark at its smallest: the bar cut out, light on dark trays and dark on light ones.
    void trayMarkSuitsTheTray()
    {
        for (bool dark : {false, true}) {
            const QImage mark = Artwork::trayMarkImage(16, dark);
            QCOMPARE(qAlpha(mark.pixel(8, 6)), 0);
            const QColor body = QColor::fromRgba(mark.pixel(1, 6));
            QCOMPARE(body.alpha(), 255);
            QCOMPARE(body.lightness() > 128, dark);
        }
    }

    // Last: it ends the application's event loop.
    void quitEndsTheApplication()
    {
        QTimer::singleShot(0, item(QStringLiteral("Quit Vell")), &QAction::trigger);
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }
};

QTEST_MAIN(TestStatusMenu)
#include "tst_statusmenu.moc"
