#pragma once
// Test fixtures of the data layer: databases made from the shipped schema
// and program folders laid out like the real one.  Links the data layer
// only.

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class DataSet;

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

// A sentinel for "nothing more happens": lets what was posted to the event
// loop before it run (queued calls, zero timers), by posting a call of its
// own and waiting for that.  False when the call never came.
bool runPostedEvents();

// Waits until the list is read to its end, as the operator sees it once
// the data set says its background read has ended (a list that takes
// longer than a moment is read while the window goes on).  False when it
// did not end in time.
bool readThrough(DataSet& list);

}  // namespace testutil
