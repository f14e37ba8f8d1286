// The session's attachments as a list model for the thumbnail row. Changes
// are applied as removals and insertions, so the view animates only the
// thumbnails that really come or go.
#pragma once

#include "SessionModel.h"

#include <QAbstractListModel>

class HUDItems : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1, ShotRole, SizeLabelRole, ImageSourceRole };

    explicit HUDItems(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Brings the rows in step with the model's items.
    void update(const QList<Item>& items);
    // "image://<provider>/<id>": where QML finds a screenshot's picture.
    static QString imageSource(const QUuid& id);
    static constexpr const char* imageProvider = "vellitem";

private:
    QList<Item> rows_;
};
