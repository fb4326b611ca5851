#include "data/calls/callqueue.h"
#include "data/calls/fileflusher.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "rules/files/livefiles.h"
#include "rules/files/paths.h"
#include "rules/files/privatefiles.h"
#include "data/connection/connection.h"
#include "data/engine/dberror.h"
#include "data/engine/engine.h"

namespace {

const QString kTable = QStringLiteral("待写来电");
const QStringList kColumns{QStringLiteral("电话"), QStringLiteral("手机"), QStringLiteral("日期"),
                           QStringLiteral("时间"), QStringLiteral("联系人"), QStringLiteral("公司名称")};

QStringList valuesOf(const CallRecord& c) { return {c.phone, c.mobile, c.date, c.time, c.contact, c.company}; }

QString uniqueName(const char* what)
{
    return QLatin1String(what) + QUuid::createUuid().toString(QUuid::Id128);
}

void exec(QSqlQuery& q, const QString& what)
{
    if (!q.exec())
        throw DbError(QStringLiteral("本机的来电队列（") + what + QStringLiteral("）：") + q.lastError().text());
}

}  // namespace

CallQueue::CallQueue(QString path) : path_(std::move(path)), name_(uniqueName("callqueue_")) {}

CallQueue::~CallQueue()
{
    if (marked_)
        livefiles::release(path_);
    if (!QSqlDatabase::contains(name_))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
}

QString CallQueue::standardPath() { return programFolder() + QStringLiteral("data/来电队列.db"); }

// The file is made with the first call kept; until then there is nothing to
// open.  Every commit reaches the disk before it returns (synchronous=FULL).
QSqlDatabase CallQueue::database(bool create)
{
    if (QSqlDatabase::contains(name_)) {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (db.isOpen())
            return db;
    }
    if (!create && !QFileInfo::exists(path_))
        return {};
    QDir().mkpath(QFileInfo(path_).absolutePath());
    if (!marked_) {
        livefiles::mark(path_);
        marked_ = true;
    }
    // The calls are the office's: the file is the user's alone from its
    // first byte (its log files take its mode).
    if (!QFileInfo::exists(path_))
        privatefiles::createEmpty(path_);
    QSqlDatabase db = QSqlDatabase::contains(name_) ? QSqlDatabase::database(name_, false)
                                                    : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        throw DbError(QStringLiteral("本机的来电队列打不开：") + db.lastError().text());
    QSqlQuery q(db);
    // One flush a commit, and every commit on disk before it returns.
    q.prepare(QStringLiteral("pragma journal_mode = wal"));
    exec(q, QStringLiteral("设置"));
    q.prepare(QStringLiteral("pragma synchronous = full"));
    exec(q, QStringLiteral("设置"));
    // The log is moved into the file beside the window (the courier's
    // flusher, FileFlusher::foldLogs), never by a write here: a checkpoint
    // waits for the disk twice.  A log moved in starts again small, so that
    // its length tells how much it holds.
    q.prepare(QStringLiteral("pragma wal_autocheckpoint = 0"));
    exec(q, QStringLiteral("设置"));
    q.prepare(QStringLiteral("pragma journal_size_limit = 0"));
    exec(q, QStringLiteral("设置"));
    q.prepare(QStringLiteral("create table if not exists 待写来电 (序号 integer primary key autoincrement, "
                             "记号 text not null unique, 电话 text, 手机 text, 日期 text, 时间 text, "
                             "联系人 text, 公司名称 text, 事务 integer, 服务器 text, 存疑 integer not null default 0, "
                             "提交位置 text)"));
    exec(q, QStringLiteral("建表"));
    // A journal of an earlier version lacks the commit's log position.
    q.prepare(QStringLiteral("select count(*) from pragma_table_info('待写来电') where name = '提交位置'"));
    exec(q, QStringLiteral("建表"));
    if (q.next() && q.value(0).toInt() == 0) {
        q.prepare(QStringLiteral("alter table 待写来电 add column 提交位置 text"));
        exec(q, QStringLiteral("建表"));
    }
    return db;
}

// The statement prepared in `q` runs with its commit written into the log
// without waiting for the disk; false and why when it fails.
bool CallQueue::runWithoutFlush(QSqlQuery& q, QString* why)
{
    QSqlQuery mode(database(true));
    mode.prepare(QStringLiteral("pragma synchronous = normal"));
    exec(mode, QStringLiteral("设置"));
    const bool ok = q.exec();
    if (!ok)
        *why = q.lastError().text();
    mode.prepare(QStringLiteral("pragma synchronous = full"));
    exec(mode, QStringLiteral("设置"));
    return ok;
}

// The log alone (the file takes commits by checkpoints SQLite flushes
// itself); see SqliteEngine::flushLater for why it may be opened beside.
QStringList CallQueue::flushFiles() const { return {path_ + QStringLiteral("-wal")}; }

// Written without waiting for the disk: the one who adds flushes
// flushFiles() beside (a FileFlusher), so that a busy disk never holds the
// window while a call comes in.  A crash of the program loses nothing
// written; a power cut within the moment of the flush loses the call as it
// would have lost it while the window waited for that flush.
qint64 CallQueue::add(const CallRecord& call, bool unsure)
{
    QSqlQuery q(database(true));
    q.prepare(QStringLiteral("insert into 待写来电 (记号, 电话, 手机, 日期, 时间, 联系人, 公司名称, 存疑) "
                             "values (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
    for (const QString& v : valuesOf(call))
        q.addBindValue(v);
    q.addBindValue(unsure ? 1 : 0);
    QString why;
    if (!runWithoutFlush(q, &why))
        throw DbError(QStringLiteral("本机的来电队列（记下来电）：") + why);
    return q.lastInsertId().toLongLong();
}

QList<CallQueue::Entry> CallQueue::entries()
{
    QSqlDatabase db = database(false);
    if (!db.isValid())
        return {};
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select 序号, 记号, 电话, 手机, 日期, 时间, 联系人, 公司名称, 事务, 存疑, 服务器, 提交位置 "
                             "from 待写来电 order by 序号"));
    exec(q, QStringLiteral("读出"));
    QList<Entry> out;
    while (q.next()) {
        Entry e;
        e.order = q.value(0).toLongLong();
        e.key = q.value(1).toString();
        e.call = {q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                  q.value(5).toString(), q.value(6).toString(), q.value(7).toString()};
        e.transaction = q.value(8).isNull() ? -1 : q.value(8).toLongLong();
        e.unsure = q.value(9).toInt() != 0;
        e.server = q.value(10).toString();
        e.committedAt = q.value(11).toString();
        out.append(e);
    }
    return out;
}

int CallQueue::count(const QSet<qint64>& besides)
{
    if (besides.isEmpty())
        return countWhere(QStringLiteral("提交位置 is null"));
    QSqlDatabase db = database(false);
    if (!db.isValid())
        return 0;
    QStringList marks;
    for (int i = 0; i < besides.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select count(*) from 待写来电 where 提交位置 is null and 序号 not in (") +
              marks.join(QLatin1Char(',')) + QLatin1Char(')'));
    for (qint64 order : besides)
        q.addBindValue(order);
    exec(q, QStringLiteral("清点"));
    return q.next() ? q.value(0).toInt() : 0;
}

int CallQueue::awaitingStandbys() { return countWhere(QStringLiteral("提交位置 is not null")); }

int CallQueue::countWhere(const QString& condition)
{
    QSqlDatabase db = database(false);
    if (!db.isValid())
        return 0;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select count(*) from 待写来电 where ") + condition);
    exec(q, QStringLiteral("清点"));
    return q.next() ? q.value(0).toInt() : 0;
}

void CallQueue::noteCommitted(qint64 order, const QString& position, const QString& server)
{
    QSqlQuery q(database(true));
    q.prepare(QStringLiteral("update 待写来电 set 提交位置 = ?, 服务器 = ?, 存疑 = 1 where 序号 = ?"));
    q.addBindValue(position);
    q.addBindValue(server);
    q.addBindValue(order);
    exec(q, QStringLiteral("记下提交"));
}

int CallQueue::replayedOn(const QString& server, const QString& replayed)
{
    const std::optional<quint64> upTo = replayed.isEmpty() ? std::optional<quint64>(~quint64(0))
                                                            : logPositionValue(replayed);
    if (!upTo)
        return 0;
    int removed = 0;
    for (const Entry& e : entries()) {
        if (e.committedAt.isEmpty() || e.server != server)
            continue;
        const std::optional<quint64> at = logPositionValue(e.committedAt);
        if (at && *at <= *upTo) {
            remove(e.order);
            ++removed;
        }
    }
    return removed;
}

std::optional<quint64> logPositionValue(const QString& position)
{
    const int slash = position.indexOf(QLatin1Char('/'));
    bool high = false, low = false;
    const quint64 h = position.left(slash).toULongLong(&high, 16);
    const quint64 l = position.mid(slash + 1).toULongLong(&low, 16);
    if (slash <= 0 || !high || !low || h > 0xffffffffu || l > 0xffffffffu)
        return std::nullopt;
    return (h << 32) | l;
}

void CallQueue::noteTransaction(qint64 order, qint64 transaction, const QString& server)
{
    QSqlQuery q(database(true));
    q.prepare(QStringLiteral("update 待写来电 set 事务 = ?, 服务器 = ? where 序号 = ?"));
    q.addBindValue(transaction);
    q.addBindValue(server);
    q.addBindValue(order);
    exec(q, QStringLiteral("记下发送"));
}

void CallQueue::markUnsure(qint64 order)
{
    QSqlQuery q(database(true));
    q.prepare(QStringLiteral("update 待写来电 set 存疑 = 1 where 序号 = ?"));
    q.addBindValue(order);
    exec(q, QStringLiteral("记下发送"));
}

// A call leaves the journal without waiting for the disk: every call that
// leaves was made findable before its store was committed (marked unsure,
// or its server transaction noted, both flushed), so a removal lost to a
// power cut only brings back an entry that the next delivery finds in
// 来电数据 and lets go of unsent.  The next flushed commit (WAL) takes it
// to the disk anyway.  Saves a flush on the window thread for every call.
void CallQueue::remove(qint64 order)
{
    QSqlQuery q(database(true));
    q.prepare(QStringLiteral("delete from 待写来电 where 序号 = ?"));
    q.addBindValue(order);
    QString why;
    if (!runWithoutFlush(q, &why))
        throw DbError(QStringLiteral("本机的来电队列（划掉来电）：") + why);
}

BoundStatement callInsert(const CallRecord& call)
{
    BoundStatement s;
    s.sql = QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间, 联系人, 公司名称) values (?, ?, ?, ?, ?, ?)");
    for (const QString& v : valuesOf(call))
        s.values << (v.isEmpty() ? QVariant() : QVariant(v));
    return s;
}

namespace callqueue {

namespace {

enum class Step { Done, Later, Failed };

struct Courier {
    QSqlDatabase& server;
    const DatabaseEngine& engine;
    CallQueue& queue;
    Delivery& out;
    QString serverName;

    bool run(QSqlQuery& q, const BoundStatement& s)
    {
        q.prepare(s.sql);
        for (const QVariant& v : s.values)
            q.addBindValue(v);
        if (q.exec())
            return true;
        out.lost = engine.connectionLost(server);
        out.error = q.lastError().text();
        return false;
    }

    // Whether 来电数据 holds a call with exactly this record.
    bool onServer(const CallRecord& call, bool* known)
    {
        BoundStatement s{QStringLiteral("select count(*) from 来电数据 where "), {}};
        QStringList conditions;
        for (const QString& c : kColumns)
            conditions << QStringLiteral("coalesce(") + c + QStringLiteral(", '') = coalesce(?, '')");
        s.sql += conditions.join(QStringLiteral(" and "));
        for (const QString& v : valuesOf(call))
            s.values << v;
        QSqlQuery q(server);
        *known = run(q, s) && q.next();
        return *known && q.value(0).toLongLong() > 0;
    }

    // The call is in 来电数据: it leaves the journal, or, on a server whose
    // standbys may not have it yet, stays until they have.  A row found in
    // a file may have been stored by the window without waiting for the
    // disk (its flush under way beside): it is on disk before its call
    // leaves.
    Step settle(const CallQueue::Entry& e)
    {
        const QString positioned = engine.logPositionStatement();
        QSqlQuery q(server);
        if (!positioned.isEmpty() && run(q, {positioned, {}}) && q.next()) {
            queue.noteCommitted(e.order, q.value(0).toString(), serverName);
            return Step::Done;
        }
        for (const QString& file : engine.flushFiles(server)) {
            QString why;
            if (!FileFlusher::flushFile(file, &why)) {
                out.error = QStringLiteral("数据库文件写不进磁盘：") + why;
                return Step::Failed;
            }
        }
        queue.remove(e.order);
        return Step::Done;
    }

    // Calls every standby has replayed leave the journal.
    void letGoOfReplayed()
    {
        const QString replay = engine.standbyReplayStatement();
        if (replay.isEmpty())
            return;
        QSqlQuery q(server);
        if (!run(q, {replay, {}}) || !q.next())
            return;
        if (q.value(0).toLongLong() == 0)
            queue.replayedOn(serverName, QString());  // no standby to wait for
        else if (!q.value(1).isNull())
            queue.replayedOn(serverName, q.value(1).toString());
    }

    // What became of the transaction an earlier delivery of the call ran in.
    QString fate(qint64 transaction)
    {
        QSqlQuery q(server);
        if (!run(q, {engine.transactionFateStatement(), {transaction}}) || !q.next())
            return out.lost ? QStringLiteral("lost") : QString();
        return q.value(0).toString();
    }

    Step send(const CallQueue::Entry& e)
    {
        if (!server.transaction()) {
            out.lost = engine.connectionLost(server);
            out.error = server.lastError().text();
            return Step::Failed;
        }
        QSqlQuery q(server);
        const QString numbered = engine.transactionNumberStatement();
        if (!run(q, callInsert(e.call)) || (!numbered.isEmpty() && (!run(q, {numbered, {}}) || !q.next()))) {
            server.rollback();
            return Step::Failed;
        }
        // Noted on disk before the commit is asked for: from here on the
        // server can say whether the call arrived (a file cannot: the call
        // is then looked for by its record).
        if (numbered.isEmpty())
            queue.markUnsure(e.order);
        else
            queue.noteTransaction(e.order, q.value(0).toLongLong(), serverName);
        if (!server.commit()) {
            out.lost = engine.connectionLost(server);
            out.error = server.lastError().text();
            return Step::Failed;
        }
        return settle(e);
    }

    Step deliver(const CallQueue::Entry& e)
    {
        // Another server's transaction numbers mean nothing here.
        bool check = e.unsure || (e.transaction >= 0 && e.server != serverName);
        if (e.transaction >= 0 && !check) {
            const QString f = fate(e.transaction);
            if (f == QLatin1String("committed"))
                return settle(e);
            if (f == QLatin1String("in progress"))
                return Step::Later;  // the server has not yet noticed the broken connection
            if (out.lost)
                return Step::Failed;
            out.error.clear();
            check = check || f != QLatin1String("aborted");  // too old to tell
        }
        if (check) {
            bool known = false;
            if (onServer(e.call, &known))
                return settle(e);
            if (!known)
                return Step::Failed;
        }
        return send(e);
    }
};

}  // namespace

QString serverName(const DatabaseLocation& where, QSqlDatabase& db, const DatabaseEngine& engine)
{
    QString name = where.describe();
    const QString identity = engine.serverIdentityStatement();
    QSqlQuery q(db);
    if (!identity.isEmpty() && q.exec(identity) && q.next())
        name += QLatin1Char('@') + q.value(0).toString();
    return name;
}

Delivery deliver(const QString& queuePath, const DatabaseLocation& where, int connectWaitSeconds,
                 const std::atomic<bool>* stop)
{
    Delivery out;
    const std::shared_ptr<const DatabaseEngine> engine = DatabaseEngine::standard(where);
    const QString name = uniqueName("callcourier_");
    {
        QSqlDatabase server = engine->connection(name, where, Connection::kBusyTimeoutMs);
        engine->limitWaits(server, connectWaitSeconds);
        QString missing;
        // A database file that is not there (being put back) is never made
        // anew by the delivery.
        if (!engine->canTry(where, &missing)) {
            out.error = missing;
        } else if (!server.open()) {
            out.error = server.lastError().text();
        } else if (QString why; !engine->prepareDatabase(server, &why)) {
            // An empty database gets the tables, as the program's open gives them.
            out.reached = true;
            out.lost = engine->connectionLost(server);
            out.error = why;
        } else {
            out.reached = true;
            engine->prepareSession(server);
            // A file's triggers want the program's own functions.
            if (!where.isServer())
                engine->addDigitsFunction(server);
            try {
                CallQueue queue(queuePath);
                Courier courier{server, *engine, queue, out, serverName(where, server, *engine)};
                for (const CallQueue::Entry& e : queue.entries()) {
                    if (stop && stop->load())
                        break;
                    // In this server's table already, waiting for its
                    // standbys; one committed on another server (before a
                    // standby took over) is looked for here.
                    if (!e.committedAt.isEmpty() && e.server == courier.serverName)
                        continue;
                    // Committed in another database (the desk was pointed
                    // elsewhere since): it is there, and nothing of this one.
                    if (!e.committedAt.isEmpty() &&
                        e.server.left(e.server.lastIndexOf(QLatin1Char('@'))) != where.describe()) {
                        queue.remove(e.order);
                        continue;
                    }
                    const Step step = courier.deliver(e);
                    if (step != Step::Done) {
                        if (step == Step::Later && out.error.isEmpty())
                            out.error = QStringLiteral("服务器还在结束上一次断开的写入，稍后再写。");
                        break;
                    }
                    ++out.delivered;
                }
                if (out.error.isEmpty() && !out.lost)
                    courier.letGoOfReplayed();
            } catch (const DbError& e) {
                out.error = e.message();
            }
        }
        server.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

}  // namespace callqueue
