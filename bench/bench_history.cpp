// The panel of a caller's earlier calls over a large call table: how long
// the program takes to find a number's calls (count and the newest 50, as
// the panel lists them), for the test numbers of the database, beside a
// bare count of the number's calls in one column through the same index.
// The program's indexes are made first when the database lacks them (timed).
//
//   bench_history [--large] [database file]
//     Without a file the generator's database (built on first use).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QVariant>
#include <cstdio>
#include <vector>

#include "data/app/connection.h"
#include "data/calls/callhistory.h"

#include "benchdb.h"
#include "measure.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::printLoad("start");
    QStringList args = app.arguments().mid(1);
    const bench::Size size = bench::sizeFromArguments(&args);
    const QString file = !args.isEmpty() ? args.first() : bench::database(size);

    // Opened as the program opens it: indexes a database lacks are built.
    QElapsedTimer open;
    open.start();
    auto conn = bench::bareConnection(file, QStringLiteral("history"));
    conn->waitForIndexBuild();
    QCoreApplication::processEvents();
    std::printf("%s: opened (indexes made where missing) in %.1f s\n", qPrintable(file), open.elapsed() / 1000.0);
    QSqlDatabase db = conn->database();
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
    bench::printLoad("end");
    return 0;
}
