#include "QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

QtClipboard::QtClipboard(QObject* parent) : QObject(parent), clipboard_(QGuiApplication::clipboard())
{
    // Qt reports other clients' copies through XFixes and its own writes
    // synchronously from setMimeData, so the count has grown when write() returns.
    connect(clipboard_, &QClipboard::dataChanged, this, [this] { ++count_; });
}

QStringList QtClipboard::types() const
{
    const QMimeData* content = clipboard_->mimeData(QClipboard::Clipboard);
    return content ? content->formats() : QStringList();
}

QByteArray QtClipboard::data(const QString& type) const
{
    const QMimeData* content = clipboard_->mimeData(QClipboard::Clipboard);
    return content ? content->data(type) : QByteArray();
}

QString QtClipboard::text() const
{
    // QMimeData::text() would fall back to the URL list.
    const QMimeData* content = clipboard_->mimeData(QClipboard::Clipboard);
    if (!content || !content->formats().contains(QStringLiteral("text/plain"))) return {};
    return content->text();
}

QImage QtClipboard::image() const
{
    return clipboard_->image(QClipboard::Clipboard);
}

void QtClipboard::write(std::unique_ptr<QMimeData> content)
{
    if (!content || content->formats().isEmpty()) {
        clipboard_->clear(QClipboard::Clipboard);
        return;
    }
    clipboard_->setMimeData(content.release(), QClipboard::Clipboard);
}
