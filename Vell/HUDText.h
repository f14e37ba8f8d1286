// The words and lists the HUD shows, decided from the session model. The
// view only draws what these functions return.
#pragma once

#include "SessionModel.h"

#include <QList>
#include <QString>

#include <optional>

namespace HUDText {

// Short size label of a copied text: "2 ln" for several lines, "1.2k" from
// 1000 characters on, else "340 ch". Characters are what the user sees, so
// an emoji counts once.
QString size(const QString& text);

// The line beside the voice bars while a session is live.
struct TranscriptLine {
    enum class Style { failure, placeholder, speech };
    QString text;
    Style style = Style::speech;
};
TranscriptLine transcriptLine(const Mic& mic, const QString& transcript);

QString sendingText(const QString& destinationName);
QString sentText(bool practice, const std::optional<ChatTarget>& target, const QString& destinationName);
// The line under a failure message; none for "Nothing to send", where nothing was copied.
std::optional<QString> failureDetail(const QString& message);

// The target chip.
QString chipGlyph(const std::optional<ChatTarget>& target);
QString chipTitle(const std::optional<ChatTarget>& target);
QString chipTooltip(const std::optional<ChatTarget>& target);
// A collapsed chip shows "New chat" or a short title in full; a longer title is
// cut to the collapsed width. An expanded chip never insists on its natural width.
bool chipKeepsNaturalWidth(const std::optional<ChatTarget>& target, bool expanded);

// The caption under an enlarged attachment: "Auto screenshot, Safari, Title".
QString previewCaption(const Item& item);
// The first `count` lines of a text, empty lines kept.
QString firstLines(const QString& text, int count = 10);

// The chooser: the target, then open tabs, then recent chats, each chat once
// (by ChatList::key), at most five.
QList<ChatTarget> chooserRows(const std::optional<ChatTarget>& target, const std::optional<ChatList>& chats);
QString newChatTitle(const QString& destinationName);
// Whether a listed chat is the one the message goes to.
bool isChosen(const ChatTarget& row, const std::optional<ChatTarget>& target);
// The line under the rows: none when chats are listed.
std::optional<QString> chooserFooter(const std::optional<ChatList>& chats, const QList<ChatTarget>& rows,
                                     const QString& destinationName);

} // namespace HUDText
