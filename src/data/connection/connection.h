#pragma once
// The database connection.  It opens on demand when the first data set on it
// opens, asks its before-connect step for the connection string each time it
// connects, and never creates a database file.

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

#include "data/connection/connectionmember.h"
#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "data/engine/worksite.h"
#include "rules/statements/query.h"

class BackgroundWork;
class QSqlQuery;
class ServerStallGuard;
namespace numberindex {
class Build;
}

class Connection : public QObject, public WorkSite {
    Q_OBJECT
public:
    explicit Connection(const QString& name, QObject* parent = nullptr,
                        std::shared_ptr<const DatabaseEngine> engine = DatabaseEngine::standard());
    ~Connection() override;

    // The engine the database is reached through.
    const DatabaseEngine& engine() const { return *engine_; }
    std::shared_ptr<const DatabaseEngine> sharedEngine() const override { return engine_; }

    const QString& name() const { return name_; }

    // The database: a SQLite file (its name taken as it is) or a server;
    // the engine follows at the next open.
    void setLocation(const DatabaseLocation& where) { location_ = where; }

    // Runs just before every connect; normally sets the location.
    void setBeforeConnect(std::function<void(Connection&)> f) { beforeConnect_ = std::move(f); }

    void open();   // no-op when connected
    void close();  // closes the data sets on the connection first
    bool isConnected() const;

    // Waits for the counts of lists still being counted.  Stores need not:
    // a count reads the list as it was opened.
    void finishCounts();
    void finishCountsBefore(int openedAs);  // of the lists opened before that one
    // Whether the open database has the caller lookup's index complete.  A
    // database that lacks it gets it when opened, a large one on a thread of
    // its own while the program works (see numberindex.h).
    bool hasNumberIndex() const { return numberIndex_; }
    // The row count the database keeps of `table` (see rowcounts.h); nothing
    // when it keeps none (yet).  A database without them gets them when
    // opened, a large one by the same long work as the indexes.
    std::optional<qint64> keptRowCount(const QString& table) const;
    // Tables with at least this many rows get their missing indexes from
    // long work after the open, not during it.
    void setBackgroundIndexRows(qint64 rows) { backgroundIndexRows_ = rows; }
    // How long work of the connection is started: the windows show a
    // progress window for it (see workwindow.h); without windows it just starts.
    void setWorkStarter(std::function<void(BackgroundWork*)> f) { workStarter_ = std::move(f); }
    // Starts long work of the connection that way (work already running
    // just gets its progress window).
    void startWork(BackgroundWork* work);
    // The index build under way, if any; waiting is for tests and the end.
    BackgroundWork* indexBuild() const;
    bool waitForIndexBuild(int msecs = -1);

    // Executes a statement that returns no rows.
    void execute(const QString& sql);
    // Runs a statement on the connection (a prepared one without `sql`)
    // and notes how it went (see noteOutcome()).
    bool run(QSqlQuery& q, const QString& sql);
    bool run(QSqlQuery& q);
    bool run(QSqlQuery& q, const BoundStatement& statement);
    // The failure of a statement as the operator reads it.
    DbError failure(const QSqlQuery& q) const;
    // Said when the server went away under a statement or a connect.
    static QString serverGoneText();

    QSqlDatabase database() const;
    // Where the database is (also when not connected).
    DatabaseLocation location() const override { return location_; }

    // Long work that writes holds the connection's writes while it runs
    // (see backgroundwork.h); writers that must not wait keep their rows
    // until writesHeldChanged(false).
    void holdWrites(const QString& what) override;
    void releaseWrites() override;
    bool writesHeld() const { return writesHeld_ > 0; }
    const QString& writesHeldBy() const { return writesHeldBy_; }

    // Every try to reach a database locked by another program gives up
    // after this long, so that the window never hangs for long.
    static constexpr int kBusyTimeoutMs = 250;
    bool isBusy(const QSqlError& error) const { return engine_->isBusy(error); }
    // Statements report how they went: busyChanged() follows.
    void noteOutcome(const QSqlError& error);
    bool busy() const { return busy_; }

    // Data sets register themselves so that close() can close them.
    void attach(ConnectionMember* ds);
    void detach(ConnectionMember* ds);

signals:
    // Another connection (another desk) stored a row in the table; `key`
    // is the row's key.  Only where the engine can tell (a server).
    void storedElsewhere(const QString& table, qint64 key);
    // The database was found locked by another program / is free again.
    void busyChanged(bool busy);
    // The indexes' build after an open ended (built or not).
    void indexBuildEnded(bool built);
    // Long work began / ended holding the writes.
    void writesHeldChanged(bool held);
    // The connection was opened (before any data set reads on it).
    void opened();
    // A statement found the database gone (a server that went away), or a
    // server could not be reached: the connection must be opened anew
    // before anything else succeeds.
    void lost();

private:
    bool onOwnThread() const;
    void watchForStalls(const QSqlDatabase& db);
    void ensureNumberIndex(QSqlDatabase& db);
    void holdLive(const QString& file);
    void startIndexBuild(bool numbers, bool counts);
    bool keepRowCounts(QSqlDatabase& db);

    QString name_;
    std::shared_ptr<const DatabaseEngine> engine_;
    QString sqlName_;
    QString liveFile_;  // the database file marked live by this connection
    DatabaseLocation location_;
    std::function<void(Connection&)> beforeConnect_;
    QVector<ConnectionMember*> dataSets_;
    bool busy_ = false;
    // The driver's notices of other desks' calls, listened to once however
    // often the connection is opened anew.
    QMetaObject::Connection notices_;
    std::unique_ptr<numberindex::Build> indexBuild_;
    bool numberIndex_ = false;
    QSet<QString> keptCounts_;
    qint64 backgroundIndexRows_ = 20000;
    std::function<void(BackgroundWork*)> workStarter_;
    // Cuts off a server that leaves a statement of the window thread
    // unanswered (see serverstallguard.h).
    std::unique_ptr<ServerStallGuard> stallGuard_;
    QPointer<BackgroundWork> indexWork_;
    int writesHeld_ = 0;
    QString writesHeldBy_;
};
