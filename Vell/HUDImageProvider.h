// Hands the pictures of screenshot items to QML by item id, straight from the
// session model: no files. Used on the main thread only (thumbnails load synchronously).
#pragma once

#include "SessionModel.h"

#include <QQuickImageProvider>

class HUDImageProvider : public QQuickImageProvider {
public:
    explicit HUDImageProvider(const SessionModel& model);
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    const SessionModel& model_;
};
