#pragma once
// Two kinds of login on a server.  The owner of the program's tables (the
// login of the desk that made them) makes and changes tables, uploads,
// restores, compacts and clears.  A desk's login reads and writes
// customers, calls and the dictionary and nothing more: the program's own
// triggers run with the owner's rights, so that a desk needs no right on the
// tables they keep.  What a desk may not do is refused before it starts.
// On a local database file every step is allowed.

#include <QSqlDatabase>
#include <QString>

namespace serverrights {

enum class Step { ClearCalls, ClearCustomers, Restore, Upload, Compact };

// What the step is called in the refusal.
QString stepName(Step step);

// Whether the login may change the program's tables: it owns them (or is a
// member of their owner), or there are none yet and it may make them in
// the schema.  Always true for a local file.
bool mayChangeTables(const QSqlDatabase& db);

// The words for a login that may not take the step; empty when it may.
QString refusal(const QSqlDatabase& db, Step step);

}  // namespace serverrights
