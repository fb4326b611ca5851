// The panel of a caller's earlier calls over a large call table: how long
// the program takes to find a number's calls (count and the newest 50, as
// the panel lists them), for the test numbers of the database, beside a
// bare count of the number's calls in one column through the same index.
// Then the call statistics of the last 30 days of calls (the figures of the
// statistics window), beside a bare count of those days' calls.  The
// database is only read (opened read-only): a file named here that lacks
// the program's indexes is measured without them.
//
//   bench_history [--large] [database file]
//     Without a file the generator's database (built on first use).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <vector>

#include "data/connection/connection.h"
#include "data/numbers/callhistory.h"
#include "data/calls/callstatistics.h"

#include "benchdb.h"
#include "measure.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::printLoad("start");
    QStringList args = app.arguments().mid(1);
    const bench::Size size = bench::sizeFromArguments(&args);
    const QString file = !args.isEmpty() ? args.first() : bench::database(size);

    // Only read: the file is shared (database() has given it the program's
    // indexes; a file named here is read as it is).
    bench::ReadOnlyDatabase ro(file, QStringLiteral("history"));
    QSqlDatabase db = ro.database();
    if (!db.isOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }
    std::printf("%s (read-only)\n", qPrintable(file));
    QSqlQuery total(db);
    total.exec(QStringLiteral("select max(ID) from 来电数据"));
    total.next();
    std::printf("  calls in the table: about %lld\n", total.value(0).toLongLong());
    total.finish();

    const QVector<bench::TestNumber> numbers = bench::testNumbers(file);
    if (numbers.isEmpty()) {
        std::fprintf(stderr, "no test numbers beside the database\n");
        return 1;
    }
    std::vector<double> panel, bare;
    qint64 found = 0;
    QSqlQuery count(db);
    count.prepare(QStringLiteral("select count(*) from 来电数据 where 手机 = ? and 手机 > ''"));
    for (int round = 0; round < 5; ++round)
        for (const bench::TestNumber& n : numbers) {
            CallHistory h;
            panel.push_back(bench::timed([&] { h = earlierCalls(db, {n.number, n.stored}, 0, 50); }));
            found += h.count;
            bare.push_back(bench::timed([&] {
                count.addBindValue(n.number);
                count.exec();
                count.next();
                count.finish();
            }));
        }
    std::printf("  earlier calls of a number (count and the newest 50), median of %zu: %.3f ms, worst %.3f ms\n",
                panel.size(), bench::median(panel), *std::max_element(panel.begin(), panel.end()));
    std::printf("  bare count of a number in one column:                  %.3f ms\n", bench::median(bare));
    std::printf("  (%lld earlier calls found in all)\n", found);

    // The statistics of the last 30 days that have calls.
    QSqlQuery lastDay(db);
    lastDay.exec(QStringLiteral("select 日期 from 来电数据 order by ID desc limit 1"));
    lastDay.next();
    const QDate last = QDate::fromString(lastDay.value(0).toString(), QStringLiteral("yyyy-M-d"));
    lastDay.finish();
    const QDate first = last.addDays(-29);
    std::vector<double> figures, counted;
    qint64 calls = 0, bareCalls = 0;
    for (int round = 0; round < 5; ++round) {
        figures.push_back(bench::timed([&] { calls = callStatistics(db, first, last).total; }));
        counted.push_back(bench::timed([&] {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("select count(*) from 来电数据 where 日期 = ?"));
            bareCalls = 0;
            for (QDate d = first; d <= last; d = d.addDays(1)) {
                q.addBindValue(storedDay(d));
                q.exec();
                q.next();
                bareCalls += q.value(0).toLongLong();
            }
        }));
    }
    std::printf("  statistics of %s to %s (%lld calls), median of 5: %.1f ms; bare count of the days: %.1f ms (%lld)\n",
                qPrintable(storedDay(first)), qPrintable(storedDay(last)), calls, bench::median(figures),
                bench::median(counted), bareCalls);
    bench::printLoad("end");
    return 0;
}
