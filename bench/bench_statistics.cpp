// The statistics window over a large call table: the figures of the last
// 30 days with calls as the window's background work computes them (the
// counts, the calls per kind and day, the customers of the frequent
// numbers), beside bare statements giving the same counts on a plain
// SQLite connection in the same run: calls and known callers per day, calls
// per hour, the most frequent numbers.  Medians of five runs, the program
// and the bare run taking turns at going first.  The same steps, one by
// one, on a plain thread with a connection of its own, as the window's
// work runs them.
//
// Then the window itself, taking turns with the bare statements: how long
// it takes to open, from the click on 统计 until the charts are drawn (their
// next paint), the processor time the whole process spent on it against
// that of the bare statements (a figure the machine's load does not
// stretch), and the longest time the window could not react from 统计 until
// 300 ms after the drawing (a 5 ms timer's longest gap).  The benchmark
// sleeps while it waits (no busy loop takes a core from the work).
//
//   bench_statistics [--large] [database file] [days]
//     Without a file the generator's database (built on first use).  The
//     file is opened read-write: give a copy of a database shared with others.

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QEvent>
#include <QThread>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sqlite3.h>

#include "data/connection/connection.h"
#include "data/calls/callkinds.h"
#include "data/calls/callstatistics.h"
#include "data/engine/engine.h"
#include "ui/calls/callstatisticswindow.h"

#include "benchdb.h"
#include "eventwait.h"
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

// The figures as the window's background work computes them, step by step,
// on a plain thread with a connection of its own opened as the work opens
// its own: opening it, the counts, the calls per kind and day, the
// customers of the frequent numbers.
struct Steps {
    double open = 0, counts = 0, kinds = 0, customers = 0;
    double total() const { return open + counts + kinds + customers; }
};

// Processor time used by the whole process so far, in ms: the work of
// every thread, whatever else the machine runs meanwhile.
double processCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Steps stepsOnThread(const QString& file, bool numberIndex, const QDate& first, const QDate& last)
{
    Steps steps;
    QThread* thread = QThread::create([&] {
        const DatabaseLocation where = DatabaseLocation::ofFile(file);
        const auto engine = DatabaseEngine::standard(where);
        const QString name = QStringLiteral("plainthread");
        {
            QSqlDatabase db;
            steps.open = bench::timed([&] {
                db = engine->connection(name, where, 5000);
                db.open();
                engine->prepareSession(db);
            });
            CallStatistics s;
            steps.counts = bench::timed([&] { s = callStatistics(db, first, last); });
            steps.kinds = bench::timed([&] { callKindsPerDay(db, s.first, s.last); });
            steps.customers = bench::timed([&] { customersOfNumbers(db, numberIndex, s.frequentNumbers); });
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    });
    thread->start();
    bench::runUntil([thread] { return thread->isFinished(); });
    thread->wait();
    delete thread;
    return steps;
}

// Notes when a widget is next painted.
class PaintWatch : public QObject {
public:
    QElapsedTimer* clock = nullptr;
    double paintedAt = -1;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && paintedAt < 0 && clock)
            paintedAt = clock->nsecsElapsed() / 1e6;
        return false;
    }
};

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
    std::vector<double> counting, naming, plain, opened, threadCounts, threadKinds, threadCustomers, threadTotal;
    qint64 calls = 0, bareCalls = 0;
    for (int run = 0; run < kRuns; ++run) {
        const Steps st = stepsOnThread(file, conn->hasNumberIndex(), first, last);
        opened.push_back(st.open);
        threadCounts.push_back(st.counts);
        threadKinds.push_back(st.kinds);
        threadCustomers.push_back(st.customers);
        threadTotal.push_back(st.total());
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
    const double o = bench::median(counting), n = bench::median(naming), b = bench::median(plain);
    std::printf("%s (%s)\n", qPrintable(file), qPrintable(bench::sizeText(size)));
    std::printf("figures of %s to %s (%lld calls; bare %lld), medians of %d:\n", qPrintable(storedDay(first)),
                qPrintable(storedDay(last)), calls, bareCalls, kRuns);
    std::printf("  program's counts %.0f ms, bare statements %.0f ms, ratio %.2f (load %s)\n", o, b, o / b,
                bench::loadAverage().constData());
    std::printf("  with the customers of the 20 frequent numbers (+%.0f ms): %.0f ms, ratio %.2f\n", n, o + n,
                (o + n) / b);
    std::printf("  on a plain thread, step by step: connection %.0f ms, counts %.0f ms, kinds per day %.0f ms, "
                "customers %.0f ms; in all %.0f ms, ratio %.2f\n",
                bench::median(opened), bench::median(threadCounts), bench::median(threadKinds),
                bench::median(threadCustomers), bench::median(threadTotal), bench::median(threadTotal) / b);
    std::fflush(stdout);

    // The window, as the menu opens it.
    bench::StallMeter meter;
    std::vector<double> opening, figures, drawn, stalls, windowCpu, bareAgain, bareCpu;
    for (int run = 0; run < 3; ++run) {
        // The bare statements again, taking turns with the window.
        const auto bareRun = [&] {
            const double cpu = processCpuMs();
            bareAgain.push_back(bench::timed([&] { bareCounts(bare, days); }));
            bareCpu.push_back(processCpuMs() - cpu);
        };
        if (run % 2 == 0)
            bareRun();
        CallStatisticsWindow* w = nullptr;
        opening.push_back(bench::timed([&] {
            w = new CallStatisticsWindow(conn.get());
            w->setRange(first, last);
            w->show();
        }));
        bench::runFor(100);  // shown and painted once
        QElapsedTimer t;
        PaintWatch watch;
        watch.clock = &t;
        const QList<QChartView*> charts = w->findChildren<QChartView*>();
        QSignalSpy computed(w, &CallStatisticsWindow::computed);
        meter.start();
        const double cpu = processCpuMs();
        t.start();
        w->compute();
        bench::runUntil([&] { return !computed.isEmpty(); });
        figures.push_back(t.nsecsElapsed() / 1e6);
        // The charts are drawn on the next paint.
        for (QChartView* c : charts)
            c->viewport()->installEventFilter(&watch);
        bench::runUntil([&] { return watch.paintedAt >= 0; }, 10000);
        drawn.push_back(watch.paintedAt);
        windowCpu.push_back(processCpuMs() - cpu);
        bench::runFor(300);
        stalls.push_back(meter.worst());
        delete w;
        if (run % 2 == 1)
            bareRun();
    }
    sqlite3_close(bare);
    const double bareWindow = bench::median(bareAgain);
    std::printf("window: opened in %.0f ms (median of 3), figures after %.0f ms, charts drawn after %.0f ms; "
                "bare statements taking turns with it %.0f ms: ratio %.2f (load %s)\n",
                bench::median(opening), bench::median(figures), bench::median(drawn), bareWindow,
                bench::median(drawn) / bareWindow, bench::loadAverage().constData());
    std::printf("  processor time, whole process: window %.0f ms, bare statements %.0f ms, ratio %.2f\n",
                bench::median(windowCpu), bench::median(bareCpu), bench::median(windowCpu) / bench::median(bareCpu));
    std::printf("  longest stall from 统计 until 300 ms after the charts are drawn %.0f ms (worst of 3 %.0f ms)\n",
                bench::median(stalls), *std::max_element(stalls.begin(), stalls.end()));
    bench::printLoad("end");
    return 0;
}
