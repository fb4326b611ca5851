#pragma once
// Test fixtures of the data layer: databases made from the shipped schema
// and program folders laid out like the real one.  Links the data layer
// only.

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace testutil {

// Creates a database file from the schema (path from TAVRIN_SCHEMA) and
// returns its path.  An existing file is replaced.
QString makeDatabase(const QString& file);

// Creates a fresh temporary program folder holding data/web.mdb and set/,
// points programFolder() at it and returns it (ending in '/').  The folder
// lives until the test program ends.
QString makeProgramFolder();

// Adds n customers 客户1 … 客户n (分类1 alternating "甲"/"乙", 手机 139000000NN).
void addCustomers(const QString& file, int n);

// The first value of a statement's first row, read from the file through a
// connection of its own (invalid when there is none).
QVariant valueOf(const QString& file, const QString& sql);

// Runs statements on the file through a connection of its own.
void execute(const QString& file, const QString& sql);

// On an open connection (either engine): the first value of a statement's
// first row, and a statement run; a failure ends the test program.
QVariant scalar(QSqlDatabase db, const QString& sql);
void exec(QSqlDatabase db, const QString& sql);

}  // namespace testutil
