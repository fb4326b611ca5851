// Opening the call and customer lists over large tables: time until the
// record position is known and the grid has painted its first screen, the
// longest stall of the event loop afterwards, resident memory grown, the cost
// of storing and abandoning a record while the grid shows the table, and the
// time to reach the last row.  Bare SQLite runs over the same statement are
// timed beside it: count(*), a read of every key (what a key list costs) and
// a read of the first screen's rows.  Each open is measured warm and cold
// (the file dropped from the page cache first).
//
//   bench_open [small|big] [database file]
//     small: 100,000 customers, 1,000,000 calls (default)
//     big:   1,000,000 customers, 10,000,000 calls
//     tiny:  10 customers, 10 calls (what storing costs on a small table)
//   The database is built on first use.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "db/connection.h"
#include "db/datasource.h"
#include "db/dbgrid.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

// Drops the file from the page cache so that the next read comes from disk.
void dropFromCache(const QString& file)
{
    const QByteArray path = QFile::encodeName(file);
    for (const QByteArray& p : {path, path + "-journal", path + "-wal"}) {
        const int fd = ::open(p.constData(), O_RDONLY);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Bare {
    double countMs = 0, tableCountMs = 0, keysMs = 0, screenMs = 0;
    long count = 0;
};

Bare bareRuns(const QString& file, const QString& sql)
{
    Bare b;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        QElapsedTimer t;
        t.start();
        q.exec(QStringLiteral("select count(*) from (%1)").arg(sql));
        q.next();
        b.count = q.value(0).toLongLong();
        b.countMs = t.nsecsElapsed() / 1e6;
        q.finish();

        // The same count without the order, as an index-aware engine runs it.
        QString unordered = sql;
        unordered.truncate(sql.lastIndexOf(QStringLiteral(" order by")));
        t.restart();
        q.exec(QStringLiteral("select count(*) from (%1)").arg(unordered));
        q.next();
        b.tableCountMs = t.nsecsElapsed() / 1e6;
        q.finish();

        t.restart();
        q.exec(QStringLiteral("select id from (%1)").arg(sql));
        long sum = 0;
        while (q.next())
            sum += q.value(0).toLongLong();
        b.keysMs = t.nsecsElapsed() / 1e6;
        q.finish();

        t.restart();
        q.exec(QStringLiteral("select * from (%1) limit 100").arg(sql));
        while (q.next())
            for (int i = 0; i < q.record().count(); ++i)
                sum += q.value(i).toString().size();
        b.screenMs = t.nsecsElapsed() / 1e6;
        q.finish();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    return b;
}

// Runs the event loop for `ms` and returns the longest gap between ticks of a
// 5 ms timer: the longest time the window could not react.
double longestStall(int ms)
{
    QElapsedTimer clock;
    clock.start();
    StallMeter meter;
    meter.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return meter.worst();
}

struct OpenFigures {
    double openMs = 0, screenMs = 0, positionMs = 0;
    QString position;
};

OpenFigures openOnce(DataSet& ds, DBGrid& grid, const QString& sql)
{
    OpenFigures f;
    ds.setAfterOpen([&](DataSet& d) {
        f.position = QString::number(d.recNo()) + '/' + QString::number(d.recordCount());
    });
    QElapsedTimer t;
    t.start();
    ds.setCommandText(sql);
    ds.open();
    f.openMs = t.nsecsElapsed() / 1e6;
    grid.repaint();
    QApplication::processEvents();
    f.screenMs = t.nsecsElapsed() / 1e6;
    // A long list is counted while the window goes on: the position shows
    // once the count is in.
    while (f.position.isEmpty())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    f.positionMs = t.nsecsElapsed() / 1e6;
    return f;
}

void measure(Connection& conn, const QString& file, const QString& sql)
{
    bareRuns(file, sql);  // warms the page cache
    const Bare bare = bareRuns(file, sql);

    DataSet ds(&conn, QStringLiteral("bench"));
    DataSource src(&ds);
    DBGrid grid;
    grid.resize(900, 400);
    grid.setDataSource(&src);
    grid.show();
    QApplication::processEvents();

    // Cold first: nothing of the file in memory.
    const long before = residentKb();
    conn.close();
    dropFromCache(file);
    const OpenFigures cold = openOnce(ds, grid, sql);
    ds.close();
    longestStall(300);

    // The stall: the open and first paint in one piece, then the longest
    // gap of the event loop while the count comes and after it.
    ds.setAfterOpen({});
    QElapsedTimer whole;
    whole.start();
    ds.setCommandText(sql);
    ds.open();
    grid.repaint();
    const double openBlock = whole.nsecsElapsed() / 1e6;
    const double stall = std::max(openBlock, longestStall(1500));
    ds.close();
    const OpenFigures warm = openOnce(ds, grid, sql);
    const long grown = residentKb() - before;

    // Storing and abandoning a record with the grid on the table.
    const int phone = ds.fieldIndex(QStringLiteral("电话"));
    const double abandonMs = timed([&] {
        ds.append();
        ds.cancel();
        QApplication::processEvents();
    });
    const double storeMs = timed([&] {
        ds.append();
        ds.setValue(phone, QStringLiteral("075500000000"));
        ds.post();
        QApplication::processEvents();
    });
    const double editMs = timed([&] {
        ds.edit();
        ds.setValue(phone, QStringLiteral("075500000001"));
        ds.post();
        QApplication::processEvents();
    });
    const double deleteMs = timed([&] {
        ds.remove();
        QApplication::processEvents();
    });

    const double bottomMs = timed([&] {
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        grid.repaint();
        QApplication::processEvents();
    });
    const double lastMs = timed([&] {
        ds.last();
        QApplication::processEvents();
    });
    const int lastRecord = ds.recNo();
    const double firstMs = timed([&] {
        ds.first();
        grid.repaint();
        QApplication::processEvents();
    });

    std::printf("%s\n", qPrintable(sql));
    std::printf("  bare count(*) of the statement:%8.1f ms  (%ld rows)\n", bare.countMs, bare.count);
    std::printf("  bare count(*) without order:   %8.1f ms\n", bare.tableCountMs);
    std::printf("  bare read of every key:        %8.1f ms\n", bare.keysMs);
    std::printf("  bare read of the first 100 rows:%7.1f ms\n", bare.screenMs);
    std::printf("  open returns (warm):           %8.1f ms\n", warm.openMs);
    std::printf("  first screen painted (warm):   %8.1f ms\n", warm.screenMs);
    std::printf("  position known (warm):         %8.1f ms  position %s\n", warm.positionMs, qPrintable(warm.position));
    std::printf("  open returns (cold):           %8.1f ms\n", cold.openMs);
    std::printf("  first screen painted (cold):   %8.1f ms\n", cold.screenMs);
    std::printf("  position known (cold):         %8.1f ms  position %s\n", cold.positionMs, qPrintable(cold.position));
    std::printf("  longest event-loop stall:      %8.1f ms  (open, first paint, and the 1.5 s after)\n", stall);
    std::printf("  resident memory grown:         %8.1f MB  (both opens, over the grid on a closed data set)\n", grown / 1024.0);
    std::printf("  abandon a new record:          %8.1f ms\n", abandonMs);
    std::printf("  store a new record:            %8.1f ms\n", storeMs);
    std::printf("  store an edit:                 %8.1f ms\n", editMs);
    std::printf("  delete a record:               %8.1f ms\n", deleteMs);
    std::printf("  scroll grid to last row:       %8.1f ms\n", bottomMs);
    std::printf("  move to last record:           %8.1f ms  (record %d)\n", lastMs, lastRecord);
    std::printf("  move to first record:          %8.1f ms\n", firstMs);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QByteArray size = argc > 1 ? QByteArray(argv[1]) : QByteArray("small");
    const QString file = argc > 2           ? QString::fromLocal8Bit(argv[2])
                         : size == "big"    ? QStringLiteral("/tmp/tavrin-bench-10m.mdb")
                         : size == "tiny"   ? QStringLiteral("/tmp/tavrin-bench-10.mdb")
                                            : bench::defaultDatabase();
    if (size == "big")
        bench::ensureDatabase(file, 1000000, 10000000);
    else if (size == "tiny")
        bench::ensureDatabase(file, 10, 10);
    else
        bench::ensureDatabase(file);
    Connection conn(QStringLiteral("ADOB"));
    conn.setConnectionString(QStringLiteral("Data Source=") + file);
    measure(conn, file, QStringLiteral("select * from 来电数据 order by id desc"));
    measure(conn, file, QStringLiteral("select * from 客户数据 order by id desc"));
    return 0;
}
