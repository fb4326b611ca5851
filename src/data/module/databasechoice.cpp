#include "data/module/databasechoice.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "data/module/datamodule.h"
#include "data/engine/engine.h"
#include "rules/files/paths.h"
#include "rules/statements/tablenames.h"

namespace databasechoice {

namespace {

const QStringList& programTables()
{
    static const QStringList t = {tables::customers(), tables::calls(), tables::dictionary()};
    return t;
}

qint64 scalar(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return -1;
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec() && q.next() ? q.value(0).toLongLong() : -1;
}

// What the opened database holds, in the operator's words.
QString contents(QSqlDatabase& db, const DatabaseEngine& engine)
{
    int present = 0;
    for (const QString& t : programTables())
        present += scalar(db, engine.tableCountStatement(), {t}) > 0;
    if (present == 0)
        return QStringLiteral("数据库里还没有本程序的表，确定后将自动建立。");
    const qint64 customers = scalar(db, QStringLiteral("select count(*) from 客户数据"));
    const qint64 calls = scalar(db, QStringLiteral("select count(*) from 来电数据"));
    if (present < int(programTables().size()) || customers < 0 || calls < 0)
        return QStringLiteral("数据库里只有本程序的部分表，确定时会检查它们能否使用。");
    return QStringLiteral("数据库里已有客户数据 ") + QString::number(customers) + QStringLiteral(" 条、来电数据 ") +
           QString::number(calls) + QStringLiteral(" 条。");
}

// Opens a connection of its own to `where`, runs `f` on it and lets it go.
template <class F>
Trial withConnection(const DatabaseLocation& where, F f)
{
    const DatabaseLocation target = resolved(where);
    const auto engine = DatabaseEngine::standard(target);
    Trial out;
    QString why;
    if (!engine->canTry(target, &why))
        return {false, QStringLiteral("连接失败：") + why};
    const QString name = QStringLiteral("trial_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = engine->connection(name, target, 1000);
        if (!db.open())
            out = {false, QStringLiteral("连接失败：") + db.lastError().text().trimmed()};
        else if (!engine->reachesDatabase(db, &why))
            out = {false, QStringLiteral("连接失败：") + why.trimmed()};
        else
            out = f(db, *engine);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

}  // namespace

DatabaseLocation resolved(const DatabaseLocation& where)
{
    if (where.isServer() || !where.file.isEmpty())
        return where;
    return DatabaseLocation::ofFile(programFolder() + QStringLiteral("data/web.mdb"));
}

Trial test(const DatabaseLocation& where)
{
    return withConnection(where, [](QSqlDatabase& db, const DatabaseEngine& engine) {
        return Trial{true, QStringLiteral("连接成功。") + contents(db, engine)};
    });
}

Trial prepare(const DatabaseLocation& where)
{
    return withConnection(where, [](QSqlDatabase& db, const DatabaseEngine& engine) {
        QString why;
        if (!engine.prepareDatabase(db, &why))
            return Trial{false, why};
        return Trial{true, QStringLiteral("连接成功。")};
    });
}

bool moveTo(DataModule& dm, const DatabaseLocation& where)
{
    for (DataSet* ds : {&dm.customerTable, &dm.callTable, &dm.dictionaryTable, &dm.lookupTable})
        if (ds->isActive() && !ds->endPendingEdit())
            return false;
    dm.connection.close();
    dm.setDatabaseLocation(where);
    return true;
}

}  // namespace databasechoice
