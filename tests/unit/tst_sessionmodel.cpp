// The session model and its value types: observation, the phase log, chat
// lists built from listing rows, and the user-facing failure messages.
#include "ScopedLog.h"
#include "SessionModel.h"

#include <QSignalSpy>
#include <QTest>

class TestSessionModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every assignment notifies, even of an equal value, but only a phase change is logged.
    void everyAssignmentNotifiesAndPhaseChangesAreLogged()
    {
        ScopedLog log;
        SessionModel model(Destination::claude(), Browser::chrome);
        QSignalSpy transcript(&model, &SessionModel::transcriptChanged);
        QSignalSpy any(&model, &SessionModel::changed);
        model.setTranscript("hello");
        model.setTranscript("hello");
        model.setPhase(Phase::live());
        model.setPhase(Phase::live());
        model.setPhase(Phase::failed("Nothing to send"));
        QCOMPARE(transcript.count(), 2);
        QCOMPARE(any.count(), 5);
        QCOMPARE(log.messages(),
                 (QStringList{"phase idle → live", "phase live → failed(\"Nothing to send\")"}));
    }

    void imagesAndResetKeepWhatTheyShould()
    {
        SessionModel model(Destination::chatgpt(), Browser::safari);
        model.appendItem(Item::shot(QImage(), "one", "Term", {}));
        model.appendItem(Item::clip("copied", "Editor"));
        model.appendItem(Item::shot(QImage(), "two", {}, "Window"));
        QCOMPARE(model.images(), (QList<QByteArray>{"one", "two"}));

        model.setPhase(Phase::live());
        model.setTarget(ChatTarget{"Plan", "https://chatgpt.com/c/1"});
        model.setMic(Mic::listening());
        model.setTranscript("words");
        model.setLevel(0.5f);
        QSignalSpy items(&model, &SessionModel::itemsChanged);
        model.reset();
        QCOMPARE(items.count(), 1);
        QVERIFY(model.items().isEmpty() && model.transcript().isEmpty() && model.level() == 0.0f);
        QCOMPARE(model.phase(), Phase::live());
        QVERIFY(model.target().has_value());
        QCOMPARE(model.mic(), Mic::listening());
    }

    void itemSourceAndIdentity()
    {
        const Item a = Item::clip("x", "Safari");
        QCOMPARE(Item::clip("x", {}, "Notes").source(), "Notes");
        QCOMPARE(Item::clip("x", "A", "B").source(), "A, B");
        Item copy = a;
        copy.text = "changed";
        QVERIFY(copy == a);
        QVERIFY(!(Item::clip("x", "Safari") == a));
    }

    void chatListFromListingRows()
    {
        const QString u = "https://claude.ai/chat/abc", v = "https://claude.ai/chat/def";
        const ChatList list = ChatList::fromRows({
            {"t", "Plan  Includes an artifact ", u + "?x=1#frag"},
            {"r", "Plan", u},
            {"t", "Plan", u + "#other"},
            {"x", "Other", v},
            {"t", "   ", v},
            {"t", "Two fields"},
        });
        const ChatTarget plan{"Plan", u}, other{"Other", v};
        QCOMPARE(list.tabs(), QList<ChatTarget>{plan});
        QCOMPARE(list.recents(), (QList<ChatTarget>{plan, other}));
        QCOMPARE(list.all(), (QList<ChatTarget>{plan, other}));
        // A chat's key drops a query even inside the fragment, and leading separators.
        QCOMPARE(ChatList::key("https://a/c/1#f?q"), "https://a/c/1");
        QCOMPARE(ChatList::key("#a?b"), "a");
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
