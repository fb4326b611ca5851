#include "benchdb.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <cstdio>

namespace bench {

QString defaultDatabase() { return QStringLiteral("/tmp/tavrin-bench.mdb"); }

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
    db.transaction();
    q.prepare(QStringLiteral("insert into 客户数据 (联系人, 电话, 手机, 公司名称, 地址, 分类1, 分类2) values (?,?,?,?,?,?,?)"));
    for (int i = 0; i < customers; ++i) {
        q.addBindValue(QStringLiteral("客户%1").arg(i));
        q.addBindValue(customerTelephone(i));
        q.addBindValue(customerMobile(i));
        q.addBindValue(QStringLiteral("深圳市某某贸易有限公司%1").arg(i % 977));
        q.addBindValue(QStringLiteral("广东省深圳市福田区深南大道%1号").arg(i % 3001));
        q.addBindValue(i % 3 ? QStringLiteral("批发") : QStringLiteral("零售"));
        q.addBindValue(QStringLiteral("区域%1").arg(i % 12));
        q.exec();
    }
    q.prepare(QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间) values (?,?,?,?)"));
    for (int i = 0; i < calls; ++i) {
        const bool mobile = i % 3 == 0;
        q.addBindValue(mobile ? QString() : QStringLiteral("0755%1").arg(20000000 + i % 80000000));
        q.addBindValue(mobile ? QStringLiteral("13%1").arg(900000000 + i, 9, 10, QLatin1Char('0')) : QString());
        q.addBindValue(QStringLiteral("2026-%1-%2").arg(1 + i % 12).arg(1 + i % 28));
        q.addBindValue(QStringLiteral("%1:%2:%3").arg(i % 24).arg(i % 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0')));
        q.exec();
    }
    db.commit();
    db.close();
}

}  // namespace

void ensureDatabase(const QString& file) { ensureDatabase(file, 100000, 1000000); }

void ensureDatabase(const QString& file, int customers, int calls)
{
    if (QFile::exists(file))
        return;
    std::printf("building %s (%d customers, %d calls) ...\n", qPrintable(file), customers, calls);
    std::fflush(stdout);
    build(file, customers, calls);
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
}

}  // namespace bench
