#pragma once
// The caller lookup's index: a trigram full-text index over 手机, 电话 and
// 宅电 of 客户数据, kept in step with the table by triggers.  A database
// made before the index existed gets it the first time it is opened.

#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace numberindex {

// Told how far the build of a missing index has come (rows done of total).
using Progress = std::function<void(qint64 done, qint64 total)>;

// Whether the index and its three triggers are all there.
bool isComplete(const QSqlDatabase& db);

// Creates the index and its triggers when any of them is missing, filling it
// from the table in steps (the progress is called after each).  All of it
// happens in one transaction: an interrupted build leaves no half index.
// Throws DbError when the database refuses.
void ensure(QSqlDatabase& db, const Progress& progress = {});

// Many customers stored in one transaction (an import).  Through the insert
// trigger every row costs the index a flush of its own; instead the trigger
// is set aside while the rows go in and the new rows are indexed together at
// the end.  Made inside the transaction, finished before its commit; a
// rollback brings the trigger back with everything else.  Rows must get new
// keys (above every key so far): the caller does not store IDs of its own.
// Without a complete index it does nothing.
class BulkAppend {
public:
    explicit BulkAppend(QSqlDatabase db);
    // Indexes the rows stored since and puts the trigger back.  Throws
    // DbError when the database refuses (the transaction must then be
    // rolled back).
    void finish();

private:
    QSqlDatabase db_;
    bool active_ = false;
    qint64 lastKey_ = 0;
};

}  // namespace numberindex
