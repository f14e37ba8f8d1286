#include "ProgramText.h"

#include <QList>

namespace ProgramText {

namespace {

constexpr char16_t lineSeparator = 0x2028;
constexpr char16_t paragraphSeparator = 0x2029;

bool isSeparator(QChar c)
{
    return c.unicode() == lineSeparator || c.unicode() == paragraphSeparator;
}

QString escaped(QChar c)
{
    return c.unicode() == lineSeparator ? QStringLiteral("\\u2028") : QStringLiteral("\\u2029");
}

bool isIdentifierPart(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Whether a '/' after this code starts a regular expression rather than a
// division: the usual rule of thumb, by the last significant token.
bool slashStartsRegex(const QString& code)
{
    int i = static_cast<int>(code.size()) - 1;
    while (i >= 0 && code.at(i).isSpace())
        --i;
    if (i < 0) return true;
    const QChar last = code.at(i);
    if (last == QLatin1Char(')') || last == QLatin1Char(']') || last == QLatin1Char('}')) return false;
    if (!isIdentifierPart(last)) return true;
    int start = i;
    while (start > 0 && isIdentifierPart(code.at(start - 1)))
        --start;
    static const QStringList keywords = {
        QStringLiteral("return"), QStringLiteral("typeof"), QStringLiteral("instanceof"),
        QStringLiteral("in"),     QStringLiteral("of"),     QStringLiteral("new"),
        QStringLiteral("delete"), QStringLiteral("void"),   QStringLiteral("throw"),
        QStringLiteral("case"),   QStringLiteral("do"),     QStringLiteral("else"),
        QStringLiteral("yield"),  QStringLiteral("await"),
    };
    return keywords.contains(code.mid(start, i - start + 1));
}

} // namespace

QString escapeLineSeparators(const QString& program)
{
    if (!program.contains(QChar(lineSeparator)) && !program.contains(QChar(paragraphSeparator)))
        return program;

    enum class Mode { code, single, twin, templ, lineComment, blockComment, regex, regexClass };
    Mode mode = Mode::code;
    // Brace depth inside each open `${ ... }` of a template literal.
    QList<int> templateBraces;
    QString out;
    out.reserve(program.size() + 16);
    const int n = static_cast<int>(program.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = program.at(i);
        const QChar next = i + 1 < n ? program.at(i + 1) : QChar();
        switch (mode) {
        case Mode::code:
            if (isSeparator(c)) {
                out += QLatin1Char('\n');
                continue;
            }
            if (c == QLatin1Char('\''))
                mode = Mode::single;
            else if (c == QLatin1Char('"'))
                mode = Mode::twin;
            else if (c == QLatin1Char('`'))
                mode = Mode::templ;
            else if (c == QLatin1Char('/') && next == QLatin1Char('/'))
                mode = Mode::lineComment;
            else if (c == QLatin1Char('/') && next == QLatin1Char('*'))
                mode = Mode::blockComment;
            else if (c == QLatin1Char('/') && slashStartsRegex(out))
                mode = Mode::regex;
            else if (c == QLatin1Char('{') && !templateBraces.isEmpty())
                ++templateBraces.last();
            else if (c == QLatin1Char('}') && !templateBraces.isEmpty()) {
                if (templateBraces.last() == 0) {
                    templateBraces.removeLast();
                    mode = Mode::templ;
                } else {
                    --templateBraces.last();
                }
            }
            if (mode == Mode::lineComment || mode == Mode::blockComment) {
                out += c;
                out += next;
                ++i;
                continue;
            }
            out += c;
            continue;
        case Mode::single:
        case Mode::twin:
        case Mode::templ: {
            if (c == QLatin1Char('\\') && i + 1 < n) {
                // An escaped separator is a line continuation; so is an escaped line feed.
                out += c;
                out += isSeparator(next) ? QChar(QLatin1Char('\n')) : next;
                ++i;
                continue;
            }
            if (isSeparator(c)) {
                out += escaped(c);
                continue;
            }
            out += c;
            const bool closes = (mode == Mode::single && c == QLatin1Char('\'')) ||
                                (mode == Mode::twin && c == QLatin1Char('"')) ||
                                (mode == Mode::templ && c == QLatin1Char('`'));
            if (closes)
                mode = Mode::code;
            else if (mode == Mode::templ && c == QLatin1Char('$') && next == QLatin1Char('{')) {
                out += next;
                ++i;
                templateBraces << 0;
                mode = Mode::code;
            }
            continue;
        }
        case Mode::lineComment:
            if (isSeparator(c) || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                out += isSeparator(c) ? QChar(QLatin1Char('\n')) : c;
                mode = Mode::code;
                continue;
            }
            out += c;
            continue;
        case Mode::blockComment:
            if (isSeparator(c)) {
                out += QLatin1Char('\n');
                continue;
            }
            out += c;
            if (c == QLatin1Char('*') && next == QLatin1Char('/')) {
                out += next;
                ++i;
                mode = Mode::code;
            }
            continue;
        case Mode::regex:
        case Mode::regexClass:
            // A separator cannot stand in a regular expression literal; leave it for the engine to report.
            out += c;
            if (c == QLatin1Char('\\') && i + 1 < n) {
                out += next;
                ++i;
            } else if (mode == Mode::regex && c == QLatin1Char('[')) {
                mode = Mode::regexClass;
            } else if (mode == Mode::regexClass && c == QLatin1Char(']')) {
                mode = Mode::regex;
            } else if (mode == Mode::regex && (c == QLatin1Char('/') || c == QLatin1Char('\n'))) {
                mode = Mode::code;
            }
            continue;
        }
    }
    return out;
}

} // namespace ProgramText
