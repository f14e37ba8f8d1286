// The Clipboard seam on QClipboard's CLIPBOARD selection (what Ctrl+C and
// Ctrl+V use). The change count is a counter bumped on each dataChanged.
#pragma once

#include "Clipboard.h"

#include <QObject>

class QClipboard;

class QtClipboard final : public QObject, public Clipboard {
    Q_OBJECT
public:
    // Needs a QGuiApplication.
    explicit QtClipboard(QObject* parent = nullptr);

    qint64 changeCount() const override { return count_; }
    QStringList types() const override;
    QByteArray data(const QString& type) const override;
    QString text() const override;
    QImage image() const override;
    void write(std::unique_ptr<QMimeData> content) override;

private:
    QClipboard* clipboard_;
    qint64 count_ = 0;
};
