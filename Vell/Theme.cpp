#include "Theme.h"

namespace {

QColor withAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

} // namespace

Theme::Theme(bool dark, QObject* parent) : QObject(parent), dark_(dark) {}

void Theme::setDark(bool dark)
{
    if (dark == dark_) return;
    dark_ = dark;
    Q_EMIT changed();
}

QColor Theme::accent() const
{
    return dark_ ? QColor(0xF4, 0x7C, 0x88) : QColor(0xDB, 0x54, 0x66);
}

QColor Theme::onAccent() const
{
    return dark_ ? QColor(0x2B, 0x0B, 0x12) : QColor(Qt::white);
}

QColor Theme::bad() const
{
    return dark_ ? QColor(0xFF, 0x45, 0x3A) : QColor(0xFF, 0x3B, 0x30);
}

QColor Theme::primary() const
{
    return dark_ ? QColor(0xF5, 0xF5, 0xF7) : QColor(0x1D, 0x1D, 0x1F);
}

QColor Theme::secondary() const
{
    return withAlpha(primary(), 0.6);
}

QColor Theme::tertiary() const
{
    return withAlpha(primary(), 0.32);
}

QColor Theme::windowBackground() const
{
    return dark_ ? QColor(0x26, 0x26, 0x28) : QColor(0xF2, 0xF2, 0xF4);
}
