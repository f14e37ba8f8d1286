// The tray menu as the user sees it after each rebuild (texts, order,
// separators, enabled and checked items, shortcuts), what its items do, and
// that opening the menu picks up changed preferences and permissions.
#include "FakeInstalledApps.h"
#include "FakePermissionSystem.h"
#include "Permissions.h"
#include "Prefs.h"
#include "SessionModel.h"
#include "StatusMenu.h"

#include <QApplication>
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

    // One line per item: "---" for a separator, "(off)" for a disabled item,
    // [x] / [ ] for checkable ones, and the shortcut after a tab.
    QStringList shown() const
    {
        QStringList lines;
        for (const QAction* a : menu_->menu()->actions()) {
            if (a->isSeparator()) {
                lines << QStringLiteral("---");
                continue;
            }
            QString line = a->text();
            if (a->isCheckable()) line += a->isChecked() ? " [x]" : " [ ]";
            if (!a->isEnabled()) line += " (off)";
            if (!a->shortcut().isEmpty()) line += "\t" + a->shortcut().toString();
            lines << line;
        }
        return lines;
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

    void itemsFollowPrefsAndPermissions_data()
    {
        QTest::addColumn<TriggerKey>("trigger");
        QTest::addColumn<bool>("microphone");
        QTest::addColumn<bool>("accessibility");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("items");

        const QStringList tail{"---", "Settings…\tCtrl+,", "Replay tutorial", "Check for Updates… (off)",
                               "---", "Quit Vell\tCtrl+Q"};
        QTest::newRow("set up, Claude") << TriggerKey::rightOption << true << true << "claude"
                                        << QStringList{"Tap Right Alt to start · again to send (off)", "---",
                                                       "Send to (off)", "    Claude [x]", "    ChatGPT [ ]"} +
                                               tail;
        QTest::newRow("microphone missing, ChatGPT")
            << TriggerKey::rightCommand << false << true << "chatgpt"
            << QStringList{"Tap Right Super to start · again to send (off)",
                           "Finish setup…",
                           "---",
                           "Send to (off)",
                           "    Claude [ ]",
                           "    ChatGPT [x]"} +
                   tail;
        QTest::newRow("accessibility missing, unknown assistant")
            << TriggerKey::rightControl << true << false << "gemini"
            << QStringList{"Tap Right Ctrl to start · again to send (off)",
                           "Finish setup…",
                           "---",
                           "Send to (off)",
                           "    Claude [ ]",
                           "    ChatGPT [ ]"} +
                   tail;
    }
    void itemsFollowPrefsAndPermissions()
    {
        QFETCH(TriggerKey, trigger);
        QFETCH(bool, microphone);
        QFETCH(bool, accessibility);
        QFETCH(QString, destination);
        QFETCH(QStringList, items);
        // Changed after the menu was made: opening it must show the new state,
        // and opening it twice must not add anything.
        prefs_->setTrigger(trigger);
        prefs_->setDestinationID(destination);
        system_.microphone = microphone ? AccessStatus::authorized : AccessStatus::denied;
        system_.accessibility = accessibility;
        Q_EMIT menu_->menu()->aboutToShow();
        Q_EMIT menu_->menu()->aboutToShow();
        QCOMPARE(shown(), items);
    }

    void pickingAnAssistantWritesThePrefAndTheModel()
    {
        const std::optional<ChatTarget> chat = ChatTarget{"Budget", "https://claude.ai/chat/1"};
        model_->setTarget(chat);
        item(QStringLiteral("ChatGPT"))->trigger();
        QCOMPARE(prefs_->destinationID(), QStringLiteral("chatgpt"));
        QCOMPARE(store_->value(QStringLiteral("dest")).toString(), QStringLiteral("chatgpt"));
        QCOMPARE(model_->destination(), Destination::chatgpt());
        QCOMPARE(model_->target(), chat); // a running session keeps its chat

        menu_->rebuild();
        QVERIFY(item(QStringLiteral("ChatGPT"))->isChecked());
        QVERIFY(!item(QStringLiteral("Claude"))->isChecked());
    }

    void itemsCallTheirCallbacks()
    {
        system_.screen = false;
        menu_->rebuild();
        item(QStringLiteral("Settings…"))->trigger();
        QCOMPARE(settingsOpened_, 1);
        item(QStringLiteral("Finish setup…"))->trigger();
        item(QStringLiteral("Replay tutorial"))->trigger();
        QCOMPARE(tutorialsOpened_, 2);
        QCOMPARE(settingsOpened_, 1);
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
