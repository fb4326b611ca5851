#pragma once
// The database file itself: compacting, copying, checking and replacing it,
// and moving in an old Access database.  Plain functions on closed or live
// files through the database engine (engine.h); no windows.
//
// Every operation that changes data/web.mdb writes the new content to a
// scratch file beside it, checks it (the structure of every page: the
// engine's quick check), flushes it to disk and only then renames
// it over the database.  A rename is atomic, so whatever moment the program
// is killed at, data/web.mdb is either the old file or the new one, whole.
//
// The program keeps its database in write-ahead-log mode: recent commits may
// live in web.mdb-wal beside the file.  So nothing here copies the file
// alone: copies are made through the engine (SQLite's online backup and
// VACUUM INTO), and before a file is put in the database's place the
// database is brought back into a file of its own (the log moved in and removed), so that no
// log of the old file can ever be played into the new one.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "data/engine/filestore.h"

class TableReader;

namespace dbfile {

// The three tables every database of the program holds.
QStringList requiredTables();  // 客户数据, 来电数据, 字典
// Every column of `table` the program reads or writes, ID included.
QStringList requiredColumns(const QString& table);

enum class Kind {
    Missing,      // no such file
    Ours,         // a database of the program: SQLite with the three tables and their columns
    Incomplete,   // SQLite with the three tables, but columns of them are missing
    TextKeys,     // SQLite with every table and column, but an ID that is no whole-number key
    NotOurs,      // SQLite, but one of the three tables is missing
    Access,       // a Jet (.mdb) or Access 2007 (.accdb) file
    NotDatabase,  // anything else, including a damaged header
};
// Looks at the file's header (and for SQLite its tables).  Nothing is written.
Kind kindOf(const QString& path);
bool isAccessFile(const QString& path);

// The columns of the three tables that the file lacks, table by table in the
// order of requiredTables() (tables lacking nothing left out).
using MissingColumns = QList<QPair<QString, QStringList>>;
MissingColumns missingColumns(const QString& path);

// The tables among 客户数据 and 来电数据 whose ID is not a whole-number key
// (a text ID, say): the lists page through them and the number index walks
// them by that key, so the program cannot work with such a file.
QStringList tablesWithoutIntegerKey(const QString& path);

// Opens the file read-only and runs the full integrity check (indexes
// against their rows included); the three tables must be there.  *error gets a Chinese reason.
bool verifyDatabase(const QString& path, QString* error);

// How long work follows a file operation: how far it has come, in per cent,
// and whether it is asked to stop.  A stopped operation fails like any other
// and leaves nothing behind.
using Progress = FileProgress;

// Keeps every other connection from writing to a database while its
// replacement is made (readers go on): the write lock of a transaction that
// writes nothing.  Taken on one thread, it may be given up on another, not
// on both at once.  Given up when the object goes.
class WriteHold {
public:
    WriteHold() = default;
    WriteHold(const WriteHold&) = delete;
    WriteHold& operator=(const WriteHold&) = delete;
    ~WriteHold() { release(); }

    bool take(const QString& database, QString* error);
    bool held() const { return hold_ != nullptr; }
    void release() { hold_.reset(); }

private:
    std::unique_ptr<FileHold> hold_;
};

// Writes a compacted copy of `source` as the new file `destination` and
// checks it; an existing destination makes it fail.  On failure no
// destination file is left.
bool Compact_Mdb(const QString& source, const QString& destination, QString* error,
                 const Progress& progress = {});

// Compacts `database` through the scratch file `scratch` (an earlier one is
// deleted first) and renames the checked copy over `database`.  On failure
// the database is unchanged and no scratch file is left.  The database must
// not be open elsewhere.
bool compactDatabase(const QString& database, const QString& scratch, QString* error);

// Copies a database, possibly open and written elsewhere, to `target`
// through SQLite's online backup: the copy is of one moment (what is written
// meanwhile is not in it and does not start it over), goes to a temporary
// name beside the target, is checked and renamed into place.  On failure no
// partial file is left and an existing target is untouched.
bool backupDatabase(const QString& database, const QString& target, QString* error,
                    const Progress& progress = {});

// Puts `replacement` (a checked file in the same folder) in the place of
// `database`.  The replaced file stays as `keepAs` (empty: not kept).  The
// database must be closed by the program; `hold`, when given, is the hold
// kept on it since the replacement was made, given up here.  Fails, leaving
// the database as it is, when another program still has it open.
bool replaceDatabase(const QString& database, const QString& replacement, const QString& keepAs,
                     QString* error, WriteHold* hold = nullptr);

// Removes a database file with whatever journal or log it has beside it.
bool removeDatabaseFile(const QString& path);

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
                   QString* error, const Progress& progress = {});

// A value of an Access column as the text this program stores.  `column` is
// the column's name: 日期 and 时间 get the call log's forms.
QString movedInText(const QVariant& value, const QString& column);

// Tests: called with the name of each step that matters for a kill, also
// now and then in the middle of a copy ("backup-page", "compact-page").
void setStepHook(std::function<void(const char* step)> hook);

}  // namespace dbfile
