#include "DemoSnap.h"

#include "Log.h"

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QQuickWindow>

namespace DemoSnap {

void save(QQuickWindow& panel, const QString& path)
{
    const QImage image = panel.grabWindow();
    if (image.isNull()) {
        Log::write(QStringLiteral("demo snap failed the panel could not be rendered"));
        return;
    }
    QImageWriter writer(path, "png");
    if (!writer.write(image)) {
        const QString reason = writer.errorString();
        QFile::remove(path); // no half-written picture
        Log::write(QStringLiteral("demo snap failed ") + reason);
        return;
    }
    Log::write(QStringLiteral("demo snap → ") + path);
}

} // namespace DemoSnap
