#include "data/calls/numberindex.h"

#include <QMetaObject>
#include <QObject>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <thread>

#include "rules/calls/callrules.h"
#include "data/app/connection.h"

namespace numberindex {
namespace {

const QString kMarker = QStringLiteral("客户号码版本");

QString trigger(const char* suffix) { return numberIndexTable + QLatin1String(suffix); }

QString digitsOf(const QString& column)
{
    return QString::fromLatin1(numberDigitsFunction) + QLatin1Char('(') + column + QLatin1Char(')');
}

DbError failure(const QString& why) { return DbError(QStringLiteral("无法建立来电号码索引：") + why); }

// The database is held by another connection for now; the step can be tried again.
struct Busy {
    QString text;
};

QSqlQuery run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool ok = false;
    if (values.isEmpty()) {
        ok = q.exec(sql);
    } else if (q.prepare(sql)) {
        for (const QVariant& v : values)
            q.addBindValue(v);
        ok = q.exec();
    }
    if (!ok) {
        if (Connection::isBusy(q.lastError()))
            throw Busy{q.lastError().text()};
        throw failure(q.lastError().text());
    }
    return q;
}

qint64 scalar(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q = run(db, sql, values);
    return q.next() ? q.value(0).toLongLong() : 0;
}

bool hasCustomerTable(QSqlDatabase& db)
{
    return scalar(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = ?"),
                  {QStringLiteral("客户数据")}) > 0;
}

QString insertTrigger()
{
    return QStringLiteral("create trigger ") + trigger("_ai") + QStringLiteral(" after insert on 客户数据 begin ") +
           QStringLiteral("insert into ") + numberIndexTable + QStringLiteral("(rowid, 手机, 电话, 宅电) values (new.ID, ") +
           digitsOf(QStringLiteral("new.手机")) + QStringLiteral(", ") + digitsOf(QStringLiteral("new.电话")) +
           QStringLiteral(", ") + digitsOf(QStringLiteral("new.宅电")) + QStringLiteral("); end");
}

// The rows of 客户数据 from `from` (exclusive) up to `upTo` that the index
// does not hold yet, indexed.
void indexRows(QSqlDatabase& db, qint64 from, qint64 upTo)
{
    run(db,
        QStringLiteral("insert into ") + numberIndexTable + QStringLiteral("(rowid, 手机, 电话, 宅电) select ID, ") +
            digitsOf(QStringLiteral("手机")) + QStringLiteral(", ") + digitsOf(QStringLiteral("电话")) +
            QStringLiteral(", ") + digitsOf(QStringLiteral("宅电")) +
            QStringLiteral(" from 客户数据 where ID > ? and ID <= ? and ID not in (select rowid from ") +
            numberIndexTable + QStringLiteral(" where rowid > ? and rowid <= ?)"),
        {from, upTo, from, upTo});
}

// One short transaction; a failure rolls it back.
template <class F>
auto inTransaction(QSqlDatabase& db, F f)
{
    run(db, QStringLiteral("begin immediate"));
    try {
        auto result = f();
        run(db, QStringLiteral("commit"));
        return result;
    } catch (...) {
        QSqlQuery(db).exec(QStringLiteral("rollback"));
        throw;
    }
}

// The steps of a build.  Each is a transaction of its own; every one of
// them can be repeated after a Busy.
class Steps {
public:
    explicit Steps(QSqlDatabase& db) : db_(db) {}

    // The table, its triggers and the mark of an unfinished build, unless
    // an unfinished build of this version is there to be gone on with.
    // False without the customer table.
    bool prepare()
    {
        return inTransaction(db_, [this] {
            if (!hasCustomerTable(db_))
                return false;
            if (currentForm())
                return true;
            for (const char* t : {"_ai", "_ad", "_au"})
                run(db_, QStringLiteral("drop trigger if exists ") + trigger(t));
            run(db_, QStringLiteral("drop table if exists ") + numberIndexTable);
            run(db_, QStringLiteral("create table if not exists ") + kMarker + QStringLiteral(" (版本 integer, 完成 integer)"));
            run(db_, QStringLiteral("delete from ") + kMarker);
            // The index keeps its own copy of the digits: a lookup reads
            // nothing but the index, and no connection needs the digits
            // function to read it.
            run(db_, QStringLiteral("create virtual table ") + numberIndexTable +
                         QStringLiteral(" using fts5(手机, 电话, 宅电, tokenize='trigram')"));
            run(db_, insertTrigger());
            run(db_, QStringLiteral("create trigger ") + trigger("_ad") +
                         QStringLiteral(" after delete on 客户数据 begin delete from ") + numberIndexTable +
                         QStringLiteral(" where rowid = old.ID; end"));
            run(db_, QStringLiteral("create trigger ") + trigger("_au") +
                         QStringLiteral(" after update of ID, 手机, 电话, 宅电 on 客户数据 begin delete from ") +
                         numberIndexTable + QStringLiteral(" where rowid = old.ID; insert into ") + numberIndexTable +
                         QStringLiteral("(rowid, 手机, 电话, 宅电) values (new.ID, ") + digitsOf(QStringLiteral("new.手机")) +
                         QStringLiteral(", ") + digitsOf(QStringLiteral("new.电话")) + QStringLiteral(", ") +
                         digitsOf(QStringLiteral("new.宅电")) + QStringLiteral("); end"));
            run(db_, QStringLiteral("insert into ") + kMarker + QStringLiteral(" values (?, 0)"), {kVersion});
            return true;
        });
    }

    // The next rows; false when none are left.
    bool fill()
    {
        const std::optional<qint64> done = inTransaction(db_, [this]() -> std::optional<qint64> {
            QSqlQuery q = run(db_,
                              QStringLiteral("select max(ID), count(*) from (select ID from 客户数据 where ID > ? "
                                            "order by ID limit ") +
                                  QString::number(kStep) + QLatin1Char(')'),
                              {lastKey_});
            if (!q.next() || q.value(1).toLongLong() == 0)
                return std::nullopt;
            const qint64 upTo = q.value(0).toLongLong();
            q.finish();
            indexRows(db_, lastKey_, upTo);
            return upTo;
        });
        // Moved on only once the step is stored: a step refused at its
        // commit is done again.
        if (done)
            lastKey_ = *done;
        return done.has_value();
    }

    void finish()
    {
        run(db_, QStringLiteral("update ") + kMarker + QStringLiteral(" set 完成 = 1 where 版本 = ?"), {kVersion});
    }

private:
    bool currentForm()
    {
        if (scalar(db_, QStringLiteral("select count(*) from sqlite_master where name in (?, ?, ?, ?, ?)"),
                   {numberIndexTable, trigger("_ai"), trigger("_ad"), trigger("_au"), kMarker}) != 5)
            return false;
        return scalar(db_, QStringLiteral("select count(*) from ") + kMarker + QStringLiteral(" where 版本 = ?"),
                      {kVersion}) == 1;
    }

    QSqlDatabase& db_;
    qint64 lastKey_ = std::numeric_limits<qint64>::min();
};

void digitsFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    const QByteArray digits = numberDigitsUtf8(text, size);
    sqlite3_result_text(context, digits.constData(), int(digits.size()), SQLITE_TRANSIENT);
}

int addTo(sqlite3* handle)
{
    return sqlite3_create_function_v2(handle, numberDigitsFunction, 1,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                      digitsFunction, nullptr, nullptr, nullptr);
}

extern "C" int addToNewConnection(sqlite3* handle, const char**, const sqlite3_api_routines*)
{
    return addTo(handle);
}

}  // namespace

void addDigitsFunction(const QSqlDatabase& db)
{
    static std::once_flag everyConnection;
    std::call_once(everyConnection, [] {
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&addToNewConnection));
    });
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 ||
        addTo(*static_cast<sqlite3* const*>(handle.constData())) != SQLITE_OK)
        throw failure(QStringLiteral("数据库不能计算号码的数字"));
}

bool isComplete(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select count(*) from sqlite_master where name in (?, ?, ?, ?, ?)"));
    for (const QString& name : {numberIndexTable, trigger("_ai"), trigger("_ad"), trigger("_au"), kMarker})
        q.addBindValue(name);
    if (!q.exec() || !q.next() || q.value(0).toInt() != 5)
        return false;
    QSqlQuery m(db);
    m.prepare(QStringLiteral("select count(*) from ") + kMarker + QStringLiteral(" where 版本 = ? and 完成 = 1"));
    m.addBindValue(kVersion);
    return m.exec() && m.next() && m.value(0).toInt() == 1;
}

void ensure(QSqlDatabase& db)
{
    if (isComplete(db))
        return;
    try {
        Steps steps(db);
        if (!steps.prepare())
            return;
        while (steps.fill()) {
        }
        steps.finish();
    } catch (const Busy& busy) {
        throw failure(busy.text);
    }
}

// ---------------------------------------------------------------------------
// A build on its own thread

struct Build::Shared {
    std::atomic<bool> stop{false};
    bool cancelled = false;  // on the context's thread only
    std::thread thread;
};

namespace {

struct Stopped {};

void buildOnThread(const std::shared_ptr<Build::Shared>& shared, const QString& file, QObject* context,
                   const Build::Done& done)
{
    QString error;
    const QString name = QStringLiteral("numberindex_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        if (!db.open()) {
            error = failure(db.lastError().text()).message();
        } else {
            // A step that finds the database held is tried again after a
            // moment, until the build is stopped.
            // Between steps the database is left alone at least as long as
            // the step took, so that the program's stores get their turn.
            auto step = [&](auto f) {
                for (;;) {
                    if (shared->stop)
                        throw Stopped{};
                    const auto began = std::chrono::steady_clock::now();
                    try {
                        auto result = f();
                        const auto took = std::chrono::steady_clock::now() - began;
                        std::this_thread::sleep_for(std::max<std::chrono::steady_clock::duration>(
                            took, std::chrono::milliseconds(20)));
                        return result;
                    } catch (const Busy&) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    }
                }
            };
            try {
                run(db, QStringLiteral("pragma synchronous = full"));
                addDigitsFunction(db);
                Steps steps(db);
                if (step([&] { return steps.prepare(); })) {
                    while (step([&] { return steps.fill(); })) {
                    }
                    step([&] {
                        steps.finish();
                        return true;
                    });
                } else {
                    error = failure(QStringLiteral("没有客户数据表")).message();
                }
            } catch (const Stopped&) {
                error = failure(QStringLiteral("已中止")).message();
            } catch (const std::exception& e) {
                error = QString::fromUtf8(e.what());
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    QMetaObject::invokeMethod(
        context,
        [shared, done, error] {
            if (!shared->cancelled)
                done(error);
        },
        Qt::QueuedConnection);
}

}  // namespace

std::unique_ptr<Build> Build::start(QSqlDatabase& db, QObject* context, Done done)
{
    addDigitsFunction(db);
    if (isComplete(db)) {
        done({});
        return {};
    }
    try {
        if (!hasCustomerTable(db))
            return {};
        if (scalar(db, QStringLiteral("select count(*) from 客户数据")) <= kInlineRows) {
            ensure(db);
            done({});
            return {};
        }
    } catch (const Busy& busy) {
        throw failure(busy.text);
    }
    std::unique_ptr<Build> build(new Build);
    build->shared_ = std::make_shared<Shared>();
    build->shared_->thread = std::thread(buildOnThread, build->shared_, db.databaseName(), context, std::move(done));
    return build;
}

Build::~Build()
{
    shared_->cancelled = true;
    shared_->stop = true;
    if (shared_->thread.joinable())
        shared_->thread.join();
}

// ---------------------------------------------------------------------------
// Many rows at once

BulkAppend::BulkAppend(QSqlDatabase db) : db_(std::move(db))
{
    if (!isComplete(db_))
        return;
    try {
        lastKey_ = scalar(db_, QStringLiteral("select coalesce(max(ID), 0) from 客户数据"));
        run(db_, QStringLiteral("drop trigger ") + trigger("_ai"));
    } catch (const Busy& busy) {
        throw failure(busy.text);
    }
    active_ = true;
}

void BulkAppend::finish()
{
    if (!active_)
        return;
    active_ = false;
    try {
        indexRows(db_, lastKey_, std::numeric_limits<qint64>::max());
        run(db_, insertTrigger());
    } catch (const Busy& busy) {
        throw failure(busy.text);
    }
}

}  // namespace numberindex
