#include "HUDImageProvider.h"

#include <QUuid>

HUDImageProvider::HUDImageProvider(const SessionModel& model)
    : QQuickImageProvider(QQuickImageProvider::Image), model_(model)
{
}

QImage HUDImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    const QUuid wanted(id);
    for (const Item& item : model_.items()) {
        if (item.id != wanted || !item.isShot()) continue;
        QImage image = item.image;
        if (size) *size = image.size();
        if (requestedSize.isValid() && !image.isNull())
            image = image.scaled(requestedSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        return image;
    }
    // A removed item: an empty picture rather than a stale one.
    if (size) *size = QSize();
    return {};
}
