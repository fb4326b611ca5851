// Opening the call and customer lists over large tables: time until the grid
// has painted its first screen and the record position is known, resident
// memory grown, and the time to scroll to the last row.  A bare SQLite
// count(*) over the same statement is timed beside it.
//
//   bench_open [database file]   (built on first use: 1,000,000 calls, 100,000 customers)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>
#include <cstdio>

#include "db/connection.h"
#include "db/datasource.h"
#include "db/dbgrid.h"

namespace {

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toLong() * 4;
}

void build(const QString& file)
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
    for (int i = 0; i < 100000; ++i) {
        q.addBindValue(QStringLiteral("客户%1").arg(i));
        q.addBindValue(QStringLiteral("0755%1").arg(20000000 + i * 7 % 80000000));
        q.addBindValue(QStringLiteral("13%1").arg(900000000 + i * 13, 9, 10, QLatin1Char('0')));
        q.addBindValue(QStringLiteral("深圳市某某贸易有限公司%1").arg(i % 977));
        q.addBindValue(QStringLiteral("广东省深圳市福田区深南大道%1号").arg(i % 3001));
        q.addBindValue(i % 3 ? QStringLiteral("批发") : QStringLiteral("零售"));
        q.addBindValue(QStringLiteral("区域%1").arg(i % 12));
        q.exec();
    }
    q.prepare(QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间) values (?,?,?,?)"));
    for (int i = 0; i < 1000000; ++i) {
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

double bareCount(const QString& file, const QString& sql, long* count)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
    db.setDatabaseName(file);
    db.open();
    QSqlQuery q(db);
    QElapsedTimer t;
    t.start();
    q.exec(QStringLiteral("select count(*) from (%1)").arg(sql));
    q.next();
    *count = q.value(0).toLongLong();
    return t.nsecsElapsed() / 1e6;
}

void measure(Connection& conn, const QString& file, const QString& sql)
{
    long bare = 0;
    // Warm the file cache first so both runs read from memory.
    bareCount(file, sql, &bare);
    const double bareMs = bareCount(file, sql, &bare);

    DataSet ds(&conn, QStringLiteral("bench"));
    DataSource src(&ds);
    DBGrid grid;
    grid.resize(900, 400);
    grid.setDataSource(&src);
    grid.show();
    QApplication::processEvents();

    const long before = residentKb();
    QString position;
    ds.setAfterOpen([&](DataSet& d) { position = QString::number(d.recNo()) + '/' + QString::number(d.recordCount()); });
    QElapsedTimer t;
    t.start();
    ds.setCommandText(sql);
    ds.open();
    const double openMs = t.nsecsElapsed() / 1e6;
    grid.repaint();
    QApplication::processEvents();
    const double firstScreenMs = t.nsecsElapsed() / 1e6;
    const long grown = residentKb() - before;

    t.restart();
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    grid.repaint();
    QApplication::processEvents();
    const double bottomMs = t.nsecsElapsed() / 1e6;

    t.restart();
    ds.last();
    QApplication::processEvents();
    const double lastMs = t.nsecsElapsed() / 1e6;

    std::printf("%s\n", qPrintable(sql));
    std::printf("  bare count(*):            %8.1f ms  (%ld rows)\n", bareMs, bare);
    std::printf("  open (keys read):         %8.1f ms  position %s\n", openMs, qPrintable(position));
    std::printf("  first screen painted:     %8.1f ms\n", firstScreenMs);
    std::printf("  resident memory grown:    %8.1f MB\n", grown / 1024.0);
    std::printf("  scroll grid to last row:  %8.1f ms\n", bottomMs);
    std::printf("  move to last record:      %8.1f ms  (record %d)\n", lastMs, ds.recNo());
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/tavrin-bench.mdb");
    if (!QFile::exists(file)) {
        std::printf("building %s ...\n", qPrintable(file));
        build(file);
    }
    Connection conn(QStringLiteral("ADOB"));
    conn.setConnectionString(QStringLiteral("Data Source=") + file);
    measure(conn, file, QStringLiteral("select * from 来电数据 order by id desc"));
    measure(conn, file, QStringLiteral("select * from 客户数据 order by id desc"));
    return 0;
}
