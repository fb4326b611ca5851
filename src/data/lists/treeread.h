#pragma once
// Reading the category tree's values from the customer table: the work of
// "重生列表", done on a connection of its own so that it can run on a worker
// thread while the window goes on.

#include <QSqlDatabase>
#include <QStringList>
#include <QVector>
#include <functional>

#include "rules/lists/customertree.h"

namespace customertree {

// Told now and then how far the read has come: `done` of `total` (both in
// rows of the table, by their row numbers).
using ReadProgress = std::function<void(qint64 done, qint64 total)>;

// The customers' tree for the first (up to four) of `fields`, each a field of
// 客户数据, as TreeBuilder gives it.  The table is read a stretch of rows at a
// time: between stretches `stopped` is asked and `progress` told, and no
// read holds the table for long.  Returns false when stopped (*nodes is then
// left as it was).  Throws DbError when a statement fails.
bool readTree(QSqlDatabase db, const QStringList& fields, const std::function<bool()>& stopped,
              const ReadProgress& progress, QVector<Node>* nodes);

// The same read into `builder` (made for the first up to four fields), for
// those who want the tree without a string per node: Outline::fromBuilder
// and treeFileBytes take it from there.  Returns false when stopped.
bool readTree(QSqlDatabase db, const QStringList& fields, const std::function<bool()>& stopped,
              const ReadProgress& progress, TreeBuilder* builder);

// Rows of the table taken in one stretch.
inline constexpr qint64 kReadStretch = 50000;

}  // namespace customertree
