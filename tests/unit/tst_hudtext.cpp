// The HUD's words and chooser rows, decided from the session model.
#include "HUDText.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<ChatTarget>)
Q_DECLARE_METATYPE(std::optional<ChatList>)
Q_DECLARE_METATYPE(Mic)

namespace {

const QString host = QStringLiteral("https://claude.ai");

ChatTarget chat(const QString& title, const QString& path)
{
    return {title, host + path};
}

QStringList titles(const QList<ChatTarget>& rows)
{
    QStringList out;
    for (const ChatTarget& row : rows)
        out << row.title;
    return out;
}

ChatList listOf(const QList<QStringList>& rows)
{
    return ChatList::fromRows(rows);
}

} // namespace

class TestHUDText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sizeLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");
        QTest::newRow("two lines") << QStringLiteral("a\nb") << QStringLiteral("2 ln");
        QTest::newRow("trailing line feed is a line") << QStringLiteral("a\n") << QStringLiteral("2 ln");
        QTest::newRow("empty lines count") << QStringLiteral("\n\n") << QStringLiteral("3 ln");
        QTest::newRow("empty") << QString() << QStringLiteral("0 ch");
        QTest::newRow("340") << QString(340, QLatin1Char('x')) << QStringLiteral("340 ch");
        QTest::newRow("999") << QString(999, QLatin1Char('x')) << QStringLiteral("999 ch");
        QTest::newRow("1000") << QString(1000, QLatin1Char('x')) << QStringLiteral("1.0k");
        QTest::newRow("1234") << QString(1234, QLatin1Char('x')) << QStringLiteral("1.2k");
        QTest::newRow("long lines still count lines")
            << (QString(5000, QLatin1Char('x')) + QLatin1Char('\n')) << QStringLiteral("2 ln");
        // Three emoji are six UTF-16 units but three characters to the reader.
        QTest::newRow("emoji count once") << QStringLiteral("😀👍🎉") << QStringLiteral("3 ch");
        QTest::newRow("combining accent") << QStringLiteral("e\u0301") << QStringLiteral("1 ch");
    }
    void sizeLabel()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        QCOMPARE(HUDText::size(text), label);
    }

    void pillTexts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const auto line = [](const Mic& mic, const QString& t) {
            const HUDText::TranscriptLine l = HUDText::transcriptLine(mic, t);
            const char* style[] = {"failure", "placeholder", "speech"};
            return QString::fromLatin1(style[int(l.style)]) + QLatin1Char(':') + l.text;
        };
        const QString hello = QStringLiteral("hello there");
        QTest::newRow("preparing, no words")
            << line(Mic::preparing(), {}) << QStringLiteral("placeholder:One sec");
        QTest::newRow("listening, no words")
            << line(Mic::listening(), {}) << QStringLiteral("placeholder:Listening");
        QTest::newRow("off, no words") << line(Mic::off(), {}) << QStringLiteral("placeholder:Listening");
        QTest::newRow("words win over preparing")
            << line(Mic::preparing(), hello) << QStringLiteral("speech:") + hello;
        QTest::newRow("mic failure wins over words")
            << line(Mic::failed(QStringLiteral("No microphone")), hello)
            << QStringLiteral("failure:No microphone");

        const ChatTarget plan = chat(QStringLiteral("Plan"), QStringLiteral("/chat/1"));
        QTest::newRow("practice whatever the target")
            << HUDText::sentText(true, plan, QStringLiteral("Claude"))
            << QStringLiteral("Practice run. Nothing was sent.");
        QTest::newRow("sent to target")
            << HUDText::sentText(false, plan, QStringLiteral("Claude")) << QStringLiteral("Sent to Plan");
        QTest::newRow("sent to new chat") << HUDText::sentText(false, std::nullopt, QStringLiteral("Claude"))
                                          << QStringLiteral("Sent to a new Claude chat");

        const auto detail = [](const QString& message) {
            return HUDText::failureDetail(message).value_or(QStringLiteral("<none>"));
        };
        QTest::newRow("nothing to send has one line")
            << detail(QStringLiteral("Nothing to send")) << QStringLiteral("<none>");
        QTest::newRow("near miss keeps the second line")
            << detail(QStringLiteral("Nothing to send."))
            << QStringLiteral("Your message is copied. Paste it with Ctrl+V.");
        QTest::newRow("delivery failure") << detail(QStringLiteral("Send didn't go through"))
                                          << QStringLiteral("Your message is copied. Paste it with Ctrl+V.");
    }
    void pillTexts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void chip_data()
    {
        QTest::addColumn<std::optional<ChatTarget>>("target");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<QString>("shown"); // glyph title | tooltip
        QTest::addColumn<bool>("natural");
        const std::optional<ChatTarget> none;
        const ChatTarget thirteen = chat(QStringLiteral("Thirteen char"), QStringLiteral("/chat/1"));
        const ChatTarget fourteen = chat(QStringLiteral("Fourteen chars"), QStringLiteral("/chat/2"));
        QTest::newRow("new chat") << none << false << QStringLiteral("+ New chat | Sending to a new chat")
                                  << true;
        QTest::newRow("new chat expanded")
            << none << true << QStringLiteral("+ New chat | Sending to a new chat") << false;
        QTest::newRow("short title") << std::optional(thirteen) << false
                                     << QStringLiteral("→ Thirteen char | Sending to Thirteen char") << true;
        QTest::newRow("14 characters are cut")
            << std::optional(fourteen) << false
            << QStringLiteral("→ Fourteen chars | Sending to Fourteen chars") << false;
    }
    void chip()
    {
        QFETCH(std::optional<ChatTarget>, target);
        QFETCH(bool, expanded);
        QFETCH(QString, shown);
        QFETCH(bool, natural);
        QCOMPARE(HUDText::chipGlyph(target) + QLatin1Char(' ') + HUDText::chipTitle(target) +
                     QStringLiteral(" | ") + HUDText::chipTooltip(target),
                 shown);
        QCOMPARE(HUDText::chipKeepsNaturalWidth(target, expanded), natural);
    }

    void preview_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        Item automatic = Item::shot(QImage(), {}, QStringLiteral("Safari"), QStringLiteral("Docs"));
        automatic.automatic = true;
        const Item added = Item::shot(QImage(), {}, QStringLiteral("Safari"), {});
        const Item clip = Item::clip(QStringLiteral("x"), {}, QStringLiteral("starter.py"));
        QTest::newRow("auto shot") << HUDText::previewCaption(automatic)
                                   << QStringLiteral("Auto screenshot, Safari, Docs");
        QTest::newRow("added shot") << HUDText::previewCaption(added) << QStringLiteral("Screenshot, Safari");
        QTest::newRow("clip") << HUDText::previewCaption(clip) << QStringLiteral("Copied from starter.py");

        QStringList twelve;
        for (int i = 1; i <= 12; ++i)
            twelve << QString::number(i);
        QTest::newRow("ten of twelve lines") << HUDText::firstLines(twelve.join(QLatin1Char('\n')))
                                             << twelve.mid(0, 10).join(QLatin1Char('\n'));
        QTest::newRow("empty lines kept")
            << HUDText::firstLines(QStringLiteral("a\n\nb\n")) << QStringLiteral("a\n\nb\n");
    }
    void preview()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void chooser_data()
    {
        QTest::addColumn<std::optional<ChatTarget>>("target");
        QTest::addColumn<std::optional<ChatList>>("chats");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("marked"); // "new", a row title, or "" for none
        QTest::addColumn<QString>("footer");
        const std::optional<ChatTarget> none;
        const QString t = QStringLiteral("t"), r = QStringLiteral("r");
        const auto row = [](const QString& kind, const QString& title, const QString& path) {
            return QStringList{kind, title, host + path};
        };

        QTest::newRow("not loaded yet") << none << std::optional<ChatList>() << QStringList()
                                        << QStringLiteral("new") << QStringLiteral("Finding recent chats");
        QTest::newRow("loaded, nothing found")
            << none << std::optional(ChatList()) << QStringList() << QStringLiteral("new")
            << QStringLiteral("No recent chats found. Say the chat's name, or open Claude in your browser.");
        QTest::newRow("target is the first tab")
            << std::optional(chat(QStringLiteral("Plan"), QStringLiteral("/chat/1")))
            << std::optional(listOf({row(t, QStringLiteral("Plan"), QStringLiteral("/chat/1")),
                                     row(r, QStringLiteral("Other"), QStringLiteral("/chat/2"))}))
            << QStringList{QStringLiteral("Plan"), QStringLiteral("Other")} << QStringLiteral("Plan")
            << QString();
        QTest::newRow("target differs from its tab by query and fragment")
            << std::optional(chat(QStringLiteral("Spoken"), QStringLiteral("/chat/1?x=1#top")))
            << std::optional(listOf({row(t, QStringLiteral("Tab title"), QStringLiteral("/chat/1"))}))
            << QStringList{QStringLiteral("Spoken")} << QStringLiteral("Spoken") << QString();
        QTest::newRow("tab wins over the same recent")
            << none
            << std::optional(listOf({row(t, QStringLiteral("Tab"), QStringLiteral("/chat/1")),
                                     row(r, QStringLiteral("Recent"), QStringLiteral("/chat/1#x"))}))
            << QStringList{QStringLiteral("Tab")} << QStringLiteral("new") << QString();
        QList<QStringList> eight;
        for (int i = 1; i <= 8; ++i)
            eight << row(i <= 3 ? t : r, QStringLiteral("c%1").arg(i), QStringLiteral("/chat/%1").arg(i));
        QTest::newRow("at most five, tabs first")
            << none << std::optional(listOf(eight))
            << QStringList{QStringLiteral("c1"), QStringLiteral("c2"), QStringLiteral("c3"),
                           QStringLiteral("c4"), QStringLiteral("c5")}
            << QStringLiteral("new") << QString();
        QTest::newRow("target not listed still heads the five")
            << std::optional(chat(QStringLiteral("Spoken"), QStringLiteral("/chat/99")))
            << std::optional(listOf(eight))
            << QStringList{QStringLiteral("Spoken"), QStringLiteral("c1"), QStringLiteral("c2"),
                           QStringLiteral("c3"), QStringLiteral("c4")}
            << QStringLiteral("Spoken") << QString();
    }
    void chooser()
    {
        QFETCH(std::optional<ChatTarget>, target);
        QFETCH(std::optional<ChatList>, chats);
        QFETCH(QStringList, rows);
        QFETCH(QString, marked);
        QFETCH(QString, footer);

        const QList<ChatTarget> offered = HUDText::chooserRows(target, chats);
        QCOMPARE(titles(offered), rows);
        QStringList on;
        if (!target) on << QStringLiteral("new");
        for (const ChatTarget& row : offered)
            if (HUDText::isChosen(row, target)) on << row.title;
        QCOMPARE(on.join(QLatin1Char(',')), marked);
        QCOMPARE(HUDText::chooserFooter(chats, offered, QStringLiteral("Claude")).value_or(QString()),
                 footer);
        QCOMPARE(HUDText::newChatTitle(QStringLiteral("Claude")), QStringLiteral("New Claude chat"));
    }
};

QTEST_GUILESS_MAIN(TestHUDText)
#include "tst_hudtext.moc"
