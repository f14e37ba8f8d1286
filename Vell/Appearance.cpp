#include "Appearance.h"

namespace Appearance {

std::optional<bool> forcedDark(const QStringList& arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--appearance"));
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    return arguments.at(at + 1) != QLatin1String("light");
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

} // namespace Appearance
