#include "Art/Artwork.h"

#include <QDir>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// Small renderings get three thick bars instead of five thin ones, so the
// bars still read as separate strokes at tray and list sizes.
constexpr int smallSize = 24;

// A speech bubble filling `body`, with a short tail under its left third.
QPainterPath bubblePath(const QRectF& body, qreal tail)
{
    QPainterPath path;
    const qreal radius = body.height() * 0.32;
    path.addRoundedRect(body, radius, radius);
    QPainterPath tailPath;
    const qreal x = body.left() + body.width() * 0.24;
    tailPath.moveTo(x, body.bottom() - radius * 0.5);
    tailPath.lineTo(x + tail * 1.3, body.bottom() - radius * 0.5);
    tailPath.lineTo(x - tail * 0.2, body.bottom() + tail);
    tailPath.closeSubpath();
    return path.united(tailPath).simplified();
}

// Voice bars centred in `body`: tall in the middle, short at the ends.
QList<QRectF> voiceBars(const QRectF& body, int size)
{
    const QList<qreal> heights =
        size <= smallSize ? QList<qreal>{0.45, 1.0, 0.45} : QList<qreal>{0.38, 0.72, 1.0, 0.72, 0.38};
    const int count = int(heights.size());
    // Bars and gaps share the inner width: each bar as wide as a gap.
    const bool small = size <= smallSize;
    qreal barWidth = body.width() * (small ? 0.62 : 0.58) / (2 * count - 1);
    const qreal tallest = body.height() * (small ? 0.62 : 0.6);
    // Small bars sit on whole pixels: a bar blurred across two pixel columns
    // reads as a smudge at tray size.
    if (small) barWidth = std::max<qreal>(1, qRound(barWidth));
    const qreal inner = barWidth * (2 * count - 1);
    qreal x = body.center().x() - inner / 2;
    if (small) x = qRound(x);
    QList<QRectF> bars;
    for (qreal h : heights) {
        qreal height = std::max(tallest * h, barWidth);
        qreal top = body.center().y() - height / 2;
        if (small) {
            height = qRound(height);
            top = qRound(top);
        }
        bars << QRectF(x, top, barWidth, height);
        x += 2 * barWidth;
    }
    return bars;
}

void fillBars(QPainter& p, const QList<QRectF>& bars)
{
    for (const QRectF& bar : bars) {
        // Square ends below 3 px: rounding would only grey the ends.
        const qreal r = bar.width() < 3 ? 0 : bar.width() / 2;
        p.drawRoundedRect(bar, r, r);
    }
}

QImage blank(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool writePng(const QImage& image, const QString& path, QString* error)
{
    QImageWriter writer(path, "png");
    if (writer.write(image)) return true;
    if (error) *error = QStringLiteral("Could not write %1: %2").arg(path, writer.errorString());
    return false;
}

} // namespace

namespace Artwork {

QColor accent()
{
    return QColor(0xDB, 0x54, 0x66);
}

QList<int> appIconSizes()
{
    return {16, 24, 32, 48, 64, 128, 256, 512};
}

QList<int> trayMarkSizes()
{
    return {16, 22, 24, 32, 48};
}

QImage appIconImage(int size)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    const qreal s = size;
    const qreal margin = size <= smallSize ? 0 : s * 0.04;
    const QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin);
    QLinearGradient shade(tile.topLeft(), tile.bottomLeft());
    shade.setColorAt(0, accent().lighter(112));
    shade.setColorAt(1, accent().darker(106));
    p.setBrush(shade);
    const qreal corner = tile.width() * 0.225;
    p.drawRoundedRect(tile, corner, corner);

    const QRectF body(tile.left() + tile.width() * 0.16, tile.top() + tile.height() * 0.2,
                      tile.width() * 0.68, tile.height() * 0.48);
    p.setBrush(Qt::white);
    p.drawPath(bubblePath(body, tile.height() * 0.13));
    p.setBrush(accent());
    fillBars(p, voiceBars(body, size));
    return image;
}

QImage trayMarkImage(int size, bool dark)
{
    QImage image = blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    const qreal s = size;
    const QRectF body(s * 0.04, s * 0.1, s * 0.92, s * 0.66);
    p.setBrush(dark ? QColor(0xF2, 0xF2, 0xF2) : QColor(0x24, 0x24, 0x24));
    p.drawPath(bubblePath(body, s * 0.2));
    // Cut the bars out so the tray shows through: one shape, any panel colour.
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    fillBars(p, voiceBars(body, size));
    return image;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : appIconSizes())
        icon.addPixmap(QPixmap::fromImage(appIconImage(size)));
    return icon;
}

QIcon trayIcon(bool dark)
{
    QIcon icon;
    for (int size : trayMarkSizes())
        icon.addPixmap(QPixmap::fromImage(trayMarkImage(size, dark)));
    return icon;
}

bool exportTo(const QString& folder, QString* error)
{
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error) *error = QStringLiteral("Could not create the folder %1.").arg(dir.absolutePath());
        return false;
    }
    for (int size : appIconSizes())
        if (!writePng(appIconImage(size), dir.filePath(QStringLiteral("vell-%1.png").arg(size)), error))
            return false;
    for (int size : trayMarkSizes()) {
        for (bool dark : {false, true}) {
            const QString name = QStringLiteral("vell-tray-%1-%2.png").arg(dark ? "dark" : "light").arg(size);
            if (!writePng(trayMarkImage(size, dark), dir.filePath(name), error)) return false;
        }
    }
    return true;
}

} // namespace Artwork
