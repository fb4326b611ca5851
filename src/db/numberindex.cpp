#include "db/numberindex.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <algorithm>
#include <limits>

#include "callerid/callrules.h"
#include "db/connection.h"

namespace numberindex {
namespace {

constexpr int kStep = 20000;

QString trigger(const char* suffix) { return numberIndexTable + QLatin1String(suffix); }

void run(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(q.lastError().text()));
}

qint64 scalar(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(q.lastError().text()));
    return q.value(0).toLongLong();
}

QString insertTrigger()
{
    return QStringLiteral("create trigger %1 after insert on 客户数据 begin "
                          "insert into %2(rowid, 手机, 电话, 宅电) values (new.ID, new.手机, new.电话, new.宅电); "
                          "end").arg(trigger("_ai"), numberIndexTable);
}

}  // namespace

bool isComplete(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select count(*) from sqlite_master where name in (?, ?, ?, ?)"));
    q.addBindValue(numberIndexTable);
    q.addBindValue(trigger("_ai"));
    q.addBindValue(trigger("_ad"));
    q.addBindValue(trigger("_au"));
    return q.exec() && q.next() && q.value(0).toInt() == 4;
}

void ensure(QSqlDatabase& db, const Progress& progress)
{
    if (isComplete(db))
        return;
    // Without the customer table there is nothing to index (the open reports
    // the missing table where it is used).
    if (scalar(db, QStringLiteral("select count(*) from sqlite_master where type = 'table' "
                                  "and name = '客户数据'")) == 0)
        return;
    const QString t = numberIndexTable;
    if (!db.transaction())
        throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(db.lastError().text()));
    try {
        run(db, QStringLiteral("drop trigger if exists %1").arg(trigger("_ai")));
        run(db, QStringLiteral("drop trigger if exists %1").arg(trigger("_ad")));
        run(db, QStringLiteral("drop trigger if exists %1").arg(trigger("_au")));
        run(db, QStringLiteral("drop table if exists %1").arg(t));
        run(db, QStringLiteral("create virtual table %1 using fts5(手机, 电话, 宅电, content='客户数据', "
                               "content_rowid='ID', tokenize='trigram')").arg(t));
        run(db, insertTrigger());
        run(db, QStringLiteral("create trigger %1 after delete on 客户数据 begin "
                               "insert into %2(%2, rowid, 手机, 电话, 宅电) "
                               "values ('delete', old.ID, old.手机, old.电话, old.宅电); "
                               "end").arg(trigger("_ad"), t));
        run(db, QStringLiteral("create trigger %1 after update of 手机, 电话, 宅电 on 客户数据 begin "
                               "insert into %2(%2, rowid, 手机, 电话, 宅电) "
                               "values ('delete', old.ID, old.手机, old.电话, old.宅电); "
                               "insert into %2(rowid, 手机, 电话, 宅电) values (new.ID, new.手机, new.电话, new.宅电); "
                               "end").arg(trigger("_au"), t));
        // Filled in steps of keys so that the progress can be shown.
        const qint64 total = scalar(db, QStringLiteral("select count(*) from 客户数据"));
        qint64 done = 0;
        qint64 lastKey = std::numeric_limits<qint64>::min();
        if (progress)
            progress(0, total);
        while (done < total) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select max(ID), count(*) from (select ID from 客户数据 where ID > ? "
                                     "order by ID limit %1)").arg(kStep));
            q.addBindValue(lastKey);
            if (!q.exec() || !q.next())
                throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(q.lastError().text()));
            const qint64 n = q.value(1).toLongLong();
            if (n == 0)
                break;
            const qint64 upTo = q.value(0).toLongLong();
            QSqlQuery fill(db);
            fill.prepare(QStringLiteral("insert into %1(rowid, 手机, 电话, 宅电) select ID, 手机, 电话, 宅电 "
                                        "from 客户数据 where ID > ? and ID <= ?").arg(t));
            fill.addBindValue(lastKey);
            fill.addBindValue(upTo);
            if (!fill.exec())
                throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(fill.lastError().text()));
            lastKey = upTo;
            done += n;
            if (progress)
                progress(std::min(done, total), total);
        }
        if (!db.commit())
            throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(db.lastError().text()));
    } catch (...) {
        db.rollback();
        throw;
    }
}

BulkAppend::BulkAppend(QSqlDatabase db) : db_(std::move(db))
{
    if (!isComplete(db_))
        return;
    lastKey_ = scalar(db_, QStringLiteral("select coalesce(max(ID), 0) from 客户数据"));
    run(db_, QStringLiteral("drop trigger %1").arg(trigger("_ai")));
    active_ = true;
}

void BulkAppend::finish()
{
    if (!active_)
        return;
    active_ = false;
    QSqlQuery fill(db_);
    fill.prepare(QStringLiteral("insert into %1(rowid, 手机, 电话, 宅电) select ID, 手机, 电话, 宅电 "
                                "from 客户数据 where ID > ?").arg(numberIndexTable));
    fill.addBindValue(lastKey_);
    if (!fill.exec())
        throw DbError(QStringLiteral("无法建立来电号码索引：%1").arg(fill.lastError().text()));
    run(db_, insertTrigger());
}

}  // namespace numberindex
