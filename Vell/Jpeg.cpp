#include "Jpeg.h"

#include <QBuffer>

#include <algorithm>

namespace Jpeg {

QSize bounded(const QSize& size, int longest)
{
    const int m = std::max(size.width(), size.height());
    if (m <= longest) return size;
    // Integer arithmetic: 3000 x 2000 must give exactly 1500 x 1000, where a
    // floating scale factor can land a hair under and truncate to 999.
    const auto scale = [&](int side) {
        return std::max(1, static_cast<int>(static_cast<qint64>(side) * longest / m));
    };
    return {scale(size.width()), scale(size.height())};
}

QImage reduced(const QImage& image)
{
    if (image.isNull()) return {};
    const QSize target = bounded(image.size());
    if (target == image.size()) return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray encode(const QImage& image)
{
    if (image.isNull()) return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", quality)) return {};
    return bytes;
}

} // namespace Jpeg
