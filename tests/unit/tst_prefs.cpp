// Preferences: how each kind of stored value reads back (including values of
// the wrong type), computed defaults that never reach the store, write-through
// of every setter, and the remembered chat per destination.
#include "FakeInstalledApps.h"
#include "Prefs.h"

#include <QFile>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestPrefs : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;

    QString path() const { return dir_->filePath(QStringLiteral("Vell.conf")); }

    // The store file as another program would write it.
    void writeStore(const QString& general) const
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[General]\n" + general.toUtf8());
    }

    QString storeText() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    std::unique_ptr<Prefs> open(const InstalledApps& apps = FakeInstalledApps()) const
    {
        return std::make_unique<Prefs>(std::make_unique<QSettings>(path(), QSettings::IniFormat), apps);
    }

    // QSettings shares parsed files within a process; a copy under a new name
    // is read from its bytes, as the next run of the application would.
    std::unique_ptr<Prefs> openCopy() const
    {
        const QString copy = dir_->filePath(QStringLiteral("copy-%1.conf").arg(++copies_));
        if (!QFile::copy(path(), copy)) return nullptr;
        return std::make_unique<Prefs>(std::make_unique<QSettings>(copy, QSettings::IniFormat),
                                       FakeInstalledApps());
    }
    mutable int copies_ = 0;

private Q_SLOTS:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    void defaultOnSwitchesTurnOffOnlyForAStoredFalse_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("absent") << QString() << true;
        QTest::newRow("false") << "false" << false;
        QTest::newRow("false in capitals") << "FALSE" << false;
        QTest::newRow("zero is a number") << "0" << true;
    }
    void defaultOnSwitchesTurnOffOnlyForAStoredFalse()
    {
        QFETCH(QString, stored);
        QString text;
        if (!stored.isNull()) {
            for (const char* key : {"autoShot", "recentCopy", "pause", "sound"})
                text += QStringLiteral("%1=%2\n").arg(QLatin1String(key), stored);
        }
        writeStore(text);
        const auto prefs = open();
        QFETCH(bool, on);
        QCOMPARE(prefs->autoScreenshot(), on);
        QCOMPARE(prefs->includeRecentCopy(), on);
        QCOMPARE(prefs->pauseBeforeSend(), on);
        QCOMPARE(prefs->shutterSound(), on);
    }

    void onboardingValuesRead_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("onboarded");
        QTest::addColumn<int>("step");
        QTest::newRow("absent") << QString() << false << 0;
        QTest::newRow("set") << "onboarded=true\nonboardingStep=3" << true << 3;
        QTest::newRow("one, negative") << "onboarded=1\nonboardingStep=-2" << true << -2;
        QTest::newRow("empty, too large") << "onboarded=\nonboardingStep=99999999999" << false << 0;
    }
    void onboardingValuesRead()
    {
        QFETCH(QString, stored);
        writeStore(stored);
        const auto prefs = open();
        QTEST(prefs->onboarded(), "onboarded");
        QTEST(prefs->onboardingStep(), "step");
    }

    void triggerReadsOnlyExactRawValues_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<TriggerKey>("key");
        QTest::newRow("absent") << QString() << TriggerKey::rightOption;
        QTest::newRow("rightControl") << "trigger=rightControl" << TriggerKey::rightControl;
        QTest::newRow("other case") << "trigger=RightControl" << TriggerKey::rightOption;
    }
    void triggerReadsOnlyExactRawValues()
    {
        QFETCH(QString, stored);
        writeStore(stored);
        QTEST(open()->trigger(), "key");
    }

    void destinationIsGuessedOnlyInMemory_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("guess");
        const QString claudeApp = QStringLiteral("com.anthropic.claudefordesktop");
        const QString chatApp = QStringLiteral("com.openai.chat");
        const QString codexApp = QStringLiteral("com.openai.codex");
        QTest::newRow("nothing") << QStringList() << "claude";
        QTest::newRow("codex only") << QStringList{codexApp} << "chatgpt";
        QTest::newRow("claude and chat") << QStringList{chatApp, claudeApp} << "claude";
    }
    void destinationIsGuessedOnlyInMemory()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, guess);
        writeStore(QStringLiteral("trigger=rightCommand\n"));
        const auto prefs = open(FakeInstalledApps(installed));
        QCOMPARE(prefs->destinationID(), guess);
        QCOMPARE(prefs->destination().id, guess);
        QCOMPARE(prefs->browserID(), Browsers::chromeID);
        prefs->setShutterSound(false); // any write flushes the whole store
        QVERIFY(!storeText().contains(QLatin1String("dest")));
        QVERIFY(!storeText().contains(QLatin1String("browser2")));
    }

    void storedDestinationAndBrowserAreKept_data()
    {
        QTest::addColumn<QString>("dest");
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("destination");
        // clang-format off
        QTest::newRow("chatgpt, safari") << "chatgpt" << "com.apple.Safari" << "chatgpt";
        QTest::newRow("unknown ids") << "gemini" << "org.mozilla.firefox" << "claude";
        // clang-format on
    }
    void storedDestinationAndBrowserAreKept()
    {
        QFETCH(QString, dest);
        QFETCH(QString, browser);
        writeStore(QStringLiteral("dest=%1\nbrowser2=%2\n").arg(dest, browser));
        // Claude installed must not override what the user chose.
        const FakeInstalledApps apps{QStringLiteral("com.anthropic.claudefordesktop")};
        const auto prefs = open(apps);
        QVERIFY(apps.asked.isEmpty());
        QCOMPARE(prefs->destinationID(), dest);
        QCOMPARE(prefs->browserID(), browser);
        QTEST(prefs->destination().id, "destination");
        prefs->setOnboarded(true);
        QVERIFY(storeText().contains(QStringLiteral("dest=%1\n").arg(dest)));
    }

    void everyAssignmentWritesThroughAndNotifies_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("line");
        QTest::newRow("destination") << QByteArray("destinationID") << QVariant(QStringLiteral("chatgpt"))
                                     << "dest=chatgpt";
        QTest::newRow("trigger") << QByteArray("trigger") << QVariant::fromValue(TriggerKey::rightControl)
                                 << "trigger=rightControl";
        QTest::newRow("screenshot") << QByteArray("autoScreenshot") << QVariant(false) << "autoShot=false";
        QTest::newRow("sound") << QByteArray("shutterSound") << QVariant(false) << "sound=false";
        QTest::newRow("step") << QByteArray("onboardingStep") << QVariant(3) << "onboardingStep=3";
    }
    void everyAssignmentWritesThroughAndNotifies()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        QFETCH(QString, line);
        const auto prefs = open();
        const QMetaProperty meta =
            prefs->metaObject()->property(prefs->metaObject()->indexOfProperty(property));
        QVERIFY(meta.isValid());
        QSignalSpy notify(prefs.get(), meta.notifySignal());
        QSignalSpy any(prefs.get(), &Prefs::changed);
        QObject::connect(prefs.get(), &Prefs::changed, this, [&] {
            // Observers already see the value on disk when they hear of it.
            QVERIFY(storeText().contains(line + QLatin1Char('\n')));
        });

        QVERIFY(meta.write(prefs.get(), value));
        QVERIFY(meta.write(prefs.get(), value));
        QCOMPARE(notify.count(), 2);
        QCOMPARE(any.count(), 2);
        QCOMPARE(meta.read(prefs.get()), value);

        const auto reread = openCopy();
        QVERIFY(reread);
        QCOMPARE(meta.read(reread.get()), value);
    }

    void stickyChatsArePerDestination()
    {
        const auto prefs = open();
        // Characters INI and JSON both treat specially must survive the trip.
        const ChatTarget plan{QStringLiteral("Plan; \"Q3\" = 50%, #1 \\ näive 🚀\nnext"),
                              QStringLiteral("https://claude.ai/chat/abc")};
        const ChatTarget budget{QStringLiteral("Budget"), QStringLiteral("https://chatgpt.com/c/def")};
        prefs->setStickyChat(plan, Destination::claude());
        prefs->setStickyChat(budget, Destination::chatgpt());
        QCOMPARE(prefs->stickyChat(Destination::claude()), plan);
        QCOMPARE(openCopy()->stickyChat(Destination::claude()), plan);

        prefs->setStickyChat(std::nullopt, Destination::claude());
        QCOMPARE(prefs->stickyChat(Destination::claude()), std::nullopt);
        QVERIFY(!storeText().contains(QLatin1String("sticky.claude")));
        const auto reread = openCopy();
        QCOMPARE(reread->stickyChat(Destination::claude()), std::nullopt);
        QCOMPARE(reread->stickyChat(Destination::chatgpt()), budget);
    }

    void unreadableStickyChatReadsNoneAndStays_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("not json") << QVariant(QByteArray("{title: Plan"));
        QTest::newRow("title a number")
            << QVariant(QByteArray("{\"title\":1,\"url\":\"https://claude.ai/chat/a\"}"));
        QTest::newRow("list") << QVariant(QStringList{QStringLiteral("Plan"), QStringLiteral("url")});
    }
    void unreadableStickyChatReadsNoneAndStays()
    {
        QFETCH(QVariant, stored);
        {
            QSettings other(path(), QSettings::IniFormat);
            other.setValue(QStringLiteral("sticky.claude"), stored);
        }
        const QString before = storeText();
        const auto prefs = open();
        QCOMPARE(prefs->stickyChat(Destination::claude()), std::nullopt);
        QCOMPARE(openCopy()->stickyChat(Destination::claude()), std::nullopt);
        QCOMPARE(storeText(), before);
    }

    void sharedInstanceLivesInTheUserConfigDir()
    {
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
        int made = 0;
        Prefs::setSharedInstalledApps([&made] {
            ++made;
            return std::make_unique<FakeInstalledApps>(FakeInstalledApps{QStringLiteral("com.openai.codex")});
        });
        Prefs& prefs = Prefs::shared();
        QCOMPARE(&Prefs::shared(), &prefs);
        QCOMPARE(made, 1);
        QCOMPARE(prefs.destinationID(), QStringLiteral("chatgpt"));
        prefs.setOnboardingStep(2);
        QFile f(dir_->filePath(QStringLiteral("Vell/Vell.conf")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("onboardingStep=2\n"));
    }
};

QTEST_GUILESS_MAIN(TestPrefs)
#include "tst_prefs.moc"
