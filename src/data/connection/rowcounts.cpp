#include "data/connection/rowcounts.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "rules/statements/statementtext.h"
#include "rules/statements/tablenames.h"

namespace rowcounts {

const QString countTable = QStringLiteral("记录数");

QStringList countedTables() { return {tables::customers(), tables::calls()}; }

namespace {

bool run(const QSqlDatabase& db, const QString& sql, const QVariantList& values, QString* error)
{
    QSqlQuery q(db);
    bool ok = q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (!ok && error)
        *error = q.lastError().text();
    return ok;
}

}  // namespace

bool isKept(const QSqlDatabase& db, const QString& table)
{
    const DatabaseEngine& engine = DatabaseEngine::of(db);
    const QStringList triggers = engine.rowCountTriggerNames(countTable, table);
    if (triggers.isEmpty())
        return false;
    QSqlQuery q(db);
    q.prepare(engine.objectCountStatement(int(triggers.size()) + 1));
    q.addBindValue(countTable);
    for (const QString& t : triggers)
        q.addBindValue(t);
    if (!q.exec() || !q.next() || q.value(0).toInt() != triggers.size() + 1)
        return false;
    return read(db, table).has_value();
}

std::optional<qint64> read(const QSqlDatabase& db, const QString& table)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("select 行数 from ") + quotedIdentifier(countTable) + QStringLiteral(" where 表名 = ?"));
    q.addBindValue(table);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return q.value(0).toLongLong();
}

bool keep(const QSqlDatabase& db, const QString& table, QString* error)
{
    const DatabaseEngine& engine = DatabaseEngine::of(db);
    const QStringList creation = engine.rowCountTriggers(countTable, table);
    if (creation.isEmpty()) {
        if (error)
            *error = QStringLiteral("这种数据库不能记下记录数。");
        return false;
    }
    // The count and the triggers in one transaction, written before any
    // other connection can store a row: the count is exact from the start.
    if (!run(db, QStringLiteral("begin immediate"), {}, error))
        return false;
    QStringList steps{QStringLiteral("create table if not exists ") + quotedIdentifier(countTable) +
                      QStringLiteral(" (表名 text primary key, 行数 integer not null)")};
    for (const QString& name : engine.rowCountTriggerNames(countTable, table))
        steps << QStringLiteral("drop trigger if exists ") + quotedIdentifier(name);
    bool ok = true;
    for (const QString& sql : steps)
        ok = ok && run(db, sql, {}, error);
    ok = ok && run(db, QStringLiteral("delete from ") + quotedIdentifier(countTable) + QStringLiteral(" where 表名 = ?"),
                   {table}, error);
    ok = ok && run(db,
                   QStringLiteral("insert into ") + quotedIdentifier(countTable) +
                       QStringLiteral(" (表名, 行数) select ?, count(*) from ") + quotedIdentifier(table),
                   {table}, error);
    for (const QString& sql : creation)
        ok = ok && run(db, sql, {}, error);
    if (ok && run(db, QStringLiteral("commit"), {}, error))
        return true;
    QSqlQuery(db).exec(QStringLiteral("rollback"));
    return false;
}

BulkStore::BulkStore(QSqlDatabase db, const QString& table) : db_(std::move(db)), table_(table)
{
    if (!isKept(db_, table_))
        return;
    const QString insertTrigger = DatabaseEngine::of(db_).rowCountTriggerNames(countTable, table_).value(0);
    QString error;
    QSqlQuery q(db_);
    if (!q.exec(QStringLiteral("select coalesce(max(ID), 0) from ") + quotedIdentifier(table_)) || !q.next())
        throw DbError(QStringLiteral("无法记下记录数：") + q.lastError().text());
    lastKey_ = q.value(0).toLongLong();
    if (!run(db_, QStringLiteral("drop trigger ") + quotedIdentifier(insertTrigger), {}, &error))
        throw DbError(QStringLiteral("无法记下记录数：") + error);
    active_ = true;
}

void BulkStore::finish()
{
    if (!active_)
        return;
    active_ = false;
    QString error;
    const bool ok =
        run(db_,
            QStringLiteral("update ") + quotedIdentifier(countTable) + QStringLiteral(" set 行数 = 行数 + (select count(*) from ") +
                quotedIdentifier(table_) + QStringLiteral(" where ID > ?) where 表名 = ?"),
            {lastKey_, table_}, &error) &&
        run(db_, DatabaseEngine::of(db_).rowCountTriggers(countTable, table_).value(0), {}, &error);
    if (!ok)
        throw DbError(QStringLiteral("无法记下记录数：") + error);
}

}  // namespace rowcounts
