#include "Compose.h"

#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace {

// MARK: Patterns

// The word characters of the ICU regex syntax the patterns are written in:
// alphabetic code points, marks, decimal digits, connector punctuation and the
// joiners. PCRE2's own \w (even with Unicode properties) leaves combining marks
// out, which would cut an accent written as a separate mark off its word.
const QString& wordCharacters()
{
    static const QString chars = QStringLiteral("\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}\\x{200D}");
    return chars;
}

// Compiles a pattern written with ICU's \w and \b. Both are rewritten over the
// ICU word characters; \s and (?i) already follow Unicode with UCP on.
QRegularExpression icuRegex(const QString& pattern)
{
    const QString word = QLatin1Char('[') + wordCharacters() + QLatin1Char(']');
    const QString boundary = QStringLiteral("(?:(?<=%1)(?!%1)|(?<!%1)(?=%1))").arg(word);
    QString translated;
    bool inClass = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            const QChar escaped = pattern.at(++i);
            if (escaped == QLatin1Char('w'))
                translated += inClass ? wordCharacters() : word;
            else if (escaped == QLatin1Char('b') && !inClass)
                translated += boundary;
            else
                translated += c + QString(escaped);
            continue;
        }
        if (c == QLatin1Char('['))
            inClass = true;
        else if (c == QLatin1Char(']'))
            inClass = false;
        translated += c;
    }
    QRegularExpression re(translated, QRegularExpression::UseUnicodePropertiesOption);
    if (!re.isValid())
        qFatal("compose: bad pattern %s: %s", qPrintable(pattern), qPrintable(re.errorString()));
    re.optimize();
    return re;
}

// PCRE2 refuses a subject with an unpaired surrogate outright (no match at
// all), so those become U+FFFD first. One unit for one unit: positions stay.
QString withPairedSurrogates(const QString& text)
{
    QString out = text;
    const qsizetype n = out.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = out.at(i);
        if (c.isHighSurrogate() && i + 1 < n && out.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

// The code point at i and the index after it; an unpaired surrogate reads as U+FFFD.
std::pair<char32_t, qsizetype> codePointAt(const QString& text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text.at(i + 1)), i + 2};
    return {c.isSurrogate() ? char32_t(QChar::ReplacementCharacter) : char32_t(c.unicode()), i + 1};
}

// MARK: Word tables

using WordTable = QSet<QString>;

WordTable table(std::initializer_list<const char*> words)
{
    WordTable set;
    for (const char* w : words)
        set.insert(QString::fromLatin1(w));
    return set;
}

const WordTable& chatWords()
{
    static const WordTable t = table({"chat", "conversation", "thread"});
    return t;
}

const WordTable& leadIns()
{
    static const WordTable t = table({"in", "into", "to", "on", "onto", "continue", "resume"});
    return t;
}

const WordTable& newWords()
{
    static const WordTable t = table({"new", "fresh", "another", "blank", "empty"});
    return t;
}

const WordTable& recentWords()
{
    static const WordTable t = table(
        {"current", "same", "last", "previous", "recent", "latest", "this", "that", "existing", "open"});
    return t;
}

const WordTable& fillers()
{
    static const WordTable t = table({"my", "the", "our", "a", "an"});
    return t;
}

const WordTable& verbs()
{
    static const WordTable t =
        table({"put", "send", "add", "post", "drop", "ask", "say", "start", "open", "make", "use", "do"});
    return t;
}

const WordTable& objects()
{
    static const WordTable t = table({"this", "it", "that"});
    return t;
}

// Ignored when a spoken chat name is matched against titles.
const WordTable& stopWords()
{
    static const WordTable t =
        table({"the",  "my", "a",  "an",   "about", "on",   "in",   "to",           "for",    "of", "and",
               "with", "is", "it", "this", "that",  "like", "chat", "conversation", "thread", "one"});
    return t;
}

// MARK: Chat phrases

struct Token {
    QString word; // lower-cased
    qsizetype start = 0;
    qsizetype end = 0;
};

QList<Token> tokens(const QString& text)
{
    static const QRegularExpression token = icuRegex(QStringLiteral("[\\w'’-]+"));
    const QString subject = withPairedSurrogates(text);
    QList<Token> list;
    auto it = token.globalMatch(subject);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        list.append({m.captured().toLower(), m.capturedStart(), m.capturedEnd()});
    }
    return list;
}

class PhraseFinder {
public:
    explicit PhraseFinder(const QString& text) : text_(text), w_(tokens(text)) {}

    QList<Compose::Mention> mentions() const
    {
        QList<Compose::Mention> found;
        for (qsizetype i = 1; i < w_.size(); ++i) {
            if (!chatWords().contains(w_[i].word)) continue;
            if (auto m = mentionAt(i)) found.append(*m);
        }
        return found;
    }

private:
    bool is(qsizetype j, const WordTable& t) const { return t.contains(w_[j].word); }

    // Whether every word in [from, to) is in the table (true when there is none).
    bool allIn(qsizetype from, qsizetype to, const WordTable& t) const
    {
        for (qsizetype j = from; j < to; ++j)
            if (!is(j, t)) return false;
        return true;
    }

    // The lead-in of the chat word at i, looking at most 8 words back. One
    // followed by fillers only may give way to an earlier one ("into my
    // Resume chat" leads in with "into", not "resume").
    std::optional<qsizetype> leadIn(qsizetype i) const
    {
        std::optional<qsizetype> lead;
        for (qsizetype j = i - 1; j >= std::max<qsizetype>(0, i - 8); --j) {
            if (!is(j, leadIns())) continue;
            lead = j;
            if (!allIn(j + 1, i, fillers())) break;
        }
        return lead;
    }

    std::optional<Compose::Mention> mentionAt(qsizetype i) const
    {
        const std::optional<qsizetype> lead = leadIn(i);
        ChatIntent intent;
        qsizetype s = 0;
        if (is(i - 1, newWords())) {
            intent = ChatIntent::newChat();
            if (lead && allIn(*lead + 1, i - 1, fillers())) {
                s = *lead;
            } else if (i > 1) {
                s = i - 1;
                while (s > 0 && is(s - 1, fillers()))
                    --s;
            }
        } else {
            if (!lead) return std::nullopt;
            qsizetype k = *lead + 1;
            while (k < i && is(k, fillers()))
                ++k;
            if (k == i) return std::nullopt;
            intent = allIn(k, i, recentWords())
                         ? ChatIntent::recent()
                         : ChatIntent::named(text_.mid(w_[k].start, w_[i - 1].end - w_[k].start));
            s = *lead;
        }
        // "send ...", "put this ...", "send it ..."
        if (s > 0) {
            if (is(s - 1, verbs()))
                s -= 1;
            else if (s >= 2 && is(s - 1, objects()) && is(s - 2, verbs()))
                s -= 2;
        }
        return Compose::Mention{intent, w_[s].start, w_[i].end - w_[s].start};
    }

    const QString& text_;
    const QList<Token> w_;
};

// MARK: Matching

// Lower-case words in composed form, so that an accent typed as a separate
// mark compares equal to the precomposed letter.
QStringList composedWords(const QString& text)
{
    QStringList list = Compose::words(text);
    for (QString& w : list)
        w = w.normalized(QString::NormalizationForm_C);
    return list;
}

// Counted in user-perceived characters, as a person would count them.
bool hasAtLeastThreeCharacters(const QString& word)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, word);
    int count = 0;
    while (count < 3 && graphemes.toNextBoundary() > 0)
        ++count;
    return count >= 3;
}

// A prefix that ends inside a character (before a combining mark) is none.
bool beginsWith(const QString& word, const QString& prefix)
{
    if (!word.startsWith(prefix)) return false;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, word);
    graphemes.setPosition(prefix.size());
    return graphemes.isAtBoundary();
}

bool isNumber(const QString& word)
{
    for (qsizetype i = 0; i < word.size();) {
        const auto [c, next] = codePointAt(word, i);
        if (!QChar::isNumber(c)) return false;
        i = next;
    }
    return true;
}

bool matches(const QString& query, const QString& title)
{
    return query == title || (hasAtLeastThreeCharacters(query) && beginsWith(title, query)) ||
           (hasAtLeastThreeCharacters(title) && beginsWith(query, title));
}

// The share of query words matching some title word, or none when a number
// the user said is missing from the title.
std::optional<double> score(const QStringList& query, const QStringList& title)
{
    int matched = 0;
    for (const QString& q : query) {
        if (isNumber(q) && !title.contains(q)) return std::nullopt;
        if (std::any_of(title.begin(), title.end(), [&](const QString& w) { return matches(q, w); }))
            ++matched;
    }
    return double(matched) / double(query.size());
}

} // namespace

QString ChatIntent::rendered() const
{
    switch (kind) {
    case Kind::named:
        return QStringLiteral("named(\"") + name + QStringLiteral("\")");
    case Kind::newChat:
        return QStringLiteral("new");
    case Kind::recent:
        return QStringLiteral("recent");
    }
    return {};
}

namespace Compose {

QList<Mention> chatMentions(const QString& text)
{
    return PhraseFinder(text).mentions();
}

QString removingChatPhrase(const QString& text)
{
    const QList<Mention> mentions = chatMentions(text);
    // A later phrase can reach back over an earlier one ("put it in a new
    // chat, the budget chat" names "new chat, the budget" from "put"), so
    // overlapping phrases are blanked as one; replacing them one by one would
    // eat into the words that follow.
    QList<std::pair<qsizetype, qsizetype>> spans;
    for (const Mention& m : mentions)
        spans.append({m.location, m.location + m.length});
    std::sort(spans.begin(), spans.end());
    QList<std::pair<qsizetype, qsizetype>> merged;
    for (const auto& span : spans) {
        if (!merged.isEmpty() && span.first < merged.last().second)
            merged.last().second = std::max(merged.last().second, span.second);
        else
            merged.append(span);
    }
    if (merged.isEmpty()) return text;
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (const auto& [start, end] : merged) {
        out += QStringView(text).sliced(from, start - from);
        out += QLatin1Char(' ');
        from = end;
    }
    out += QStringView(text).sliced(from);
    return out;
}

QString clean(const QString& transcript)
{
    static const QList<QRegularExpression> spokenExtras = {
        icuRegex(QStringLiteral("(?i)\\b(um+|uh+|erm|uhm)\\b[,.]?")),
        icuRegex(QStringLiteral("(?i)\\b(?:(?:start|open|make|use|in)\\s+)?(?:a\\s+)?new chat\\b[.,!?]?")),
        icuRegex(QStringLiteral("(?i)\\b(add this|this one too)\\b[.,!?]?")),
        icuRegex(QStringLiteral("(?i)\\b(send it|cancel)[.!?]*\\s*$")),
    };
    static const QRegularExpression spaceBeforePunctuation = icuRegex(QStringLiteral("\\s+([,.!?])"));
    static const QRegularExpression spaceRun = icuRegex(QStringLiteral("\\s{2,}"));
    static const QRegularExpression leadingConjunction =
        icuRegex(QStringLiteral("^(?i)(and|so|then|also)\\b[,]?\\s*"));

    QString t = withPairedSurrogates(transcript);
    for (const QRegularExpression& re : spokenExtras)
        t.remove(re);
    t.replace(spaceBeforePunctuation, QStringLiteral("\\1"));
    t.replace(spaceRun, QStringLiteral(" "));

    const auto trimmable = [](QChar c) {
        return c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char('.');
    };
    qsizetype from = 0;
    qsizetype to = t.size();
    while (from < to && trimmable(t.at(from)))
        ++from;
    while (to > from && trimmable(t.at(to - 1)))
        --to;
    t = t.mid(from, to - from);

    t.remove(leadingConjunction);
    return t.trimmed();
}

QString normalize(const QString& text)
{
    // Everything but a-z counts as a space; runs of spaces become one and
    // none is kept at either end.
    const QString lower = text.toLower();
    QString out;
    out.reserve(lower.size());
    bool spaceBefore = false;
    for (const QChar c : lower) {
        if (c < QLatin1Char('a') || c > QLatin1Char('z')) {
            spaceBefore = true;
            continue;
        }
        if (spaceBefore && !out.isEmpty()) out += QLatin1Char(' ');
        spaceBefore = false;
        out += c;
    }
    return out;
}

QStringList words(const QString& text)
{
    const QString lower = text.toLower();
    QStringList list;
    qsizetype start = 0;
    for (qsizetype i = 0; i < lower.size();) {
        const auto [c, next] = codePointAt(lower, i);
        if (!QChar::isLetterOrNumber(c) && !QChar::isMark(c)) {
            if (i > start) list.append(lower.mid(start, i - start));
            start = next;
        }
        i = next;
    }
    if (lower.size() > start) list.append(lower.mid(start));
    return list;
}

QString message(const QString& transcript, const QList<Item>& items)
{
    QStringList parts;
    const QString speech = clean(removingChatPhrase(transcript));
    if (!speech.isEmpty()) parts.append(speech);
    for (const Item& item : items) {
        if (!item.isClip()) continue;
        const QString fence =
            item.text.contains(QStringLiteral("```")) ? QStringLiteral("````") : QStringLiteral("```");
        parts.append(fence + QLatin1Char('\n') + item.text + QLatin1Char('\n') + fence);
    }
    return parts.join(QStringLiteral("\n\n"));
}

std::optional<ChatTarget> closestChat(const QString& name, const QList<ChatTarget>& chats)
{
    QStringList query = composedWords(name);
    query.removeIf([](const QString& w) { return stopWords().contains(w); });
    if (query.isEmpty()) return std::nullopt;

    std::optional<ChatTarget> best;
    double bestScore = 0;
    for (const ChatTarget& chat : chats) {
        const std::optional<double> s = score(query, composedWords(chat.title));
        // Strictly greater: on a tie the earlier chat (open tabs come first) stays.
        if (s && *s >= 0.5 && (!best || *s > bestScore)) {
            best = chat;
            bestScore = *s;
        }
    }
    return best;
}

} // namespace Compose
