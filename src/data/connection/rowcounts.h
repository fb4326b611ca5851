#pragma once
// Row counts the database keeps itself: a small table holding the number
// of rows of each large table, kept by triggers in the same transaction as
// every insert and delete.  A list of a whole table knows its length at
// once instead of counting millions of rows while the window opens.
//
// A database without them (an older one, a restored one, one written by
// another program) gets them once, in one transaction; an engine that cannot
// keep them leaves its lists counted as before.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace rowcounts {

// The table holding the counts.
extern const QString countTable;
// The tables whose rows are counted.
QStringList countedTables();

// The count of `table` is kept in this database.
bool isKept(const QSqlDatabase& db, const QString& table);
// Counts `table` now and keeps its count from here on; false with *error
// when the database refuses (read-only, locked) or the engine cannot.
bool keep(const QSqlDatabase& db, const QString& table, QString* error = nullptr);
// The kept count, or nothing when it is not kept.
std::optional<qint64> read(const QSqlDatabase& db, const QString& table);

// Many rows stored in one transaction (an import): the count's insert
// trigger is set aside while they go in and the count raised once at the
// end.  Made inside the transaction, finished before its commit; a rollback
// brings the trigger back.  Rows must get new keys (above every key so far).
// Without a kept count it does nothing.
class BulkStore {
public:
    BulkStore(QSqlDatabase db, const QString& table);
    // Counts the rows stored since and puts the trigger back; throws
    // DbError when the database refuses (the transaction must then be
    // rolled back).
    void finish();

private:
    QSqlDatabase db_;
    QString table_;
    bool active_ = false;
    qint64 lastKey_ = 0;
};

}  // namespace rowcounts
