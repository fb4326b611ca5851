#include "data/connection/connection.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include "rules/files/livefiles.h"
#include "rules/statements/statementtext.h"
#include "data/work/backgroundwork.h"
#include "data/connection/rowcounts.h"
#include "data/connection/serverstallguard.h"
#include "data/engine/serverrights.h"
#include "data/numbers/callhistory.h"
#include "data/numbers/numberindex.h"
#include "rules/statements/tablenames.h"

namespace {

const QString kDateIndex = QStringLiteral("来电数据_日期");


// The call list's date search looks calls up by 日期, the panel of a
// caller's earlier calls by 手机 and 电话; the indexes are made the first
// time a database without them is opened.  A database that cannot take
// them (read-only, no call table) is used as it is.
bool createCallIndexes(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("create index if not exists ") + quotedIdentifier(kDateIndex) +
                QStringLiteral(" on ") + quotedIdentifier(tables::calls()) + QStringLiteral(" (日期)")))
        return false;
    try {
        ensureCallHistoryIndexes(db);
    } catch (const DbError&) {
        return false;
    }
    return true;
}

int namesPresent(const QSqlDatabase& db, const QString& sql, const QStringList& names)
{
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QString& n : names)
        q.addBindValue(n);
    return q.exec() && q.next() ? q.value(0).toInt() : -1;
}

bool hasCallIndexes(const QSqlDatabase& db)
{
    const DatabaseEngine& engine = DatabaseEngine::of(db);
    // Without a call table there is nothing to index.
    if (namesPresent(db, engine.tableCountStatement(), {tables::calls()}) <= 0)
        return true;
    const QString calls = tables::calls();
    const QStringList names{kDateIndex, calls + QStringLiteral("_手机"), calls + QStringLiteral("_电话"), calls};
    return namesPresent(db, engine.objectCountStatement(int(names.size())), names) == names.size();
}

// How many rows a table may hold, at a glance (its highest key).
qint64 rowsAtMost(const QSqlDatabase& db, const QString& table)
{
    QSqlQuery q(db);
    if (!q.exec(DatabaseEngine::of(db).rowsAtMostStatement(table)) || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

}  // namespace

Connection::Connection(const QString& name, QObject* parent, std::shared_ptr<const DatabaseEngine> engine)
    : QObject(parent), name_(name), engine_(std::move(engine)),
      sqlName_(name + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128))
{
}

Connection::~Connection()
{
    indexBuild_.reset();
    stallGuard_.reset();
    // No data set outlives its connection: each is closed and let go.
    for (ConnectionMember* ds : QVector<ConnectionMember*>(dataSets_))
        ds->connectionGone();
    dataSets_.clear();
    if (!liveFile_.isEmpty())
        livefiles::release(liveFile_);
    if (QSqlDatabase::contains(sqlName_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(sqlName_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(sqlName_);
    }
}

bool Connection::isConnected() const
{
    return QSqlDatabase::contains(sqlName_) && QSqlDatabase::database(sqlName_, false).isOpen();
}

QSqlDatabase Connection::database() const { return QSqlDatabase::database(sqlName_, false); }

void Connection::open()
{
    if (isConnected())
        return;
    if (beforeConnect_)
        beforeConnect_(*this);
    const DatabaseLocation where = location_;
    if (engine_->kind() != where.kind) {
        // Another engine: a connection of its own under a new name.
        if (QSqlDatabase::contains(sqlName_))
            QSqlDatabase::removeDatabase(sqlName_);
        sqlName_ = name_ + QLatin1Char('_') + QUuid::createUuid().toString(QUuid::Id128);
        engine_ = DatabaseEngine::standard(where);
    }
    QString why;
    if (!engine_->canTry(where, &why))
        throw DbError(why);
    holdLive(where.isServer() ? QString() : where.file);
    QSqlDatabase db = engine_->connection(sqlName_, where, kBusyTimeoutMs);
    const QString cannotOpen = (where.isServer() ? QStringLiteral("无法连接数据库服务器“") : QStringLiteral("无法打开数据库“")) +
                               where.describe() + QStringLiteral("”：");
    if (!db.open()) {
        if (where.isServer())
            emit lost();
        throw DbError(cannotOpen + db.lastError().text());
    }
    // Check at once that the file really is a database, and one the program
    // can use (a server's empty database gets the tables).
    if (!engine_->reachesDatabase(db, &why) || !engine_->prepareDatabase(db, &why)) {
        db.close();
        throw DbError(cannotOpen + why);
    }
    engine_->prepareSession(db);
    watchForStalls(db);
    // Calls stored at other desks are told to this one.
    disconnect(notices_);
    if (const QString channel = engine_->watchInserts(db, tables::calls()); !channel.isEmpty())
        notices_ = connect(db.driver(), &QSqlDriver::notification, this,
                [this, channel](const QString& name, QSqlDriver::NotificationSource source, const QVariant& key) {
                    if (name == channel && source == QSqlDriver::OtherSource)
                        emit storedElsewhere(tables::calls(), key.toLongLong());
                });
    try {
        // The index's triggers need the digits function on every connection.
        numberindex::addDigitsFunction(db);
    } catch (const std::exception& e) {
        errorreport::report(QString::fromUtf8(e.what()));
    }
    // The indexes of a database that lacks them (an older one, a restored
    // one) are built now when the tables are small; on large tables they are
    // built by long work while the program goes on without them.
    numberIndex_ = numberindex::isComplete(db);
    if (!engine_->canWrite(db)) {
        // A read-only file is read as it is: nothing is built in it (the
        // calls wait in the journal, which says so).
        keptCounts_.clear();
        emit opened();
        return;
    }
    // A desk's login makes no index: the owner's next start does.
    if (!serverrights::mayChangeTables(db)) {
        keepRowCounts(db);
        emit opened();
        return;
    }
    const bool dateIndex = hasCallIndexes(db);
    const bool smallCalls = dateIndex || rowsAtMost(db, tables::calls()) < backgroundIndexRows_;
    const bool smallCustomers = numberIndex_ || rowsAtMost(db, tables::customers()) < backgroundIndexRows_;
    if (!dateIndex && smallCalls)
        createCallIndexes(db);
    if (!numberIndex_ && smallCustomers)
        ensureNumberIndex(db);
    const bool countsLater = !keepRowCounts(db);
    if (!smallCalls || !smallCustomers || countsLater)
        startIndexBuild(!smallCustomers, countsLater);
    emit opened();
}

// A server connection used on the window thread is watched for a server
// that stops answering; what the guard cuts off is found lost.
void Connection::watchForStalls(const QSqlDatabase& db)
{
    const int socket = engine_->socketOf(db);
    if (socket < 0 || !onOwnThread()) {
        if (stallGuard_)
            stallGuard_->watch(-1);
        return;
    }
    if (!stallGuard_) {
        stallGuard_ = std::make_unique<ServerStallGuard>(kServerAnswerWaitMs);
        connect(stallGuard_.get(), &ServerStallGuard::cutOff, this, [this] {
            if (engine_->connectionLost(database()))
                emit lost();
        });
    }
    stallGuard_->watch(socket);
}

// Notes which tables' row counts the database keeps, and makes those of
// small tables kept now.  False when a large table's count is still to be
// kept (by long work).
bool Connection::keepRowCounts(QSqlDatabase& db)
{
    keptCounts_.clear();
    bool allKept = true;
    for (const QString& table : rowcounts::countedTables()) {
        if (namesPresent(db, engine_->tableCountStatement(), {table}) <= 0)
            continue;
        if (rowcounts::isKept(db, table)) {
            keptCounts_.insert(table);
        } else if (engine_->rowCountTriggers(rowcounts::countTable, table).isEmpty()) {
            continue;  // the engine counts every time
        } else if (rowsAtMost(db, table) >= backgroundIndexRows_) {
            allKept = false;
        } else if (rowcounts::keep(db, table)) {
            // A database that cannot take them (read-only) is counted as before.
            keptCounts_.insert(table);
        }
    }
    return allKept;
}

std::optional<qint64> Connection::keptRowCount(const QString& table) const
{
    if (!keptCounts_.contains(table) || !isConnected())
        return std::nullopt;
    return rowcounts::read(database(), table);
}

// The caller lookup's index, built once for a database that lacks it.  A
// database that cannot take it (read-only, full disk) still opens: the
// lookup then runs without the index.
void Connection::ensureNumberIndex(QSqlDatabase& db)
{
    numberIndex_ = false;
    indexBuild_.reset();
    try {
        numberindex::addDigitsFunction(db);
        indexBuild_ = numberindex::Build::start(db, this, [this](const QString& error) {
            indexBuild_.reset();
            numberIndex_ = error.isEmpty();
            if (!error.isEmpty())
                errorreport::report(error);
        });
    } catch (const std::exception& e) {
        errorreport::report(QString::fromUtf8(e.what()));
    }
}

void Connection::startIndexBuild(bool numbers, bool counts)
{
    if (indexWork_)
        return;
    auto* work = new BackgroundWork(
        this, QStringLiteral("建立查找用的索引（只需一次）"), BackgroundWork::Access::Write,
        [numbers, counts](WorkContext& cx) {
            QSqlDatabase db = cx.db();
            cx.interruptOnStop();
            if (!hasCallIndexes(db)) {
                cx.setText(QStringLiteral("正在为来电数据的日期和号码建立索引（只需一次），请稍候……"));
                if (!createCallIndexes(db)) {
                    cx.checkStop();
                    // Without them the searches read the whole table: slower, not wrong.
                }
            }
            cx.checkStop();
            // A small customer table is indexed by the open itself.
            if (numbers && !numberindex::isComplete(db)) {
                cx.setText(QStringLiteral("正在为来电查找建立号码索引（只需一次），请稍候……"));
                // One statement after another; a stop interrupts the one running.
                numberindex::ensure(db, [&cx](qint64 done, qint64 total) { cx.progress(done, total); });
            }
            for (const QString& table : rowcounts::countedTables()) {
                cx.checkStop();
                if (!counts || rowcounts::isKept(db, table) ||
                    namesPresent(db, DatabaseEngine::of(db).tableCountStatement(), {table}) <= 0)
                    continue;
                cx.setText(QStringLiteral("正在清点") + table + QStringLiteral("的记录数（只需一次），请稍候……"));
                // Without it the list is counted each time it opens: slower, not wrong.
                rowcounts::keep(db, table);
            }
        });
    indexWork_ = work;
    connect(work, &BackgroundWork::finished, this, [this](const WorkOutcome& outcome) {
        indexWork_ = nullptr;
        numberIndex_ = isConnected() && numberindex::isComplete(database());
        if (isConnected()) {
            QSqlDatabase db = database();
            keepRowCounts(db);
        }
        if (!outcome.ok && !outcome.stopped)
            errorreport::report(QStringLiteral("查找用的索引没有建成，来电查找照常进行，只是慢一些；下次启动时再试。\n") +
                                outcome.error);
        emit indexBuildEnded(outcome.ok);
    });
    startWork(work);
}

void Connection::startWork(BackgroundWork* work)
{
    if (workStarter_)
        workStarter_(work);
    else
        work->start();
}

BackgroundWork* Connection::indexBuild() const { return indexWork_; }

bool Connection::waitForIndexBuild(int msecs)
{
    return !indexWork_ || indexWork_->wait(msecs);
}

void Connection::holdWrites(const QString& what)
{
    if (writesHeld_++ == 0) {
        writesHeldBy_ = what;
        emit writesHeldChanged(true);
    }
}

void Connection::releaseWrites()
{
    if (writesHeld_ == 0)
        return;
    if (--writesHeld_ == 0) {
        writesHeldBy_.clear();
        emit writesHeldChanged(false);
    }
}

// The file stays live while this connection may hold it, also while it is
// closed for long work, until another one takes its place.
void Connection::holdLive(const QString& file)
{
    if (file == liveFile_)
        return;
    if (!file.isEmpty())
        livefiles::mark(file);
    if (!liveFile_.isEmpty())
        livefiles::release(liveFile_);
    liveFile_ = file;
}

void Connection::close()
{
    indexBuild_.reset();  // goes on where it stopped at the next open
    numberIndex_ = false;
    if (stallGuard_)
        stallGuard_->watch(-1);
    for (ConnectionMember* ds : QVector<ConnectionMember*>(dataSets_))
        ds->close();
    if (QSqlDatabase::contains(sqlName_)) {
        // Also a connection the server dropped (no longer open, not yet let go).
        QSqlDatabase db = QSqlDatabase::database(sqlName_, false);
        db.close();
    }
}

void Connection::finishCounts()
{
    for (ConnectionMember* ds : QVector<ConnectionMember*>(dataSets_))
        ds->finishCount();
}

void Connection::finishCountsBefore(int openedAs)
{
    for (ConnectionMember* ds : QVector<ConnectionMember*>(dataSets_))
        if (ds->countPending() && ds->openedAs() < openedAs)
            ds->finishCount();
}

void Connection::execute(const QString& sql)
{
    open();
    finishCounts();
    QSqlQuery q(database());
    if (!run(q, sql))
        throw isBusy(q.lastError()) ? failure(q) : DbError(q.lastError().text());
}

bool Connection::run(QSqlQuery& q, const QString& sql)
{
    const bool ok = q.exec(sql);
    noteOutcome(q.lastError());
    return ok;
}

bool Connection::run(QSqlQuery& q, const BoundStatement& statement)
{
    if (statement.values.isEmpty())
        return run(q, statement.sql);
    if (!q.prepare(statement.sql)) {
        noteOutcome(q.lastError());
        return false;
    }
    for (const QVariant& v : statement.values)
        q.addBindValue(v);
    return run(q);
}

bool Connection::run(QSqlQuery& q)
{
    const bool ok = q.exec();
    noteOutcome(q.lastError());
    return ok;
}

DbError Connection::failure(const QSqlQuery& q) const
{
    const QSqlError e = q.lastError();
    if (isBusy(e))
        return DbError(QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍后再试。\n") + e.databaseText());
    if (onOwnThread() && engine_->connectionLost(database()))
        return DbError(serverGoneText() + QLatin1Char('\n') + e.text());
    const QString why = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    // The driver gives no reason for a statement on a connection that is
    // not open (the server went away and it is being opened anew).
    if (why.trimmed().isEmpty() && !database().isOpen())
        return DbError(engine_->kind() == DatabaseLocation::Kind::Server ? serverGoneText()
                                                                          : QStringLiteral("数据库没有打开，请稍后再试。"));
    return DbError(why);
}

// The connection's database handle is used on the window thread only.
bool Connection::onOwnThread() const { return QThread::currentThread() == thread(); }

QString Connection::serverGoneText()
{
    return QStringLiteral("连接不上服务器数据库，程序正在自动重新连接，连上后再试。");
}

void Connection::noteOutcome(const QSqlError& error)
{
    if (error.isValid() && onOwnThread() && engine_->connectionLost(database()))
        emit lost();
    const bool busy = isBusy(error);
    if (busy == busy_ || (!busy && error.isValid()))
        return;
    busy_ = busy;
    emit busyChanged(busy);
}

void Connection::attach(ConnectionMember* ds)
{
    if (!dataSets_.contains(ds))
        dataSets_.append(ds);
}

void Connection::detach(ConnectionMember* ds) { dataSets_.removeAll(ds); }
