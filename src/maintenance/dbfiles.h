#pragma once
// The database file itself: compacting, copying, checking and replacing it,
// and moving in an old Access database.  Plain functions on closed or live
// files through SQLite's own interface; no windows.
//
// Every operation that changes data/web.mdb writes the new content to a
// scratch file beside it, checks it, flushes it to disk and only then renames
// it over the database.  A rename is atomic, so whatever moment the program
// is killed at, data/web.mdb is either the old file or the new one, whole.

#include <QString>
#include <QStringList>
#include <functional>

class TableReader;

namespace dbfile {

// The three tables every database of the program holds.
QStringList requiredTables();  // 客户数据, 来电数据, 字典

enum class Kind {
    Missing,      // no such file
    Ours,         // a database of the program: SQLite with the three tables
    NotOurs,      // SQLite, but one of the three tables is missing
    Access,       // a Jet (.mdb) or Access 2007 (.accdb) file
    NotDatabase,  // anything else, including a damaged header
};
// Looks at the file's header (and for SQLite its tables).  Nothing is written.
Kind kindOf(const QString& path);
bool isAccessFile(const QString& path);

// Opens the file read-only and runs the integrity check; the three tables
// must be there.  *error gets a Chinese reason.
bool verifyDatabase(const QString& path, QString* error);

// Writes a compacted copy of `source` as the new file `destination` and
// checks it; an existing destination makes it fail.  On failure no
// destination file is left.
bool Compact_Mdb(const QString& source, const QString& destination, QString* error);

// Compacts `database` through the scratch file `scratch` (an earlier one is
// deleted first) and renames the checked copy over `database`.  On failure
// the database is unchanged and no scratch file is left.
bool compactDatabase(const QString& database, const QString& scratch, QString* error);

// Copies a database, possibly open elsewhere, to `target` through SQLite's
// online backup: the copy goes to a temporary name beside the target, is
// checked and renamed into place.  On failure no partial file is left and an
// existing target is untouched.  `progress` gets a percentage now and then.
bool backupDatabase(const QString& database, const QString& target, QString* error,
                    const std::function<void(int)>& progress = {});

// Puts `replacement` (a checked file in the same folder) in the place of
// `database`.  The replaced file stays as `keepAs` (empty: not kept).  The
// database must be closed by the program.
bool replaceDatabase(const QString& database, const QString& replacement, const QString& keepAs,
                     QString* error);

// Creates an empty database of the program at `path` (the three tables),
// with further text columns where `extraColumns` names them per table.
bool createDatabase(const QString& path, QString* error,
                    const std::function<QStringList(const QString& table)>& extraColumns = {});

// What came over from an old Access database.
struct MoveInCounts {
    qint64 customers = 0;
    qint64 calls = 0;
    qint64 dictionary = 0;
};

// Writes a new database of the program at `target` from the three tables of
// an old Access database read through `reader`: every column (further ones
// become text columns of their own), the IDs kept, numbers as their text,
// dates as "yyyy-M-d" and times as "H:mm:ss" like the call log writes them.
// The target is checked afterwards; on failure it is removed.
bool convertAccess(TableReader& reader, const QString& target, MoveInCounts* counts,
                   QString* error, const std::function<void(int)>& progress = {});

// A value of an Access column as the text this program stores.  `column` is
// the column's name: 日期 and 时间 get the call log's forms.
QString movedInText(const QVariant& value, const QString& column);

// Tests: called with the name of each step that matters for a kill.
void setStepHook(std::function<void(const char* step)> hook);

}  // namespace dbfile
