#pragma once
// The category tree as the view sees it: a model over the compact outline,
// whose rows the view asks for only under the nodes it shows.  No object
// is made per node, so a tree of a million nodes costs the outline's few
// tens of megabytes and swapping in a new tree is one reset.

#include <QAbstractItemModel>
#include <QString>
#include <memory>

#include "rules/lists/treeoutline.h"

class CustomerTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // A node's value (the display role shows it on one line).
    static constexpr int kValueRole = Qt::UserRole;

    explicit CustomerTreeModel(QObject* parent = nullptr);

    // Replaces the whole tree; the view forgets what was open or selected.
    void setOutline(std::shared_ptr<const customertree::Outline> outline);
    const customertree::Outline& outline() const { return *outline_; }

    // The values from the top-level node down to `index` (empty for none).
    QStringList pathTo(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    static int nodeOf(const QModelIndex& index) { return index.isValid() ? int(index.internalId()) : -1; }

    std::shared_ptr<const customertree::Outline> outline_;
};
