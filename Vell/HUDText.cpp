#include "HUDText.h"

#include <QSet>
#include <QTextBoundaryFinder>

namespace {

qsizetype visibleCharacters(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

constexpr qsizetype collapsedTitleLimit = 14;
constexpr qsizetype chooserLimit = 5;

} // namespace

namespace HUDText {

QString size(const QString& text)
{
    const qsizetype lines = text.count(QLatin1Char('\n')) + 1;
    if (lines >= 2) return QStringLiteral("%1 ln").arg(lines);
    const qsizetype chars = visibleCharacters(text);
    if (chars >= 1000) return QString::asprintf("%.1fk", double(chars) / 1000.0);
    return QStringLiteral("%1 ch").arg(chars);
}

TranscriptLine transcriptLine(const Mic& mic, const QString& transcript)
{
    if (mic.kind == Mic::Kind::failed) return {mic.message, TranscriptLine::Style::failure};
    if (transcript.isEmpty()) {
        const bool preparing = mic.kind == Mic::Kind::preparing;
        return {preparing ? QStringLiteral("One sec") : QStringLiteral("Listening"),
                TranscriptLine::Style::placeholder};
    }
    return {transcript, TranscriptLine::Style::speech};
}

QString sendingText(const QString& destinationName)
{
    return QStringLiteral("Sending to ") + destinationName;
}

QString sentText(bool practice, const std::optional<ChatTarget>& target, const QString& destinationName)
{
    if (practice) return QStringLiteral("Practice run. Nothing was sent.");
    if (target) return QStringLiteral("Sent to ") + target->title;
    return QStringLiteral("Sent to a new ") + destinationName + QStringLiteral(" chat");
}

std::optional<QString> failureDetail(const QString& message)
{
    if (message == QLatin1String("Nothing to send")) return std::nullopt;
    return QStringLiteral("Your message is copied. Paste it with Ctrl+V.");
}

QString chipGlyph(const std::optional<ChatTarget>& target)
{
    return target ? QStringLiteral("→") : QStringLiteral("+");
}

QString chipTitle(const std::optional<ChatTarget>& target)
{
    return target ? target->title : QStringLiteral("New chat");
}

QString chipTooltip(const std::optional<ChatTarget>& target)
{
    return target ? QStringLiteral("Sending to ") + target->title : QStringLiteral("Sending to a new chat");
}

bool chipKeepsNaturalWidth(const std::optional<ChatTarget>& target, bool expanded)
{
    if (expanded) return false;
    return !target || visibleCharacters(target->title) < collapsedTitleLimit;
}

QString previewCaption(const Item& item)
{
    QString prefix;
    if (item.isClip())
        prefix = QStringLiteral("Copied from ");
    else if (item.automatic)
        prefix = QStringLiteral("Auto screenshot, ");
    else
        prefix = QStringLiteral("Screenshot, ");
    return prefix + item.source();
}

QString firstLines(const QString& text, int count)
{
    return text.split(QLatin1Char('\n')).mid(0, count).join(QLatin1Char('\n'));
}

QList<ChatTarget> chooserRows(const std::optional<ChatTarget>& target, const std::optional<ChatList>& chats)
{
    QList<ChatTarget> candidates;
    if (target) candidates.append(*target);
    if (chats) candidates << chats->tabs() << chats->recents();

    QList<ChatTarget> rows;
    QSet<QString> seen;
    for (const ChatTarget& chat : std::as_const(candidates)) {
        const QString key = ChatList::key(chat.url);
        if (seen.contains(key)) continue;
        seen.insert(key);
        rows.append(chat);
        if (rows.size() == chooserLimit) break;
    }
    return rows;
}

QString newChatTitle(const QString& destinationName)
{
    return QStringLiteral("New ") + destinationName + QStringLiteral(" chat");
}

bool isChosen(const ChatTarget& row, const std::optional<ChatTarget>& target)
{
    return target && ChatList::key(row.url) == ChatList::key(target->url);
}

std::optional<QString> chooserFooter(const std::optional<ChatList>& chats, const QList<ChatTarget>& rows,
                                     const QString& destinationName)
{
    if (!chats) return QStringLiteral("Finding recent chats");
    if (rows.isEmpty())
        return QStringLiteral("No recent chats found. Say the chat's name, or open ") + destinationName +
               QStringLiteral(" in your browser.");
    return std::nullopt;
}

} // namespace HUDText
