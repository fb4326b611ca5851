#include "ui/lists/customertreemodel.h"

#include <QStringList>

using customertree::Outline;

CustomerTreeModel::CustomerTreeModel(QObject* parent)
    : QAbstractItemModel(parent), outline_(std::make_shared<const Outline>())
{
}

void CustomerTreeModel::setOutline(std::shared_ptr<const Outline> outline)
{
    beginResetModel();
    // The old outline goes once the view has let its rows go.
    outline_ = outline ? std::move(outline) : std::make_shared<const Outline>();
    endResetModel();
}

QStringList CustomerTreeModel::pathTo(const QModelIndex& index) const
{
    QStringList path;
    for (int node = nodeOf(index); node >= 0; node = outline_->parent(node))
        path.prepend(outline_->value(node));
    return path;
}

QModelIndex CustomerTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0)
        return {};
    const int node = outline_->child(nodeOf(parent), row);
    return node < 0 ? QModelIndex() : createIndex(row, 0, quintptr(node));
}

QModelIndex CustomerTreeModel::parent(const QModelIndex& child) const
{
    const int node = nodeOf(child);
    const int up = node < 0 ? -1 : outline_->parent(node);
    return up < 0 ? QModelIndex() : createIndex(outline_->row(up), 0, quintptr(up));
}

int CustomerTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return outline_->childCount(nodeOf(parent));
}

int CustomerTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool CustomerTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant CustomerTreeModel::data(const QModelIndex& index, int role) const
{
    const int node = nodeOf(index);
    if (node < 0)
        return {};
    if (role == Qt::DisplayRole)
        return outline_->caption(node);
    if (role == kValueRole)
        return outline_->value(node);
    return {};
}

QVariant CustomerTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("客户分类");
    return {};
}

Qt::ItemFlags CustomerTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
