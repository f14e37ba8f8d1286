#include "Pasteboard.h"

#include <QDir>
#include <QFile>
#include <QUrl>

#include <utility>

Pasteboard::Pasteboard(Clipboard& clipboard, QString tempRoot)
    : clipboard_(clipboard), tempRoot_(tempRoot.isEmpty() ? QDir::tempPath() : std::move(tempRoot))
{
}

QString Pasteboard::folder() const
{
    return folder_ ? folder_->path() : QString();
}

void Pasteboard::setAll(const QString& text, const QList<QByteArray>& images)
{
    // A fresh folder each time: a reader still holding the old list must not
    // find the new pictures under the old names. QTemporaryDir makes it 0700.
    folder_.reset();
    auto content = std::make_unique<QMimeData>();
    if (!text.isEmpty()) content->setText(text);
    if (!images.isEmpty()) {
        content->setData(QStringLiteral("image/jpeg"), images.first());
        auto folder = std::make_unique<QTemporaryDir>(tempRoot_ + QStringLiteral("/vell-clip-XXXXXX"));
        QList<QUrl> urls;
        for (qsizetype i = 0; folder->isValid() && i < images.size(); ++i) {
            const QString path = folder->filePath(QStringLiteral("image-%1.jpg").arg(i + 1));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(images.at(i)) != images.at(i).size()) continue;
            file.close();
            urls << QUrl::fromLocalFile(path);
        }
        if (!urls.isEmpty()) {
            content->setUrls(urls);
            folder_ = std::move(folder);
        }
    }
    clipboard_.write(std::move(content));
}
