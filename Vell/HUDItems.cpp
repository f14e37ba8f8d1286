#include "HUDItems.h"

#include "HUDText.h"

#include <QSet>

HUDItems::HUDItems(QObject* parent) : QAbstractListModel(parent) {}

int HUDItems::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant HUDItems::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    const Item& item = rows_.at(index.row());
    switch (role) {
    case IdRole:
        return item.id.toString(QUuid::WithoutBraces);
    case ShotRole:
        return item.isShot();
    case SizeLabelRole:
        return item.isClip() ? HUDText::size(item.text) : QString();
    case ImageSourceRole:
        return item.isShot() ? imageSource(item.id) : QString();
    }
    return {};
}

QHash<int, QByteArray> HUDItems::roleNames() const
{
    return {{IdRole, "itemId"},
            {ShotRole, "shot"},
            {SizeLabelRole, "sizeLabel"},
            {ImageSourceRole, "imageSource"}};
}

QString HUDItems::imageSource(const QUuid& id)
{
    return QStringLiteral("image://") + QLatin1String(imageProvider) + QLatin1Char('/') +
           id.toString(QUuid::WithoutBraces);
}

void HUDItems::update(const QList<Item>& items)
{
    QSet<QUuid> kept;
    for (const Item& item : items)
        kept.insert(item.id);
    for (qsizetype row = rows_.size() - 1; row >= 0; --row) {
        if (kept.contains(rows_.at(row).id)) continue;
        beginRemoveRows({}, int(row), int(row));
        rows_.removeAt(row);
        endRemoveRows();
    }
    // What is left is in the new order unless items were reordered; then start over.
    qsizetype at = 0;
    for (const Item& item : items) {
        if (at < rows_.size() && rows_.at(at).id == item.id) {
            rows_[at] = item;
            ++at;
            continue;
        }
        const bool elsewhere = std::any_of(rows_.cbegin() + at, rows_.cend(),
                                           [&](const Item& row) { return row.id == item.id; });
        if (elsewhere) {
            beginResetModel();
            rows_ = items;
            endResetModel();
            return;
        }
        beginInsertRows({}, int(at), int(at));
        rows_.insert(at, item);
        endInsertRows();
        ++at;
    }
}
