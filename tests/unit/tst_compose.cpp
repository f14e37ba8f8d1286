// Message composition: chat phrases, cleanup, the delivered text, chat-name matching.
#include "Compose.h"

#include <QTest>

namespace {

const QString lone = QString(QChar(0xD800));

// Tables of one text in and one text out.
void columns()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
}

void row(const char* name, const QString& text, const QString& expected)
{
    QTest::newRow(name) << text << expected;
}

template <typename F> void check(F f)
{
    QFETCH(QString, text);
    QTEST(f(text), "expected");
}

// Each mention as its intent and the text with the phrase in brackets, "; " between mentions.
QString describe(const QString& text)
{
    QStringList described;
    for (const Compose::Mention& m : Compose::chatMentions(text)) {
        QString marked = text;
        marked.insert(m.location + m.length, QLatin1Char(']')).insert(m.location, QLatin1Char('['));
        described << m.intent.rendered() + QLatin1Char(' ') + marked;
    }
    return described.join("; ");
}

} // namespace

class TestCompose : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void chatMentions_data()
    {
        columns();
        row("verb object", "put this in a new chat", "new [put this in a new chat]");
        row("named", "send this to the budget chat", R"(named("budget") [send this to the budget chat])");
        row("inner punctuation", "ask about it in my Q3 budget-plan chat, ok",
            R"(named("Q3 budget-plan") ask about it [in my Q3 budget-plan chat], ok)");
        row("9 words back", "send it to 1 2 3 4 5 6 7 8 chat", "");
        row("two", "start a new chat, no wait, in the same chat",
            "new [start a new chat], no wait, in the same chat; recent start a new chat, no wait, [in the "
            "same chat]");
        row("combining mark", "to my cafe\u0301 chat", "named(\"cafe\u0301\") [to my cafe\u0301 chat]");
    }
    void chatMentions() { check(describe); }

    void removingChatPhrase_data()
    {
        columns();
        // A later phrase reaching back over an earlier one must not eat what follows.
        row("same start", "put it in a new chat, the budget chat, and hurry", " , and hurry");
        row("earlier start", "in budget new chat foo chat and more words", "  and more words");
    }
    void removingChatPhrase() { check(Compose::removingChatPhrase); }

    void clean_data()
    {
        columns();
        row("new chat command", "start a new chat. What does this error mean?", "What does this error mean?");
        row("fillers inside words", "Summer is sooo warm, erm. cancel", "Summer is sooo warm");
        row("only a closing send it", "send it to me, then add this. Send it!", "send it to me, then");
        row("unpaired surrogate", "uh, broken " + lone + " text", "broken \uFFFD text");
    }
    void clean() { check(Compose::clean); }

    void message_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QList<Item>>("items");
        QTest::addColumn<QString>("expected");
        const auto clip = [](const char* text) { return Item::clip(QString::fromUtf8(text), "Terminal"); };
        QTest::newRow("only commands")
            << "Um, so send this to the budget chat, send it." << QList<Item>{} << "";
        QTest::newRow("clip kept as is")
            << "what's wrong, uh"
            << QList<Item>{clip("line 1\n  line 2\n"), Item::shot(QImage(), "jpeg", "Editor", "a")}
            << "what's wrong\n\n```\nline 1\n  line 2\n\n```";
        QTest::newRow("clip with a fence")
            << "explain" << QList<Item>{clip("x = ```y```")} << "explain\n\n````\nx = ```y```\n````";
    }
    void message()
    {
        QFETCH(QString, transcript);
        QFETCH(QList<Item>, items);
        QTEST(Compose::message(transcript, items), "expected");
    }

    void closestChat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("expected"); // index into titles, -1 for none
        QTest::newRow("stop words only") << "the chat" << QStringList{"The chat"} << -1;
        QTest::newRow("higher later")
            << "lisbon march plans" << QStringList{"Trip to Lisbon in March", "Lisbon: March plans"} << 1;
        QTest::newRow("number present") << "trip 2" << QStringList{"Trip to Lisbon", "Trip 2 notes"} << 1;
        QTest::newRow("spoken prefix") << "budg" << QStringList{"Budgets"} << 0;
        QTest::newRow("decomposed accent") << "café" << QStringList{"Cafe\u0301 notes"} << 0;
    }
    void closestChat()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, titles);
        QList<ChatTarget> chats;
        for (const QString& t : titles)
            chats.append({t, "https://claude.ai/chat/" + QString::number(chats.size())});
        const std::optional<ChatTarget> found = Compose::closestChat(name, chats);
        QTEST(found ? int(chats.indexOf(*found)) : -1, "expected");
    }

    void longTranscriptStaysIntact()
    {
        QString text;
        for (int i = 0; i < 8000; ++i)
            text += "🎉 Um, send this to the budget chat, ok? ";
        QCOMPARE(Compose::chatMentions(text).size(), 8000);
        QCOMPARE(Compose::message(text, {}), QStringList(8000, "🎉, ok?").join(' '));
    }
};

QTEST_GUILESS_MAIN(TestCompose)
#include "tst_compose.moc"
