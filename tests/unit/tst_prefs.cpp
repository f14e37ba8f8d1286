// Preferences: stored values read back (also of the wrong type), in-memory defaults, write-through.
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

    std::unique_ptr<Prefs> open(const InstalledApps& apps = FakeInstalledApps(), QString file = {}) const
    {
        if (file.isEmpty()) file = path();
        return std::make_unique<Prefs>(std::make_unique<QSettings>(file, QSettings::IniFormat), apps);
    }
    // QSettings shares parsed files within a process; a copy under a new name
    // is read from its bytes, as the next run of the application would.
    std::unique_ptr<Prefs> openCopy() const
    {
        const QString copy = dir_->filePath(QStringLiteral("copy-%1.conf").arg(++copies_));
        return QFile::copy(path(), copy) ? open(FakeInstalledApps(), copy) : nullptr;
    }
    mutable int copies_ = 0;

private Q_SLOTS:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }
    void cleanup() { dir_.reset(); }

    void defaultOnSwitchesTurnOffOnlyForAStoredFalse_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("on");
        QTest::newRow("false") << "false" << false;
        QTest::newRow("zero is a number") << "0" << true;
    }
    void defaultOnSwitchesTurnOffOnlyForAStoredFalse()
    {
        QFETCH(QString, stored);
        QString text;
        for (const char* key : {"autoShot", "recentCopy", "pause", "sound"})
            text += QStringLiteral("%1=%2\n").arg(QLatin1String(key), stored);
        writeStore(text);
        const auto prefs = open();
        QFETCH(bool, on);
        QCOMPARE(prefs->autoScreenshot(), on);
        QCOMPARE(prefs->includeRecentCopy(), on);
        QCOMPARE(prefs->pauseBeforeSend(), on);
        QCOMPARE(prefs->shutterSound(), on);
    }

    void destinationIsGuessedOnlyInMemory()
    {
        writeStore(QStringLiteral("trigger=rightCommand\n"));
        const auto prefs = open(FakeInstalledApps{QStringLiteral("com.openai.codex")});
        QCOMPARE(prefs->destinationID(), QStringLiteral("chatgpt"));
        QCOMPARE(prefs->browserID(), Browsers::chromeID);
        prefs->setShutterSound(false); // any write flushes the whole store
        QVERIFY(!storeText().contains(QLatin1String("dest")));
        QVERIFY(!storeText().contains(QLatin1String("browser2")));
    }

    // Unknown ids stay stored as they are, whatever is installed.
    void storedDestinationAndBrowserAreKept()
    {
        writeStore(QStringLiteral("dest=gemini\nbrowser2=org.mozilla.firefox\ntrigger=RightControl\n"));
        // Claude installed must not override what the user chose.
        const FakeInstalledApps apps{QStringLiteral("com.anthropic.claudefordesktop")};
        const auto prefs = open(apps);
        QVERIFY(apps.asked.isEmpty());
        QCOMPARE(prefs->destinationID(), QStringLiteral("gemini"));
        QCOMPARE(prefs->browserID(), QStringLiteral("org.mozilla.firefox"));
        QCOMPARE(prefs->destination().id, QStringLiteral("claude"));
        QCOMPARE(prefs->trigger(), TriggerKey::rightOption); // raw values match exactly
        prefs->setOnboarded(true);
        QVERIFY(storeText().contains(QStringLiteral("dest=gemini\n")));
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
        QCOMPARE(meta.read(openCopy().get()), value);
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
        QCOMPARE(openCopy()->stickyChat(Destination::claude()), plan);

        prefs->setStickyChat(std::nullopt, Destination::claude());
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
};

QTEST_GUILESS_MAIN(TestPrefs)
#include "tst_prefs.moc"
