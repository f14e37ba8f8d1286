// The system clipboard as the clipboard watcher and the pasteboard writer see
// it. One implementation per windowing system; tests use a fake.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include <memory>

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Grows each time anyone writes to the clipboard, this process included;
    // only compared for inequality. Cheap: it is read four times a second.
    virtual qint64 changeCount() const = 0;
    // The types on offer now.
    virtual QStringList types() const = 0;
    // The raw bytes of one type; empty when it is not on offer.
    virtual QByteArray data(const QString& type) const = 0;
    // The plain text; empty when there is none. A list of URLs is not text:
    // an image copied together with its address must stay an image.
    virtual QString text() const = 0;
    // The picture on offer in any image format; null when there is none.
    virtual QImage image() const = 0;
    // Replaces the content. A null or format-less `content` empties the
    // clipboard. The change count has grown when this returns.
    virtual void write(std::unique_ptr<QMimeData> content) = 0;
};
