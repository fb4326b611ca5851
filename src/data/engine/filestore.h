#pragma once
// The program's database files: what only a database kept in a file beside
// the program can do (copy, compact, check, hold, replace, create).  A
// server keeps its database itself and has none of this; the files are
// SQLite's (sqlitefiles.h), and FileStore::standard() is the one store.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

// How long work on a database file goes: how far it has come, in per cent,
// whether it is asked to stop, and (for tests) the steps that matter for a
// kill ("backup-page", "compact-page", "settled").
struct FileProgress {
    std::function<void(int percent)> report;
    std::function<bool()> stopRequested;
    std::function<void(const char* step)> step;
};

// A hold on a database file that keeps every other connection from writing
// (readers go on) until it is released or goes.
class FileHold {
public:
    virtual ~FileHold() = default;
};

// Rows written into a new database file in one transaction.
class RowWriter {
public:
    virtual ~RowWriter() = default;
    // The insert of these columns of `table`; the values of each row follow
    // in their order.  False with *error when the table refuses.
    virtual bool prepare(const QString& table, const QStringList& columns, QString* error) = 0;
    // One row (a null value stores NULL).
    virtual bool write(const QVariantList& values, QString* error) = 0;
    virtual bool commit(QString* error) = 0;
};

class FileStore {
public:
    virtual ~FileStore() = default;

    // The store of the program's database files.
    static const FileStore& standard();

    // Files the engine keeps beside a database file (journals, logs).
    virtual QStringList sideFiles(const QString& path) const = 0;
    // The file begins like a database of this engine.
    virtual bool looksLikeDatabase(const QString& path) const = 0;
    // The tables of a database file, and the columns of one (read-only).
    virtual bool tablesOf(const QString& path, QStringList* tables, QString* error) const = 0;
    virtual QStringList columnsOf(const QString& path, const QString& table) const = 0;
    // Whether the column ID of `table` is the table's key and can hold
    // whole numbers only (what the lists' paging and the number index
    // rely on).
    virtual bool hasIntegerKey(const QString& path, const QString& table) const = 0;
    // The engine's own check of every page; *problems says what is damaged,
    // *error why the file could not be opened or checked.
    enum class Integrity { Sound, Damaged, Unreadable, Unopened };
    virtual Integrity checkIntegrity(const QString& path, QStringList* problems, QString* error) const = 0;
    // The check of a copy just written from a sound database: every page's
    // structure, without comparing each index with its table (what the full
    // check adds, in several times the time).
    virtual Integrity checkCopy(const QString& path, QStringList* problems, QString* error) const
    {
        return checkIntegrity(path, problems, error);
    }
    // Writes a compacted copy of `source` (the pages in use) as the new file
    // `destination`.  *stopped when a stop ended it.
    virtual bool compactInto(const QString& source, const QString& destination, const FileProgress& progress,
                             QString* error, bool* stopped) const = 0;
    // Copies a database, possibly open and written elsewhere, as it is at one
    // moment, to the new file `destination`.
    virtual bool copyInto(const QString& source, const QString& destination, const FileProgress& progress,
                          QString* error, bool* stopped) const = 0;
    // Called before a database file is removed: nothing kept about it for
    // checkCopy outlives it.
    virtual void forgetCopy(const QString& path) const { (void)path; }
    // Leaves a freshly written database file as a file of its own (nothing
    // kept beside it).
    virtual bool detachSideFiles(const QString& path, QString* error) const = 0;
    // Brings a database about to be replaced back into a file of its own;
    // *inUse when another connection still has it open.
    virtual bool settle(const QString& path, QString* error, bool* inUse) const = 0;
    // Moves what the file's write-ahead log holds into the file itself, so
    // that a copy of the file alone holds every stored row (`truncate`:
    // and empties the log, at the end of the program).
    virtual bool flushLog(const QString& path, bool truncate, QString* error) const = 0;
    virtual std::unique_ptr<FileHold> holdWrites(const QString& path, QString* error) const = 0;
    // A new database file with these tables: each with the key ID and the
    // given text columns.
    virtual bool createTables(const QString& path, const QList<QPair<QString, QStringList>>& tables,
                              QString* error) const = 0;
    virtual std::unique_ptr<RowWriter> writeRows(const QString& path, QString* error) const = 0;
};
