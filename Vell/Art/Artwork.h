// Vell's pictures, drawn in code so they stay sharp at every size: the
// application icon (a rose-red tile with a white speech bubble holding voice
// bars) and the monochrome tray mark (the same bubble, bars cut out).
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QString>

namespace Artwork {

// The accent colour the icon is drawn in.
QColor accent();

// Sizes written by exportTo and held by the icons.
QList<int> appIconSizes();
QList<int> trayMarkSizes();

// One rendering at `size` × `size` pixels, transparent around the shape.
QImage appIconImage(int size);
// For a dark tray (`dark`) the mark is light, otherwise dark.
QImage trayMarkImage(int size, bool dark);

QIcon appIcon();
QIcon trayIcon(bool dark);

// Writes vell-<size>.png for each icon size and vell-tray-light-<size>.png /
// vell-tray-dark-<size>.png for each tray size into `folder`, creating it if
// needed. On failure returns false and, when `error` is given, a sentence
// saying what could not be written and why.
bool exportTo(const QString& folder, QString* error);

} // namespace Artwork
