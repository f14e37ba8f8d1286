// Preparing a program's text for the script engine.
#pragma once

#include <QString>

namespace ProgramText {

// Qt's script engine predates ES2019 and rejects U+2028 and U+2029 inside
// string literals, where JSON (and so every value inserted into a program)
// leaves them raw. Inside quotes and template literals they become \u2028 and
// \u2029 escapes; elsewhere, where they are line terminators, a line feed.
// Nothing else changes, so the program means what it meant.
QString escapeLineSeparators(const QString& program);

} // namespace ProgramText
