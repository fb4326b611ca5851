#include "data/engine/serverrights.h"

#include <QSqlQuery>
#include <QVariant>

namespace serverrights {

namespace {

bool isServer(const QSqlDatabase& db) { return db.driverName() == QLatin1String("QPSQL"); }

// True when the login owns every one of the program's tables that exist,
// and whether any exists.
bool ownsTables(const QSqlDatabase& db, bool* anyTable)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select count(*), coalesce(bool_and(pg_has_role(c.relowner, 'USAGE')), true) "
                               "from pg_class c where c.relnamespace = to_regnamespace(current_schema()) "
                               "and c.relname in ('客户数据', '来电数据', '字典')")) ||
        !q.next()) {
        *anyTable = true;
        return false;
    }
    *anyTable = q.value(0).toInt() > 0;
    return q.value(1).toBool();
}

bool mayCreateInSchema(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    return q.exec(QStringLiteral("select has_schema_privilege(current_schema(), 'CREATE')")) && q.next() &&
           q.value(0).toBool();
}

}  // namespace

QString stepName(Step step)
{
    switch (step) {
    case Step::ClearCalls: return QStringLiteral("清空来电数据");
    case Step::ClearCustomers: return QStringLiteral("清空客户数据");
    case Step::Restore: return QStringLiteral("恢复数据库");
    case Step::Upload: return QStringLiteral("上传本机数据到服务器");
    case Step::Compact: return QStringLiteral("压缩数据库");
    }
    return QString();
}

bool mayChangeTables(const QSqlDatabase& db)
{
    if (!isServer(db))
        return true;
    bool anyTable = false;
    const bool owns = ownsTables(db, &anyTable);
    return anyTable ? owns : mayCreateInSchema(db);
}

QString refusal(const QSqlDatabase& db, Step step)
{
    if (mayChangeTables(db))
        return QString();
    return QStringLiteral("这台电脑登录服务器所用的用户没有") + stepName(step) +
           QStringLiteral("的权限，请用数据库的所有者登录。");
}

}  // namespace serverrights
