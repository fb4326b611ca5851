#include "data/numbers/numberindex.h"

#include <QMetaObject>
#include <QObject>
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
#include <thread>

#include "rules/calls/callrules.h"
#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "rules/statements/tablenames.h"

namespace numberindex {
namespace {

const QString kMarker = QStringLiteral("客户号码版本");

const DatabaseEngine::NumberIndex& theIndex()
{
    static const DatabaseEngine::NumberIndex ix{
        numberIndexTable, tables::customers(), {QStringLiteral("手机"), QStringLiteral("电话"), QStringLiteral("宅电")}};
    return ix;
}

// Everything a complete index has: its table, its triggers and the mark.
QStringList indexObjects(const DatabaseEngine& engine)
{
    return engine.numberIndexObjects(theIndex()) << kMarker;
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
        if (DatabaseEngine::of(db).isBusy(q.lastError()))
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
    return scalar(db, DatabaseEngine::of(db).tableCountStatement(), {tables::customers()}) > 0;
}

// The rows of 客户数据 from `from` (exclusive) up to `upTo` that the index
// does not hold yet, indexed.
void indexRows(QSqlDatabase& db, qint64 from, qint64 upTo)
{
    run(db, DatabaseEngine::of(db).numberIndexFill(theIndex()), {from, upTo, from, upTo});
}

// One short transaction; a failure rolls it back.
template <class F>
auto inTransaction(QSqlDatabase& db, F f)
{
    run(db, DatabaseEngine::of(db).beginWrite());
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
            const DatabaseEngine& engine = DatabaseEngine::of(db_);
            for (const QString& sql : engine.numberIndexRemoval(theIndex()))
                run(db_, sql);
            run(db_, QStringLiteral("create table if not exists ") + kMarker + QStringLiteral(" (版本 integer, 完成 integer)"));
            run(db_, QStringLiteral("delete from ") + kMarker);
            for (const QString& sql : engine.numberIndexCreation(theIndex()))
                run(db_, sql);
            run(db_, QStringLiteral("insert into ") + kMarker + QStringLiteral(" values (?, 0)"), {kVersion});
            return true;
        });
    }

    // The next rows; false when none are left.
    bool fill()
    {
        const std::optional<qint64> done = inTransaction(db_, [this]() -> std::optional<qint64> {
            QSqlQuery q = run(db_,
                              QStringLiteral("select max(ID), count(*) from (") +
                                  DatabaseEngine::of(db_).limited(
                                      QStringLiteral("select ID from 客户数据 where ID > ? order by ID"), kStep) +
                                  QStringLiteral(") as 步"),
                              {lastKey_});
            if (!q.next() || q.value(1).toLongLong() == 0)
                return std::nullopt;
            // Every step must move on: a key that is no whole number (a
            // text ID), or one that does not lie above the last, would
            // give the same step again for ever.
            bool whole = false;
            const qint64 upTo = q.value(0).toLongLong(&whole);
            if (!whole || upTo <= lastKey_)
                throw failure(QStringLiteral("客户数据的ID不是整数编号"));
            stepRows_ = q.value(1).toLongLong();
            q.finish();
            indexRows(db_, lastKey_, upTo);
            return upTo;
        });
        // Moved on only once the step is stored: a step refused at its
        // commit is done again.
        if (done) {
            lastKey_ = *done;
            rowsDone_ += stepRows_;
        }
        return done.has_value();
    }

    // Customers gone through so far.
    qint64 rowsDone() const { return rowsDone_; }

    void finish()
    {
        run(db_, QStringLiteral("update ") + kMarker + QStringLiteral(" set 完成 = 1 where 版本 = ?"), {kVersion});
    }

private:
    bool currentForm()
    {
        const QStringList objects = indexObjects(DatabaseEngine::of(db_));
        QVariantList names;
        for (const QString& o : objects)
            names << o;
        if (scalar(db_, DatabaseEngine::of(db_).objectCountStatement(int(objects.size())), names) != objects.size())
            return false;
        return scalar(db_, QStringLiteral("select count(*) from ") + kMarker + QStringLiteral(" where 版本 = ?"),
                      {kVersion}) == 1;
    }

    QSqlDatabase& db_;
    qint64 lastKey_ = std::numeric_limits<qint64>::min();
    qint64 stepRows_ = 0;
    qint64 rowsDone_ = 0;
};

}  // namespace

void addDigitsFunction(const QSqlDatabase& db)
{
    if (!DatabaseEngine::of(db).addDigitsFunction(db))
        throw failure(QStringLiteral("数据库不能计算号码的数字"));
}

bool isComplete(const QSqlDatabase& db)
{
    const DatabaseEngine& engine = DatabaseEngine::of(db);
    const QStringList objects = indexObjects(engine);
    QSqlQuery q(db);
    q.prepare(engine.objectCountStatement(int(objects.size())));
    for (const QString& name : objects)
        q.addBindValue(name);
    if (!q.exec() || !q.next() || q.value(0).toInt() != objects.size())
        return false;
    QSqlQuery m(db);
    m.prepare(QStringLiteral("select count(*) from ") + kMarker + QStringLiteral(" where 版本 = ? and 完成 = 1"));
    m.addBindValue(kVersion);
    return m.exec() && m.next() && m.value(0).toInt() == 1;
}

void ensure(QSqlDatabase& db, const std::function<void(qint64, qint64)>& progress)
{
    if (isComplete(db))
        return;
    try {
        Steps steps(db);
        if (!steps.prepare())
            return;
        const qint64 total = progress ? scalar(db, QStringLiteral("select count(*) from 客户数据")) : 0;
        while (steps.fill())
            if (progress)
                progress(std::min(steps.rowsDone(), total), total);
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

void buildOnThread(const std::shared_ptr<Build::Shared>& shared, const DatabaseEngine& engine,
                   const DatabaseLocation& file,
                   QObject* context, const Build::Done& done)
{
    QString error;
    const QString name = QStringLiteral("numberindex_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = engine.connection(name, file, 1000);
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
                engine.prepareSession(db);
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
    build->shared_->thread = std::thread(buildOnThread, build->shared_, std::cref(DatabaseEngine::of(db)),
                                         DatabaseEngine::of(db).locationOf(db), context, std::move(done));
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
        run(db_, DatabaseEngine::of(db_).numberIndexInsertTriggerRemoval(theIndex()));
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
        run(db_, DatabaseEngine::of(db_).numberIndexInsertTrigger(theIndex()));
    } catch (const Busy& busy) {
        throw failure(busy.text);
    }
}

}  // namespace numberindex
