// Message composition: spoken chat phrases, transcript cleanup, the delivered
// text and the match of a spoken chat name against chat titles.
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
    QFETCH(QString, expected);
    QCOMPARE(f(text), expected);
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
        row("bare", "new chat", "new [new chat]");
        row("verb object", "put this in a new chat", "new [put this in a new chat]");
        row("named", "send this to the budget chat", R"(named("budget") [send this to the budget chat])");
        row("same", "in the same chat", "recent [in the same chat]");
        row("continue", "continue this chat", "recent [continue this chat]");
        row("no lead-in", "the budget chat", "");
        row("fillers only", "in the chat", "");
        row("first word", "chat about the new plan", "");
        row("earlier lead-in", "Put it into my Resume chat",
            R"(named("Resume") [Put it into my Resume chat])");
        row("inner punctuation", "ask about it in my Q3 budget-plan chat, ok",
            R"(named("Q3 budget-plan") ask about it [in my Q3 budget-plan chat], ok)");
        row("8 words back", "send it to 1 2 3 4 5 6 7 chat",
            R"(named("1 2 3 4 5 6 7") [send it to 1 2 3 4 5 6 7 chat])");
        row("9 words back", "send it to 1 2 3 4 5 6 7 8 chat", "");
        row("two", "start a new chat, no wait, in the same chat",
            "new [start a new chat], no wait, in the same chat; recent start a new chat, no wait, [in the "
            "same chat]");
        row("right to left", "أرسل هذا to the עברית chat", R"(named("עברית") أرسل هذا [to the עברית chat])");
        row("mark on the chat word", "in my cafe chat\u0301", "");
        row("combining mark", "to my cafe\u0301 chat", "named(\"cafe\u0301\") [to my cafe\u0301 chat]");
        row("unpaired surrogate", lone + "in the budget chat",
            R"(named("budget") )" + lone + "[in the budget chat]");
    }
    void chatMentions() { check(describe); }

    void removingChatPhrase_data()
    {
        columns();
        row("named", "so send this to the budget chat, thanks", "so  , thanks");
        // A later phrase reaching back over an earlier one must not eat what follows.
        row("same start", "put it in a new chat, the budget chat, and hurry", " , and hurry");
        row("earlier start", "in budget new chat foo chat and more words", "  and more words");
    }
    void removingChatPhrase() { check(Compose::removingChatPhrase); }

    void clean_data()
    {
        columns();
        row("trailing filler", "why is this slow , uh", "why is this slow");
        row("new chat command", "start a new chat. What does this error mean?", "What does this error mean?");
        row("leading conjunction", "and, uhm, how do I fix it?", "how do I fix it?");
        row("fillers inside words", "Summer is sooo warm, erm. cancel", "Summer is sooo warm");
        row("only a closing send it", "send it to me, then add this. Send it!", "send it to me, then");
        row("line breaks, final period", "first line\n\nsecond  line .", "first line second line");
        row("filler with combining mark", "um\u0301 ok", "um\u0301 ok");
        row("unpaired surrogate", "uh, broken " + lone + " text", "broken \uFFFD text");
    }
    void clean() { check(Compose::clean); }

    void normalize_data()
    {
        columns();
        row("punctuation", "Send it!", "send it");
        row("digits, emoji, accents", "  add\tthis 🎉 2 times, Café\n", "add this times caf");
        row("nothing left", "!?", "");
    }
    void normalize() { check(Compose::normalize); }

    void words_data()
    {
        columns(); // the words joined by "|"
        row("hyphen, digits", "Q3 budget-plan", "q3|budget|plan");
        row("accents", "ÉTÉ 2024: Crème brûlée", "été|2024|crème|brûlée");
        row("combining mark", "cafe\u0301!", "cafe\u0301");
        row("emoji between", "🎉party🎉time", "party|time");
        row("punctuation only", "...—", "");
    }
    void words()
    {
        check([](const QString& t) { return Compose::words(t).join('|'); });
    }

    void message_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QList<Item>>("items");
        QTest::addColumn<QString>("expected");
        const Item shot = Item::shot(QImage(), "jpeg", "Editor", "main.cpp");
        const auto clip = [](const char* text) { return Item::clip(QString::fromUtf8(text), "Terminal"); };
        QTest::newRow("only commands")
            << "Um, so send this to the budget chat, send it." << QList<Item>{} << "";
        QTest::newRow("nothing") << "" << QList<Item>{shot} << "";
        QTest::newRow("two clips") << "" << QList<Item>{clip("a"), shot, clip("b")}
                                   << "```\na\n```\n\n```\nb\n```";
        QTest::newRow("clip kept as is") << "what's wrong, uh" << QList<Item>{clip("line 1\n  line 2\n")}
                                         << "what's wrong\n\n```\nline 1\n  line 2\n\n```";
        QTest::newRow("clip with a fence")
            << "explain" << QList<Item>{clip("x = ```y```")} << "explain\n\n````\nx = ```y```\n````";
    }
    void message()
    {
        QFETCH(QString, transcript);
        QFETCH(QList<Item>, items);
        QFETCH(QString, expected);
        QCOMPARE(Compose::message(transcript, items), expected);
    }

    void closestChat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<int>("expected"); // index into titles, -1 for none
        QTest::newRow("stop words only") << "the chat" << QStringList{"The chat"} << -1;
        QTest::newRow("tie: first wins") << "budget" << QStringList{"Budget review", "Budget planning"} << 0;
        QTest::newRow("higher later")
            << "lisbon march plans" << QStringList{"Trip to Lisbon in March", "Lisbon: March plans"} << 1;
        QTest::newRow("one of three") << "budget ideas today" << QStringList{"Budget"} << -1;
        QTest::newRow("number missing") << "trip 2" << QStringList{"Trip to Lisbon"} << -1;
        QTest::newRow("number present") << "trip 2" << QStringList{"Trip to Lisbon", "Trip 2 notes"} << 1;
        QTest::newRow("letters and digits") << "q3" << QStringList{"Q4 numbers", "Q3 numbers"} << 1;
        QTest::newRow("spoken prefix") << "budg" << QStringList{"Budgets"} << 0;
        QTest::newRow("title prefix") << "planning" << QStringList{"Plan"} << 0;
        QTest::newRow("prefix too short") << "bu" << QStringList{"Budget"} << -1;
        QTest::newRow("decomposed accent") << "café" << QStringList{"Cafe\u0301 notes"} << 0;
        QTest::newRow("prefix inside a character") << "abc" << QStringList{"abc\u0332 notes"} << -1;
    }
    void closestChat()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, titles);
        QFETCH(int, expected);
        QList<ChatTarget> chats;
        for (const QString& t : titles)
            chats.append({t, "https://claude.ai/chat/" + QString::number(chats.size())});
        const std::optional<ChatTarget> found = Compose::closestChat(name, chats);
        QCOMPARE(found ? chats.indexOf(*found) : -1, expected);
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
