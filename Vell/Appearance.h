// The light or dark look of Vell's windows: the desktop's, unless the command
// line forces one with "--appearance light" or "--appearance <anything else>".
#pragma once

#include <QPalette>
#include <QStringList>

#include <optional>

namespace Appearance {

// true for dark, false for light, none when the command line leaves it to the desktop.
std::optional<bool> forcedDark(const QStringList& arguments);
// Whether a palette is a dark one: its window colour is darker than its text.
bool isDark(const QPalette& palette);

} // namespace Appearance
