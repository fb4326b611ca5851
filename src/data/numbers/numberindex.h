#pragma once
// The caller lookup's index: a trigram full-text index over the digits of
// 手机, 电话 and 宅电 of 客户数据 (numberDigits(), callrules.h), kept in step
// with the table by triggers.  The index carries a version: a database whose
// index is missing or of an older form gets it built anew when opened.

#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <memory>

class QObject;

namespace numberindex {

// The form of the index; a database with another one is indexed anew.
constexpr int kVersion = 2;
// Rows indexed in one step (one transaction) of a build on its thread:
// short enough that the program's own stores never wait long for it.
constexpr int kStep = 500;
// A table with no more rows than this is indexed at once when opened.
constexpr qint64 kInlineRows = 5000;

// Provides the SQL function numberDigitsFunction on this connection and on
// every connection the program opens afterwards (the triggers of the index
// use it, whoever stores a customer).  Throws DbError when it cannot.
void addDigitsFunction(const QSqlDatabase& db);

// Whether the index of this version, its three triggers and the mark of a
// finished build are all there.
bool isComplete(const QSqlDatabase& db);

// Builds the index on this connection at once when it is not complete.
// Without the customer table it does nothing.  Throws DbError when the
// database refuses.  `progress`, when given, hears after every step how many
// customers are indexed out of how many.
void ensure(QSqlDatabase& db, const std::function<void(qint64 done, qint64 total)>& progress = {});

// A build that goes on in steps on a thread of its own, with a connection
// of its own, while the program works: every step is a short transaction of
// its own, the triggers keep the rows already indexed in step, and an
// interrupted build goes on where it stopped the next time.
class Build {
public:
    // Called on the thread of the context object when the build has ended:
    // with an empty text when the index is complete, else with the reason.
    using Done = std::function<void(const QString& error)>;

    // Makes the index of the database complete.  A small table (at most
    // kInlineRows rows to index) is indexed at once on `db`: `done` has been
    // called when this returns, and no build is returned.  Otherwise the
    // build starts on its thread.  Throws DbError when the database cannot
    // even be asked.
    static std::unique_ptr<Build> start(QSqlDatabase& db, QObject* context, Done done);

    // Stops the build after its current step and waits for it; `done` is
    // then not called.
    ~Build();

    struct Shared;

private:
    Build() = default;
    std::shared_ptr<Shared> shared_;
};

// Many customers stored in one transaction (an import).  Through the insert
// trigger every row costs the index a flush of its own; instead the trigger
// is set aside while the rows go in and the new rows are indexed together at
// the end.  Made inside the transaction, finished before its commit; a
// rollback brings the trigger back with everything else.  Rows must get new
// keys (above every key so far): the caller does not store IDs of its own.
// Without a complete index it does nothing.
class BulkAppend {
public:
    explicit BulkAppend(QSqlDatabase db);
    // Indexes the rows stored since and puts the trigger back.  Throws
    // DbError when the database refuses (the transaction must then be
    // rolled back).
    void finish();

private:
    QSqlDatabase db_;
    bool active_ = false;
    qint64 lastKey_ = 0;
};

}  // namespace numberindex
