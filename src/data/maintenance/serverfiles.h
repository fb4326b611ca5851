#pragma once
// Looking after the database on a PostgreSQL server: compacting it
// (VACUUM), backing it up with the server's own pg_dump and restoring such
// a backup with pg_restore.  Plain functions for long work (they run on the
// work's thread); no windows.
//
// The client programs run as child processes.  They reach the server as the
// desk does (its host, port, user and database, or its connection URI);
// the password goes to them only through PGPASSWORD in their environment,
// never on a command line, and no text they print that reaches the operator
// holds it.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

#include "rules/settings/databaselocation.h"

namespace serverfiles {

// How long work follows an operation and asks it to stop.  A stopped
// operation fails like any other (*stopped tells it apart) and leaves
// nothing behind.
struct Progress {
    std::function<void(const QString& text)> text;
    std::function<bool()> stopRequested;
};

// The first bytes of a backup in pg_dump's custom format.
bool isDumpFile(const QString& path);

// The server's major version (15 for 15.4), 0 when it cannot be asked.
int serverMajor(const QSqlDatabase& db);

// Where the client program `name` (pg_dump, pg_restore) of a version that
// serves the server is: the one of the server's own version among the
// installed PostgreSQL versions, else the newest newer one, else the one
// on the PATH.  Empty, with *error for the operator, when there is none.
QString clientProgram(const QString& name, int serverMajor, QString* error);
// Tests and odd installations: a folder looked in before all others.
void setClientFolder(const QString& folder);

// The command line a client program is given to reach the database (never
// with the password) and the password for PGPASSWORD (empty: none given).
struct Reach {
    QStringList arguments;
    QString password;
};
Reach reachOf(const DatabaseLocation& where);

// VACUUM (ANALYZE) of the program's tables on this connection, one table
// after another, outside any transaction.  False with *error when the
// server refused; a stop interrupts the table at hand.
bool vacuumTables(QSqlDatabase& db, const Progress& progress, QString* error, bool* stopped);

// Writes a backup of the whole database (pg_dump -Fc) to `target`: to a
// temporary name beside it, renamed into place once pg_dump has succeeded
// and the file is on disk.  On failure no file is left, an existing target
// is untouched, and *error says what pg_dump said.
bool dump(const DatabaseLocation& where, int serverMajor, const QString& target, const Progress& progress,
          QString* error, bool* stopped);

// Restores such a backup into the database in one transaction (pg_restore
// --single-transaction --clean --if-exists --no-owner): all of it or, on
// failure, nothing.  The file must be a backup (isDumpFile).
bool restore(const DatabaseLocation& where, int serverMajor, const QString& file, const Progress& progress,
             QString* error, bool* stopped);

}  // namespace serverfiles
