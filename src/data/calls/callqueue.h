#pragma once
// The desk's call journal: every call is written here the moment it
// arrives, before it goes anywhere else, and leaves it only once it is in
// 来电数据.  A small SQLite file beside the database (data/来电队列.db),
// one row per call with its whole
// record, in the order the calls came, each with a key made when it arrived.
// A call is added and removed without waiting for the disk (its flush runs
// beside, see add()); every other change is on disk before it returns.
// Calls stay here while long work holds the database, while the database
// cannot be written, while the shared server cannot be reached, and across
// a crash or a kill: the next start moves them in.
//
// Writing them to a server exactly once.  The server's row cannot carry
// the key, so a call's delivery is made traceable through the server's own
// transaction: the row is inserted in a transaction, the transaction's
// number is noted in the queue file (on disk) before the commit is sent, and
// the call leaves the queue after the commit returns (a transaction number
// is asked only of the server it was noted for).  Whatever breaks off in
// between (the program killed, the server gone again), the next delivery
// asks the server what became of that transaction: committed, the call is
// there and leaves the queue unsent; aborted, it is sent again.  A call whose
// store was broken off outside that protocol (the call list's own store when
// the server went away under it) is marked unsure and sent only when the
// server has no call with exactly its record.  A database file has no
// transaction numbers: a call is marked unsure before its store is
// committed, so that a store broken off there is checked the same way.
//
// An object is used on one thread; another thread opens a queue of its own
// on the same file.

#include <QList>
#include <QSet>
#include <QStringList>
#include <QString>
#include <atomic>
#include <optional>

#include "rules/settings/databaselocation.h"
#include "rules/statements/query.h"
#include "rules/calls/callrules.h"

class DatabaseEngine;
class QSqlDatabase;
class QSqlQuery;

class CallQueue {
public:
    explicit CallQueue(QString path = standardPath());
    ~CallQueue();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // data/来电队列.db of the program folder.
    static QString standardPath();
    const QString& path() const { return path_; }

    struct Entry {
        qint64 order = 0;         // the queue's own increasing number
        QString key;              // made when the call arrived
        CallRecord call;
        qint64 transaction = -1;  // a delivery under way in this server transaction
        QString server;           // of this server (DatabaseLocation::describe())
        bool unsure = false;      // may already be on the server
        QString committedAt;      // in 来电数据 of `server` at this log position
    };

    // Keeps a call at the end of the queue and gives its order; DbError
    // when the file cannot take it.  Returns before the disk has it: the
    // caller flushes flushFiles() afterwards.
    qint64 add(const CallRecord& call, bool unsure = false);
    // The files that take the queue's writes to the disk when flushed.
    QStringList flushFiles() const;
    // The calls in the order they came (none when there is no file).
    QList<Entry> entries();
    // Calls not yet in 来电数据 (leaving out these orders).
    int count(const QSet<qint64>& besides = {});
    // Calls in 来电数据 of a server that has standbys, kept until every
    // standby has replayed them (a standby promoted before that would lack
    // them: they are then looked for there, and sent again when missing).
    int awaitingStandbys();
    void noteCommitted(qint64 order, const QString& position, const QString& server);
    // Lets go of the calls committed on `server` at or before `replayed`
    // (empty: the server has no standby); how many.
    int replayedOn(const QString& server, const QString& replayed);
    void noteTransaction(qint64 order, qint64 transaction, const QString& server);
    // The call's store is about to be committed: it may be in 来电数据 from
    // now on.
    void markUnsure(qint64 order);
    void remove(qint64 order);

private:
    QSqlDatabase database(bool create);
    bool runWithoutFlush(QSqlQuery& q, QString* why);
    int countWhere(const QString& condition);

    QString path_;
    QString name_;
    bool marked_ = false;  // the file is marked live
};

// A server's log position ("16/B374D848") as a number; nothing for text
// that is none.
std::optional<quint64> logPositionValue(const QString& position);

// The insert of a call row into 来电数据 (an empty value stored as null).
BoundStatement callInsert(const CallRecord& call);

namespace callqueue {

struct Delivery {
    bool reached = false;  // the server answered
    bool lost = false;     // it went away during the delivery
    int delivered = 0;     // calls that left the queue (sent or found there)
    QString error;         // why the delivery stopped short, for the operator
};

// Connects to `where`, a server or the database file (giving up after
// `connectWaitSeconds`; a transaction of it left idle that long is ended by
// the server) and writes the queue's
// calls to 来电数据 in order, each exactly once.  A call whose earlier
// delivery is still an open transaction on the server stops it short (the
// server ends that transaction within the same time, and the call is sent
// by a later try).  For any thread;
// `stop` ends it between two calls.
// The server a connection reached, as the journal notes it: the location
// as configured, and the address and port of the server that answered (a
// location naming a primary and its standby reaches either).
QString serverName(const DatabaseLocation& where, QSqlDatabase& db, const DatabaseEngine& engine);

Delivery deliver(const QString& queuePath, const DatabaseLocation& where, int connectWaitSeconds,
                 const std::atomic<bool>* stop = nullptr);

}  // namespace callqueue
