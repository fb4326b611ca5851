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

#include "benchdb.h"

namespace {

long residentKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    f.open(QIODevice::ReadOnly);
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toLong() * 4;
}

double bareCount(const QString& file, const QString& sql, long* count)
{
    double ms = 0;
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
        ms = t.nsecsElapsed() / 1e6;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    return ms;
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
    bench::ensureDatabase(file);
    Connection conn(QStringLiteral("ADOB"));
    conn.setConnectionString(QStringLiteral("Data Source=") + file);
    measure(conn, file, QStringLiteral("select * from 来电数据 order by id desc"));
    measure(conn, file, QStringLiteral("select * from 客户数据 order by id desc"));
    return 0;
}
