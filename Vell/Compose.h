// Turning a raw transcript into the message text and the spoken chat
// commands it carries. Pure functions, safe on any thread. Positions are
// UTF-16 code units, like QString's.
#pragma once

#include "SessionModel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What a spoken chat phrase asks for.
struct ChatIntent {
    enum class Kind { named, newChat, recent };
    Kind kind = Kind::newChat;
    QString name; // only for `named`, as spoken

    static ChatIntent named(const QString& name) { return {Kind::named, name}; }
    static ChatIntent newChat() { return {Kind::newChat, {}}; }
    static ChatIntent recent() { return {Kind::recent, {}}; }

    // new, recent, or named("name"): the form the log uses.
    QString rendered() const;
    bool operator==(const ChatIntent& o) const { return kind == o.kind && (kind != Kind::named || name == o.name); }
};

namespace Compose {

// One chat phrase in a transcript: the intent and the UTF-16 range of the whole phrase.
struct Mention {
    ChatIntent intent;
    qsizetype location = 0;
    qsizetype length = 0;
    bool operator==(const Mention&) const = default;
};

// Every chat phrase, in the order of their chat words.
QList<Mention> chatMentions(const QString& text);
// The text with every chat phrase replaced by a single space.
QString removingChatPhrase(const QString& text);
// Fillers and spoken commands removed, spacing tidied.
QString clean(const QString& transcript);
// Lower-case ASCII letters and single spaces only.
QString normalize(const QString& text);
// Lower-case alphanumeric words, in order.
QStringList words(const QString& text);
// The text that is delivered: the cleaned speech, then each copied text in a fenced block.
QString message(const QString& transcript, const QList<Item>& items);
// The chat whose title best matches a spoken name, or none.
std::optional<ChatTarget> closestChat(const QString& name, const QList<ChatTarget>& chats);

} // namespace Compose
