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

}  // namespace numberindex
