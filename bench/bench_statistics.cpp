// The statistics window over a large call table: the figures of the last
// 30 days with calls as the window's background work computes them (the
// counts, the calls per kind and day, the customers of the frequent
// numbers), beside bare statements giving the same counts on a plain
// SQLite connection in the same run: calls and known callers per day, calls
// per hour, the most frequent numbers.  Medians of five runs, the program
// and the bare run taking turns at going first.
//
// Then the window itself: how long it takes to open, from the click on 统计
// to the figures, and the longest time the window could not react from its
// opening until the charts are drawn (a 5 ms timer's longest gap).
//
//   bench_statistics [--large] [database file] [days]
//     Without a file the generator's database (built on first use).  The
//     file is opened read-write: give a copy of a database shared with others.

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <cstdio>
#include <vector>

#include <sqlite3.h>

#include "data/connection/connection.h"
#include "data/calls/callkinds.h"
#include "data/calls/callstatistics.h"
#include "ui/calls/callstatisticswindow.h"

#include "benchdb.h"
#include "measure.h"

namespace {

constexpr int kRuns = 5;

// The bare statements: per day with the known callers, per hour, the most
// frequent numbers; the calls counted.
qint64 bareCounts(sqlite3* db, const QString& days)
{
    const QString where = QStringLiteral(" from 来电数据 where 日期 in (") + days + QStringLiteral(")");
    const QString statements[] = {
        QStringLiteral("select 日期, count(*), sum(coalesce(联系人, '') <> '' or coalesce(公司名称, '') <> '')") +
            where + QStringLiteral(" group by 日期"),
        QStringLiteral("select cast(substr(时间, 1, instr(时间, ':') - 1) as integer) h, count(*)") + where +
            QStringLiteral(" group by h"),
        QStringLiteral("select coalesce(nullif(手机, ''), 电话) n, count(*)") + where +
            QStringLiteral(" group by n order by 2 desc, 1 limit 21"),
    };
    qint64 calls = 0;
    for (int i = 0; i < 3; ++i) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, statements[i].toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bare statement: %s\n", sqlite3_errmsg(db));
            std::exit(1);
        }
        while (sqlite3_step(st) == SQLITE_ROW)
            if (i == 0)
                calls += sqlite3_column_int64(st, 1);
        sqlite3_finalize(st);
    }
    return calls;
}

// Runs the event loop until `done` or 10 minutes.
template <class Done>
void waitFor(Done done)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    bench::printLoad("start");
    QStringList args = app.arguments().mid(1);
    const bench::Size size = bench::sizeFromArguments(&args);
    const QString file = !args.isEmpty() ? args.first() : bench::database(size);
    const int dayCount = args.size() > 1 ? args[1].toInt() : 30;

    auto conn = bench::bareConnection(file, QStringLiteral("statistics"));
    conn->waitForIndexBuild();
    QApplication::processEvents();
    QSqlDatabase db = conn->database();
    QSqlQuery lastDay(db);
    lastDay.exec(QStringLiteral("select 日期 from 来电数据 order by ID desc limit 1"));
    lastDay.next();
    const QDate last = QDate::fromString(lastDay.value(0).toString(), QStringLiteral("yyyy-M-d"));
    lastDay.finish();
    const QDate first = last.addDays(-(dayCount - 1));
    QString days;
    for (QDate d = first; d <= last; d = d.addDays(1))
        days += (days.isEmpty() ? QStringLiteral("'") : QStringLiteral(",'")) + storedDay(d) + QLatin1Char('\'');

    sqlite3* bare = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &bare, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    std::vector<double> counting, naming, plain;
    qint64 calls = 0, bareCalls = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto ours = [&] {
            CallStatistics s;
            counting.push_back(bench::timed([&] {
                s = callStatistics(db, first, last);
                callKindsPerDay(db, s.first, s.last);
            }));
            naming.push_back(
                bench::timed([&] { customersOfNumbers(db, conn->hasNumberIndex(), s.frequentNumbers); }));
            calls = s.total;
        };
        const auto theirs = [&] { plain.push_back(bench::timed([&] { bareCalls = bareCounts(bare, days); })); };
        if (run % 2) {
            theirs();
            ours();
        } else {
            ours();
            theirs();
        }
    }
    sqlite3_close(bare);
    const double o = bench::median(counting), n = bench::median(naming), b = bench::median(plain);
    std::printf("%s (%s)\n", qPrintable(file), qPrintable(bench::sizeText(size)));
    std::printf("figures of %s to %s (%lld calls; bare %lld), medians of %d:\n", qPrintable(storedDay(first)),
                qPrintable(storedDay(last)), calls, bareCalls, kRuns);
    std::printf("  program's counts %.0f ms, bare statements %.0f ms, ratio %.2f (load %s)\n", o, b, o / b,
                bench::loadAverage().constData());
    std::printf("  with the customers of the 20 frequent numbers (+%.0f ms): %.0f ms, ratio %.2f\n", n, o + n,
                (o + n) / b);
    std::fflush(stdout);

    // The window, as the menu opens it.
    bench::StallMeter meter;
    std::vector<double> opening, figures, stalls;
    for (int run = 0; run < 3; ++run) {
        CallStatisticsWindow* w = nullptr;
        opening.push_back(bench::timed([&] {
            w = new CallStatisticsWindow(conn.get());
            w->setRange(first, last);
            w->show();
        }));
        meter.start();
        QSignalSpy computed(w, &CallStatisticsWindow::computed);
        QElapsedTimer t;
        t.start();
        w->compute();
        waitFor([&] { return !computed.isEmpty(); });
        figures.push_back(t.elapsed());
        // The charts are drawn on the next paint.
        bool drawn = false;
        QTimer::singleShot(300, [&] { drawn = true; });
        waitFor([&] { return drawn; });
        stalls.push_back(meter.worst());
        delete w;
    }
    std::printf("window: opened in %.0f ms (median of 3), figures after %.0f ms, longest stall %.0f ms "
                "(worst of 3 %.0f ms)\n",
                bench::median(opening), bench::median(figures), bench::median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    bench::printLoad("end");
    return 0;
}
