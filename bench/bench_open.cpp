// Opening the call and customer lists over the benchmark database: the time
// until the open returns, until the grid has painted its first screen and
// until the record position is known, warm and cold (the file dropped from
// the page cache first); the longest stall of the event loop around an open;
// the resident memory grown; the cost of storing and abandoning a record
// while the grid shows the table; the time to reach the last row.  Beside
// them, in the same run and warm and cold alike, bare runs over the same
// rows: count(*) of the table (the engine counts through its smallest
// index), a read of every key in the list's order, and a read of the first
// screen (100 rows).  Every figure is the median of five runs.
//
//   bench_open [--large|--tiny]
//     default: 100,000 customers, 1,000,000 calls
//     --large: 1,000,000 customers, 10,000,000 calls
//     --tiny:  10 customers, 10 calls (what storing costs on a small table)
//   The database is built on first use.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "data/connection/connection.h"
#include "data/dataset/datasource.h"
#include "ui/kit/dbgrid.h"

#include "benchdb.h"
#include "eventwait.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;
constexpr int kScreen = 100;

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
    std::vector<double> count, keys, screen;
    qint64 rows = 0;
};

// The bare runs once, on a connection of their own.
void bareRuns(const QString& file, const QString& table, const QString& sql, Bare* b)
{
    auto conn = bareConnection(file);
    QSqlQuery q(conn->database());
    q.setForwardOnly(true);
    b->count.push_back(timed([&] {
        q.exec(QStringLiteral("select count(*) from ") + table);
        q.next();
        b->rows = q.value(0).toLongLong();
    }));
    q.finish();
    b->keys.push_back(timed([&] {
        q.exec(QStringLiteral("select ID from (\r\n") + sql + QStringLiteral("\r\n)"));
        readToEnd(q);
    }));
    q.finish();
    b->screen.push_back(timed([&] {
        q.exec(QStringLiteral("select * from (\r\n") + sql + QStringLiteral("\r\n) limit ") + QString::number(kScreen));
        readToEnd(q);
    }));
    q.finish();
}

// Runs the event loop for `ms` and returns the longest gap between ticks of a
// 5 ms timer: the longest time the window could not react.
double longestStall(int ms)
{
    StallMeter meter;
    meter.start();
    runFor(ms);
    return meter.worst();
}

struct Opens {
    std::vector<double> open, screen, position;
    QString positionText;
};

void openOnce(DataSet& ds, DBGrid& grid, const Query& query, Opens* f)
{
    QString position;
    ds.setAfterOpen([&](DataSet& d) {
        position = QString::number(d.recNo()) + QLatin1Char('/') + QString::number(d.recordCount());
    });
    QElapsedTimer t;
    t.start();
    ds.setQuery(query);
    ds.open();
    f->open.push_back(t.nsecsElapsed() / 1e6);
    grid.repaint();
    QApplication::processEvents();
    f->screen.push_back(t.nsecsElapsed() / 1e6);
    // A long list is counted while the window goes on: the position shows
    // once the count is in.
    runUntil([&] { return !position.isEmpty(); });
    f->position.push_back(t.nsecsElapsed() / 1e6);
    f->positionText = position;
    ds.setAfterOpen({});
}

template <class F>
double medianOf(F f)
{
    std::vector<double> v;
    for (int i = 0; i < kRuns; ++i)
        v.push_back(f());
    return median(v);
}

void print(const char* what, double ms, const char* note = "")
{
    std::printf("  %-34s %9.1f ms  %s\n", what, ms, note);
}

void measure(Connection& conn, const QString& file, const QString& table)
{
    const QString sql = QStringLiteral("select * from ") + table + QStringLiteral(" order by id desc");
    const Query query = Query::ordered(table, QStringLiteral("ID"), true);
    DataSet ds(&conn, QStringLiteral("bench"));
    DataSource src(&ds);
    DBGrid grid;
    grid.resize(900, 400);
    grid.setDataSource(&src);
    grid.show();
    QApplication::processEvents();

    // Cold: nothing of the file in memory, for the program and the bare runs.
    const long before = residentKb();
    Bare bareCold, bareWarm;
    Opens cold, warm;
    for (int i = 0; i < kRuns; ++i) {
        conn.close();
        dropFromCache(file);
        openOnce(ds, grid, query, &cold);
        ds.close();
        conn.close();
        dropFromCache(file);
        bareRuns(file, table, sql, &bareCold);
    }
    for (int i = 0; i < kRuns; ++i) {
        bareRuns(file, table, sql, &bareWarm);
        openOnce(ds, grid, query, &warm);
        if (i + 1 < kRuns)
            ds.close();
    }
    const long grown = residentKb() - before;
    ds.close();

    // The stall: the open and first paint in one piece, then the longest
    // gap of the event loop while the count comes and after it.
    std::vector<double> stalls;
    for (int i = 0; i < kRuns; ++i) {
        const double block = timed([&] {
            ds.setQuery(query);
            ds.open();
            grid.repaint();
        });
        stalls.push_back(std::max(block, longestStall(1500)));
        ds.close();
    }
    ds.setQuery(query);
    ds.open();
    runUntil([&] { return !ds.countPending(); });

    // Storing and abandoning a record with the grid on the table.
    const int phone = ds.fieldIndex(QStringLiteral("电话"));
    const double abandonMs = medianOf([&] {
        return timed([&] {
            ds.append();
            ds.cancel();
            QApplication::processEvents();
        });
    });
    const double storeMs = medianOf([&] {
        return timed([&] {
            ds.append();
            ds.setValue(phone, QStringLiteral("075500000000"));
            ds.post();
            QApplication::processEvents();
        });
    });
    const double editMs = medianOf([&] {
        return timed([&] {
            ds.edit();
            ds.setValue(phone, QStringLiteral("075500000001"));
            ds.post();
            QApplication::processEvents();
        });
    });
    const double deleteMs = medianOf([&] {
        return timed([&] {
            ds.remove();
            QApplication::processEvents();
        });
    });
    const double bottomMs = medianOf([&] {
        grid.verticalScrollBar()->setValue(0);
        ds.first();
        QApplication::processEvents();
        return timed([&] {
            grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
            grid.repaint();
            QApplication::processEvents();
        });
    });
    int lastRecord = 0;
    std::vector<double> lastV, firstV;
    for (int i = 0; i < kRuns; ++i) {
        lastV.push_back(timed([&] {
            ds.last();
            QApplication::processEvents();
        }));
        lastRecord = ds.recNo();
        firstV.push_back(timed([&] {
            ds.first();
            grid.repaint();
            QApplication::processEvents();
        }));
    }

    std::printf("%s   (%lld rows; load %s)\n", qPrintable(sql), bareWarm.rows, loadAverage().constData());
    std::printf("  %-34s %9s     %9s\n", "", "warm", "cold");
    auto pair = [](const char* what, double w, double c) {
        std::printf("  %-34s %9.1f ms  %9.1f ms\n", what, w, c);
    };
    pair("bare count(*) of the table", median(bareWarm.count), median(bareCold.count));
    pair("bare read of every key", median(bareWarm.keys), median(bareCold.keys));
    pair("bare read of the first 100 rows", median(bareWarm.screen), median(bareCold.screen));
    pair("open returns", median(warm.open), median(cold.open));
    pair("first screen painted", median(warm.screen), median(cold.screen));
    pair("position known", median(warm.position), median(cold.position));
    std::printf("  %-34s %s\n", "position shown", qPrintable(warm.positionText));
    print("longest event-loop stall", median(stalls), "(median; the open, first paint and the 1.5 s after)");
    std::printf("  %-34s %9.1f MB  (ten opens, over the grid on a closed data set)\n", "resident memory grown",
                grown / 1024.0);
    print("abandon a new record", abandonMs);
    print("store a new record", storeMs);
    print("store an edit", editMs);
    print("delete a record", deleteMs);
    print("scroll grid to last row", bottomMs);
    std::printf("  %-34s %9.1f ms  (record %d)\n", "move to last record", median(lastV), lastRecord);
    print("move to first record", median(firstV));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const QString source = database(size);
    // A copy: the records stored and deleted stay out of the cached file.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("web.mdb"));
    if (!QFile::copy(source, file)) {
        std::printf("cannot copy %s\n", qPrintable(source));
        return 1;
    }
    std::printf("%s; medians of %d runs\n", qPrintable(sizeText(size)), kRuns);
    Connection conn(QStringLiteral("database"));
    conn.setLocation(DatabaseLocation::ofFile(file));
    measure(conn, file, QStringLiteral("来电数据"));
    measure(conn, file, QStringLiteral("客户数据"));
    printLoad("end");
    return 0;
}
