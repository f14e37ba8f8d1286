// The HUD's words and chooser rows, decided from the session model.
#include "HUDText.h"

#include <QTest>

Q_DECLARE_METATYPE(std::optional<ChatTarget>)
Q_DECLARE_METATYPE(std::optional<ChatList>)

namespace {

const QString host = QStringLiteral("https://claude.ai");

ChatTarget chat(const QString& title, const QString& path)
{
    return {title, host + path};
}

QString line(const Mic& mic, const QString& transcript)
{
    const HUDText::TranscriptLine l = HUDText::transcriptLine(mic, transcript);
    const char* style[] = {"failure", "placeholder", "speech"};
    return QString::fromLatin1(style[int(l.style)]) + QLatin1Char(':') + l.text;
}

QString chip(const std::optional<ChatTarget>& target, bool expanded)
{
    return HUDText::chipGlyph(target) + QLatin1Char(' ') + HUDText::chipTitle(target) +
           QStringLiteral(" | ") + HUDText::chipTooltip(target) +
           (HUDText::chipKeepsNaturalWidth(target, expanded) ? QStringLiteral(" | natural") : QString());
}

} // namespace

class TestHUDText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        const auto size = [](const QString& text) { return HUDText::size(text); };
        QTest::newRow("size: trailing line feed is a line") << size("a\n") << "2 ln";
        QTest::newRow("size: long text with a line feed counts lines")
            << size(QString(5000, 'x') + "\n") << "2 ln";
        QTest::newRow("size: 999") << size(QString(999, 'x')) << "999 ch";
        QTest::newRow("size: 1000") << size(QString(1000, 'x')) << "1.0k";
        QTest::newRow("size: combining accent") << size(QStringLiteral("e\u0301")) << "1 ch";

        QTest::newRow("line: preparing") << line(Mic::preparing(), {}) << "placeholder:One sec";
        QTest::newRow("line: words win over preparing") << line(Mic::preparing(), "hi") << "speech:hi";
        QTest::newRow("line: mic failure wins over words")
            << line(Mic::failed(QStringLiteral("No microphone")), "hi") << "failure:No microphone";

        const ChatTarget plan = chat(QStringLiteral("Plan"), QStringLiteral("/chat/1"));
        QTest::newRow("sent: practice whatever the target")
            << HUDText::sentText(true, plan, "Claude") << "Practice run. Nothing was sent.";
        QTest::newRow("sent: to target") << HUDText::sentText(false, plan, "Claude") << "Sent to Plan";
        QTest::newRow("sent: to new chat")
            << HUDText::sentText(false, std::nullopt, "Claude") << "Sent to a new Claude chat";
        const auto detail = [](const QString& m) { return HUDText::failureDetail(m).value_or("<none>"); };
        // Nothing was copied, so there is no second line.
        QTest::newRow("detail: nothing to send") << detail("Nothing to send") << "<none>";
        QTest::newRow("detail: near miss keeps it")
            << detail("Nothing to send.") << "Your message is copied. Paste it with Ctrl+V.";

        const std::optional<ChatTarget> none;
        QTest::newRow("chip: expanded never insists")
            << chip(none, true) << "+ New chat | Sending to a new chat";
        QTest::newRow("chip: 13 characters fit") << chip(chat("Thirteen char", "/chat/1"), false)
                                                 << "→ Thirteen char | Sending to Thirteen char | natural";
        QTest::newRow("chip: 14 characters are cut") << chip(chat("Fourteen chars", "/chat/2"), false)
                                                     << "→ Fourteen chars | Sending to Fourteen chars";

        Item automatic = Item::shot(QImage(), {}, QStringLiteral("Safari"), QStringLiteral("Docs"));
        automatic.automatic = true;
        QTest::newRow("caption: auto shot")
            << HUDText::previewCaption(automatic) << "Auto screenshot, Safari, Docs";
        QTest::newRow("caption: untitled shot")
            << HUDText::previewCaption(Item::shot(QImage(), {}, QStringLiteral("Safari"), {}))
            << "Screenshot, Safari";
        QTest::newRow("first ten lines, empty ones kept")
            << HUDText::firstLines("1\n\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12") << "1\n\n3\n4\n5\n6\n7\n8\n9\n10";
    }
    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void chooser_data()
    {
        QTest::addColumn<std::optional<ChatTarget>>("target");
        QTest::addColumn<std::optional<ChatList>>("chats");
        QTest::addColumn<QString>("rows"); // titles, the chosen one (or "new") marked with *
        QTest::addColumn<QString>("footer");
        const std::optional<ChatTarget> none;
        const auto row = [](const char* kind, const QString& title, const QString& path) {
            return QStringList{QString::fromLatin1(kind), title, host + path};
        };

        QTest::newRow("not loaded yet") << none << std::optional<ChatList>() << "new*"
                                        << "Finding recent chats";
        QTest::newRow("loaded, nothing found")
            << none << std::optional(ChatList()) << "new*"
            << "No recent chats found. Say the chat's name, or open Claude in your browser.";
        QTest::newRow("target differs from its tab by query and fragment")
            << std::optional(chat("Spoken", "/chat/1?x=1#top"))
            << std::optional(ChatList::fromRows({row("t", "Tab title", "/chat/1")})) << "new,Spoken*"
            << QString();
        QTest::newRow("tab wins over the same recent")
            << none
            << std::optional(
                   ChatList::fromRows({row("t", "Tab", "/chat/1"), row("r", "Recent", "/chat/1#x")}))
            << "new*,Tab" << QString();
        QList<QStringList> eight;
        for (int i = 1; i <= 8; ++i)
            eight << row(i <= 3 ? "t" : "r", QStringLiteral("c%1").arg(i), QStringLiteral("/chat/%1").arg(i));
        QTest::newRow("at most five, a target not listed heads them")
            << std::optional(chat("Spoken", "/chat/99")) << std::optional(ChatList::fromRows(eight))
            << "new,Spoken*,c1,c2,c3,c4" << QString();
    }
    void chooser()
    {
        QFETCH(std::optional<ChatTarget>, target);
        QFETCH(std::optional<ChatList>, chats);
        QFETCH(QString, footer);

        const QList<ChatTarget> offered = HUDText::chooserRows(target, chats);
        QStringList rows{target ? QStringLiteral("new") : QStringLiteral("new*")};
        for (const ChatTarget& r : offered)
            rows << r.title + (HUDText::isChosen(r, target) ? QStringLiteral("*") : QString());
        QTEST(rows.join(QLatin1Char(',')), "rows");
        QCOMPARE(HUDText::chooserFooter(chats, offered, QStringLiteral("Claude")).value_or(QString()),
                 footer);
    }
};

QTEST_GUILESS_MAIN(TestHUDText)
#include "tst_hudtext.moc"
