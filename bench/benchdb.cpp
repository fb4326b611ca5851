#include "benchdb.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>

namespace bench {

QString defaultDatabase() { return QStringLiteral("/tmp/tavrin-bench.mdb"); }
QString largeDatabase() { return QStringLiteral("/tmp/tavrin-bench-10m.mdb"); }

QString customerTelephone(int i) { return QStringLiteral("0755%1").arg(20000000 + i * 7 % 80000000); }

QString customerMobile(int i)
{
    return QStringLiteral("13%1").arg(900000000 + i * 13, 9, 10, QLatin1Char('0'));
}

namespace {

void build(const QString& file, int customers, int calls)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
    db.setDatabaseName(file);
    db.open();
    QSqlQuery q(db);
    const char* schema[] = {
        "CREATE TABLE 客户数据 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 联系人 TEXT, 电话 TEXT, 手机 TEXT, 宅电 TEXT,"
        " 公司名称 TEXT, 地址 TEXT, EMAIL TEXT, QQ TEXT, MSN TEXT, 网址 TEXT, 部门 TEXT, 职务 TEXT, 分类1 TEXT,"
        " 分类2 TEXT, 邮编 TEXT, 事项 TEXT, 答复 TEXT)",
        "CREATE TABLE 来电数据 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 电话 TEXT, 手机 TEXT, 日期 TEXT, 时间 TEXT,"
        " 联系人 TEXT, 宅电 TEXT, 公司名称 TEXT, 地址 TEXT, EMAIL TEXT, QQ TEXT, MSN TEXT, 网址 TEXT, 部门 TEXT,"
        " 职务 TEXT, 分类1 TEXT, 分类2 TEXT, 邮编 TEXT, 事项 TEXT, 答复 TEXT)",
        "CREATE TABLE 字典 (ID INTEGER PRIMARY KEY AUTOINCREMENT, 项目 TEXT, 内容 TEXT)"};
    for (const char* s : schema)
        q.exec(QString::fromUtf8(s));
    // Filled by the engine itself (a counting sequence), the same values as
    // customerMobile() and customerTelephone() give.
    db.transaction();
    q.exec(QStringLiteral(
        "insert into 客户数据 (联系人, 电话, 手机, 公司名称, 地址, 分类1, 分类2) "
        "with recursive c(i) as (select 0 union all select i + 1 from c where i < %1) "
        "select '客户' || i, printf('0755%d', 20000000 + (i * 7) % 80000000), printf('13%09d', 900000000 + i * 13), "
        "'深圳市某某贸易有限公司' || (i % 977), '广东省深圳市福田区深南大道' || (i % 3001) || '号', "
        "case when i % 3 then '批发' else '零售' end, '区域' || (i % 12) from c").arg(customers - 1));
    q.exec(QStringLiteral(
        "insert into 来电数据 (电话, 手机, 日期, 时间) "
        "with recursive c(i) as (select 0 union all select i + 1 from c where i < %1) "
        "select case when i % 3 = 0 then null else printf('0755%d', 20000000 + i % 80000000) end, "
        "case when i % 3 = 0 then printf('13%09d', 900000000 + i) else null end, "
        "'2026-' || (1 + i % 12) || '-' || (1 + i % 28), "
        "(i % 24) || ':' || printf('%02d', i % 60) || ':' || printf('%02d', i % 60) from c").arg(calls - 1));
    db.commit();
    db.close();
}

}  // namespace

void ensureDatabase(const QString& file, int customers, int calls)
{
    if (QFile::exists(file))
        return;
    std::printf("building %s (%d customers, %d calls) ...\n", qPrintable(file), customers, calls);
    std::fflush(stdout);
    build(file + QStringLiteral(".part"), customers, calls);
    QFile::rename(file + QStringLiteral(".part"), file);
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
}

}  // namespace bench
