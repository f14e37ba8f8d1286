// The system clipboard as a QMimeData the test fills, with a change count
// that grows on every copy and a tally of how often the content was read.
#pragma once

#include "Clipboard.h"

#include <QVariant>

class FakeSystemClipboard final : public Clipboard {
public:
    qint64 count = 0;
    mutable int contentReads = 0;
    std::unique_ptr<QMimeData> content = std::make_unique<QMimeData>();

    // Another application copies.
    void copy(std::unique_ptr<QMimeData> data)
    {
        content = data ? std::move(data) : std::make_unique<QMimeData>();
        ++count;
    }
    void copyText(const QString& text)
    {
        auto data = std::make_unique<QMimeData>();
        data->setText(text);
        copy(std::move(data));
    }
    void copyImage(const QImage& image)
    {
        auto data = std::make_unique<QMimeData>();
        data->setImageData(image);
        copy(std::move(data));
    }

    qint64 changeCount() const override { return count; }
    QStringList types() const override
    {
        ++contentReads;
        return content->formats();
    }
    QByteArray data(const QString& type) const override
    {
        ++contentReads;
        return content->data(type);
    }
    QString text() const override
    {
        ++contentReads;
        return content->hasFormat(QStringLiteral("text/plain")) ? content->text() : QString();
    }
    QImage image() const override
    {
        ++contentReads;
        return qvariant_cast<QImage>(content->imageData());
    }
    void write(std::unique_ptr<QMimeData> data) override { copy(std::move(data)); }
};
