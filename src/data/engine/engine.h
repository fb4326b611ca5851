#pragma once
// The database engine behind the program's data: everything that speaks an
// engine's own dialect or interface lies behind this one class, so that the
// rest of the data layer (connections, data sets, long work, the number
// index, the database files) is written once for every engine.
//
// An engine holds no state of its own and may be used from any thread.  A
// connection owns the engine it reaches its database through; code that has
// only a database handle asks DatabaseEngine::of().

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <functional>
#include <memory>

#include "rules/settings/databaselocation.h"

class QSqlError;
class QSqlQuery;

class DatabaseEngine {
public:
    virtual ~DatabaseEngine() = default;

    // The engine of a database: SQLite for a file (the standard), the
    // PostgreSQL one for a server.
    static std::shared_ptr<const DatabaseEngine> standard(const DatabaseLocation& where = {});
    // The engine a database handle was opened through.
    static const DatabaseEngine& of(const QSqlDatabase& db);
    // Whether the engine serves databases of this kind.
    virtual DatabaseLocation::Kind kind() const = 0;

    // --- connections ------------------------------------------------------
    // Report: read-only, and from a standby where the location names one
    // (a long report does not load the primary).
    enum class Access { ReadWrite, ReadOnly, Report };
    // A connection under `name` to the database `where` (an earlier one of
    // that name is taken up again), not yet opened.  A locked database is
    // waited for at most `waitMs` before a statement gives up.
    virtual QSqlDatabase connection(const QString& name, const DatabaseLocation& where, int waitMs,
                                    Access access = Access::ReadWrite) const = 0;
    // Whether the database can be tried at all: a file must exist (no empty
    // one may appear in its place), a server address must be readable.
    // *error says why not, for the operator.
    virtual bool canTry(const DatabaseLocation& where, QString* error) const = 0;
    // Where an opened connection's database is (for another connection to it).
    virtual DatabaseLocation locationOf(const QSqlDatabase& db) const = 0;
    // Whether the opened connection really reaches a database; *error says why not.
    virtual bool reachesDatabase(QSqlDatabase& db, QString* error) const = 0;
    // Makes the database ready for the program: an engine that may create
    // the tables on an empty database does so, and refuses a database whose
    // tables of those names have another shape.  *error says why not.
    virtual bool prepareDatabase(QSqlDatabase& db, QString* error) const = 0;
    // The settings every connection gets: readers and writers never keep
    // each other waiting, and every commit is on disk when it returns.
    virtual void prepareSession(QSqlDatabase& db) const = 0;
    // Inside an open transaction: fixes its view of the database now, so
    // that what is written from here on is not seen by it.
    virtual bool fixView(const QSqlDatabase& db, QString* error = nullptr) const = 0;
    // The failure is the database locked by another connection.
    virtual bool isBusy(const QSqlError& error) const = 0;
    // A function that interrupts the statement the connection is running,
    // callable from another thread while the connection lives; empty when
    // the engine cannot.
    virtual std::function<void()> interrupter(const QSqlDatabase& db) const = 0;
    // While `stop` is set, statements of the connection end as failed;
    // null lets them run again.
    virtual void stopWhenSet(const QSqlDatabase& db, const std::atomic<bool>* stop) const = 0;

    // Asks to be told when another connection stores rows in `table`: the
    // driver's notification() signal under the name answered, the new key
    // as payload.  Empty when the engine cannot tell.
    virtual QString watchInserts(QSqlDatabase& db, const QString& table) const = 0;

    // The socket of a connection to a server (-1: none, a file).
    virtual int socketOf(const QSqlDatabase&) const { return -1; }
    // Whether the open database takes writes (a file opened read-only does not).
    virtual bool canWrite(const QSqlDatabase&) const { return true; }
    // Where each commit waits for the disk (a file), the commits of the
    // connection can be let return before the disk has them (`later`) and
    // taken to the disk afterwards by flushing flushFiles(); false where the
    // engine cannot (a server commits on its own disks).
    virtual bool flushLater(QSqlDatabase& db, bool later) const
    {
        Q_UNUSED(db);
        Q_UNUSED(later);
        return false;
    }
    virtual QStringList flushFiles(const QSqlDatabase& db) const
    {
        Q_UNUSED(db);
        return {};
    }
    // Whether the opened connection has lost its database (a server that went
    // away): no statement on it can succeed until it is opened anew.  Asked
    // without reaching the database.
    virtual bool connectionLost(const QSqlDatabase& db) const
    {
        Q_UNUSED(db);
        return false;
    }
    // For tries that must not keep anybody waiting long (a connection not
    // yet opened): connecting is given up after `seconds`, and the server
    // ends a transaction of the connection left idle that long (its client
    // gone), instead of holding it open for hours.
    virtual void limitWaits(QSqlDatabase& db, int seconds) const
    {
        Q_UNUSED(db);
        Q_UNUSED(seconds);
    }
    // Inside a transaction: the statement giving its lasting number, and the
    // one telling, for a bound number, whether that transaction committed:
    // "committed", "aborted", "in progress", or null when no longer known.
    // Empty when the engine cannot tell.
    virtual QString transactionNumberStatement() const { return {}; }
    virtual QString transactionFateStatement() const { return {}; }
    // Standbys.  Which server of several a connection reached (its address
    // and port, so that a promoted standby is told apart from the primary it
    // replaces); the position in the server's log at which what was just
    // committed lies; and how far every standby has replayed the log (one
    // row: the number of standbys, the lowest position replayed, null when
    // not visible to this login).  Positions are compared by
    // logPositionValue().  Empty when the engine has no standbys.
    virtual QString serverIdentityStatement() const { return {}; }
    virtual QString logPositionStatement() const { return {}; }
    virtual QString standbyReplayStatement() const { return {}; }
    // Which server a report read: its identity, whether it is a standby, and
    // how many seconds its last replayed change lies behind (null: unknown).
    virtual QString readingPlaceStatement() const { return {}; }

    // A column's name as the program spells it (ID, EMAIL), from the name a
    // result reports: an engine that folds names gives them back folded.
    virtual QString columnName(const QString& reported) const { return reported; }

    // --- statements -----------------------------------------------------------
    // "The column holds the bound value", NULL matching NULL.
    virtual QString sameValue(const QString& quotedColumn) const = 0;
    // Begins a transaction that writes (taking the write lock at once where
    // the engine has one).
    virtual QString beginWrite() const = 0;
    // "How many rows the table may hold, at a glance" (its highest key).
    virtual QString rowsAtMostStatement(const QString& table) const = 0;
    // The insert statement made to give the new row's key `keyColumn`, and
    // that key read from the query that ran it.
    virtual QString insertGivingKey(const QString& insert, const QString& keyColumn) const = 0;
    virtual QVariant newKey(QSqlQuery& q) const = 0;
    // "The column's value, as text, holds the pattern" as the lists' searches
    // mean it: letters matched without regard to case, "%" and "_" the only
    // wildcards.
    virtual QString textLike(const QString& column, const QString& pattern) const = 0;
    // Makes the keys the table gives from here on follow a key a stored row
    // brought itself (bound: that key, then the table's name); empty when
    // the engine's keys follow on their own.
    virtual QString keyFollowing() const { return {}; }
    // The statement's first `rows` rows only.
    virtual QString limited(const QString& sql, qint64 rows) const = 0;
    // "How many of the named tables, indexes or triggers exist": one
    // bound name per mark.
    virtual QString objectCountStatement(int names) const = 0;
    // "How many tables have the bound name".
    virtual QString tableCountStatement() const = 0;

    // --- the number index -------------------------------------------------------
    // Provides numberDigitsFunction (callrules.h) on this connection and on
    // every connection opened afterwards.  False when it cannot.
    virtual bool addDigitsFunction(const QSqlDatabase& db) const = 0;
    // The index over the digits of `columns` of `table` (key ID): the
    // statements creating it and the triggers keeping it in step, those
    // removing them, and the names of everything they create.
    struct NumberIndex {
        QString index;  // the index's own table
        QString table;
        QStringList columns;
        QString trigger(const char* suffix) const { return index + QLatin1String(suffix); }
    };
    virtual QStringList numberIndexCreation(const NumberIndex& ix) const = 0;
    virtual QStringList numberIndexRemoval(const NumberIndex& ix) const = 0;
    virtual QStringList numberIndexObjects(const NumberIndex& ix) const = 0;
    // The trigger that indexes a stored row, alone (set aside while many
    // rows are stored at once), and its removal.
    virtual QString numberIndexInsertTrigger(const NumberIndex& ix) const = 0;
    virtual QString numberIndexInsertTriggerRemoval(const NumberIndex& ix) const = 0;
    // Indexes the rows with a key above the first bound value and at most
    // the second that the index does not hold yet (the two values bound twice).
    virtual QString numberIndexFill(const NumberIndex& ix) const = 0;

    // --- kept row counts ---------------------------------------------------------
    // The triggers keeping the row count of `table` in the table `counts`
    // (columns 表名, 行数) in step with every insert and delete, and their
    // names.  Empty when the engine does not keep counts this way.
    virtual QStringList rowCountTriggers(const QString& counts, const QString& table) const
    {
        Q_UNUSED(counts);
        Q_UNUSED(table);
        return {};
    }
    virtual QStringList rowCountTriggerNames(const QString& counts, const QString& table) const
    {
        Q_UNUSED(counts);
        Q_UNUSED(table);
        return {};
    }
};
