// The session model and its value types: observation, the phase log, chat
// lists built from listing rows, and the user-facing failure messages.
#include "Log.h"
#include "ScopedLog.h"
#include "SessionModel.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class TestSessionModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyAssignmentNotifiesEvenWhenEqual()
    {
        SessionModel model(Destination::claude(), Browser::chrome);
        QSignalSpy transcript(&model, &SessionModel::transcriptChanged);
        QSignalSpy phase(&model, &SessionModel::phaseChanged);
        QSignalSpy any(&model, &SessionModel::changed);
        model.setTranscript(QStringLiteral("hello"));
        model.setTranscript(QStringLiteral("hello"));
        model.setPhase(Phase::idle());
        QCOMPARE(transcript.count(), 2);
        QCOMPARE(phase.count(), 1);
        QCOMPARE(any.count(), 3);
    }

    void phaseChangesAreLoggedOnlyWhenTheyChange()
    {
        ScopedLog log;
        SessionModel model(Destination::claude(), Browser::chrome);
        model.setPhase(Phase::live());
        model.setPhase(Phase::live());
        model.setPhase(Phase::failed(QStringLiteral("Nothing to send")));
        model.setPhase(Phase::failed(QStringLiteral("Nothing to send")));
        model.setPhase(Phase::failed(QStringLiteral("Send didn't go through")));
        model.setPhase(Phase::idle());
        QCOMPARE(log.messages(),
                 (QStringList{
                     QStringLiteral("phase idle → live"),
                     QStringLiteral("phase live → failed(\"Nothing to send\")"),
                     QStringLiteral("phase failed(\"Nothing to send\") → failed(\"Send didn't go "
                                    "through\")"),
                     QStringLiteral("phase failed(\"Send didn't go through\") → idle"),
                 }));
    }

    void logLinesCarryAnIsoUtcTimeStamp()
    {
        ScopedLog log;
        Log::write(QStringLiteral("launch"));
        QFile f(log.path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString line = QString::fromUtf8(f.readAll());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ launch\\n$"))
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
    }

    void imagesAndResetKeepWhatTheyShould()
    {
        SessionModel model(Destination::chatgpt(), Browser::safari);
        model.appendItem(Item::shot(QImage(), "one", QStringLiteral("Term"), {}));
        model.appendItem(Item::clip(QStringLiteral("copied"), QStringLiteral("Editor")));
        model.appendItem(Item::shot(QImage(), "two", {}, QStringLiteral("Window")));
        QCOMPARE(model.images(), (QList<QByteArray>{"one", "two"}));

        model.setPhase(Phase::live());
        model.setTarget(ChatTarget{QStringLiteral("Plan"), QStringLiteral("https://chatgpt.com/c/1")});
        model.setChats(ChatList());
        model.setMic(Mic::listening());
        model.setPractice(true);
        model.setFixable(true);
        model.setTranscript(QStringLiteral("words"));
        model.setLevel(0.5f);
        QSignalSpy items(&model, &SessionModel::itemsChanged);
        model.reset();
        QCOMPARE(items.count(), 1);
        QVERIFY(model.items().isEmpty());
        QVERIFY(model.transcript().isEmpty());
        QCOMPARE(model.level(), 0.0f);
        QCOMPARE(model.phase(), Phase::live());
        QVERIFY(model.target().has_value());
        QVERIFY(model.chats().has_value());
        QCOMPARE(model.mic(), Mic::listening());
        QCOMPARE(model.destination(), Destination::chatgpt());
        QCOMPARE(model.browser(), Browser::safari);
        QVERIFY(model.practice());
        QVERIFY(model.fixable());
    }

    void itemSourceAndIdentity()
    {
        const Item a = Item::clip(QStringLiteral("x"), QStringLiteral("Safari"));
        QCOMPARE(a.source(), QStringLiteral("Safari"));
        QCOMPARE(Item::clip(QStringLiteral("x"), {}, QStringLiteral("Notes")).source(),
                 QStringLiteral("Notes"));
        QCOMPARE(Item::clip(QStringLiteral("x"), {}).source(), QString());
        QCOMPARE(Item::clip(QStringLiteral("x"), QStringLiteral("A"), QStringLiteral("B")).source(),
                 QStringLiteral("A, B"));
        Item copy = a;
        copy.text = QStringLiteral("changed");
        QVERIFY(copy == a);
        QVERIFY(!(Item::clip(QStringLiteral("x"), QStringLiteral("Safari")) == a));
    }

    void chatListFromListingRows()
    {
        const QString u = QStringLiteral("https://claude.ai/chat/abc");
        const QString v = QStringLiteral("https://claude.ai/chat/def");
        const ChatList list = ChatList::fromRows({
            {QStringLiteral("t"), QStringLiteral("Plan  Includes an artifact "),
             u + QStringLiteral("?x=1#frag")},
            {QStringLiteral("r"), QStringLiteral("Plan"), u},
            {QStringLiteral("t"), QStringLiteral("Plan"), u + QStringLiteral("#other")},
            {QStringLiteral("x"), QStringLiteral("Other"), v},
            {QStringLiteral("t"), QStringLiteral("   "), v},
            {QStringLiteral("t"), QStringLiteral("Two fields")},
        });
        const ChatTarget plan{QStringLiteral("Plan"), u};
        const ChatTarget other{QStringLiteral("Other"), v};
        QCOMPARE(list.tabs(), QList<ChatTarget>{plan});
        QCOMPARE(list.recents(), (QList<ChatTarget>{plan, other}));
        QCOMPARE(list.all(), (QList<ChatTarget>{plan, other}));
        QCOMPARE(ChatList::fromRows({}), ChatList());
    }

    void chatListKeys_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("key");
        QTest::newRow("query and fragment") << "https://a/c/1?q=2#f"
                                            << "https://a/c/1";
        QTest::newRow("fragment holding a query") << "https://a/c/1#f?q"
                                                  << "https://a/c/1";
        QTest::newRow("leading separators skipped") << "#a?b"
                                                    << "a";
        QTest::newRow("separators only") << "#?#"
                                         << "";
    }
    void chatListKeys()
    {
        QFETCH(QString, url);
        QFETCH(QString, key);
        QCOMPARE(ChatList::key(url), key);
    }

    void errorsNameTheirBrowserAndUnknownBrowsersFallBack()
    {
        for (const DeliveryError& error :
             {DeliveryError::timedOut(Browser::safari), DeliveryError::jsOff(Browser::safari)}) {
            QVERIFY2(error.errorDescription().startsWith(QLatin1String("Safari ")),
                     qPrintable(error.errorDescription()));
            QVERIFY(!error.errorDescription().contains(QLatin1String("Chrome")));
        }
        // The page's own words go to the log, never to the user.
        QCOMPARE(DeliveryError::page(QStringLiteral("boom")).errorDescription(),
                 DeliveryError::page(QStringLiteral("other")).errorDescription());
        QVERIFY(!Browsers::fromRaw(QStringLiteral("org.mozilla.firefox")));
        QCOMPARE(Browsers::fromPreference(QStringLiteral("org.mozilla.firefox")), Browser::safari);
    }
};

QTEST_GUILESS_MAIN(TestSessionModel)
#include "tst_sessionmodel.moc"
