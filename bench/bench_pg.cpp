// The shared server: a private PostgreSQL cluster reached over TCP
// (127.0.0.1), filled with the benchmark's customers and calls.
//
//  1. Number -> announcement data: the call logged through the data module
//     and the caller looked up with the program's indexed statement, median
//     over the generator's test numbers; beside it the bare statement run
//     by psql (its own \timing figure).
//  2. Two desks logging 20 calls/s each: every call must be stored once
//     (0 lost, 0 doubled), and the other desk's call list must show it;
//     the delay from the store to the other desk's list, median and p99.
//
//   bench_pg [--large] [--tiny] [--seconds N]   (N: the two-desk run, default 60)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

#include "data/lists/reopen.h"
#include "data/module/datamodule.h"
#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"

#include "benchdb.h"
#include "measure.h"
#include "testpg.h"

namespace {

using namespace bench;

void fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

void run(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        fail(sql.left(200) + QStringLiteral(": ") + q.lastError().text());
}

// The customers of the benchmark database and `calls` calls onto the
// server, 1,000 customers a statement; the rate is printed.
void fill(QSqlDatabase db, const Size& size)
{
    const QStringList fields = customerFields();
    QElapsedTimer t;
    t.start();
    run(db, QStringLiteral("begin"));
    for (qint64 from = 0; from < size.customers; from += 1000) {
        QStringList rows;
        for (qint64 i = from; i < std::min<qint64>(size.customers, from + 1000); ++i) {
            QStringList v;
            for (const QString& value : customerRow(i, int(size.customers)))
                v << (value.isEmpty() ? QStringLiteral("null") : QLatin1Char('\'') + quotedValue(value) + QLatin1Char('\''));
            rows << QLatin1Char('(') + v.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        run(db, QStringLiteral("insert into 客户数据 (") + fields.join(QLatin1Char(',')) + QStringLiteral(") values ") +
                    rows.join(QLatin1Char(',')));
    }
    run(db, QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间) select case when g % 3 = 0 then '0571' || "
                           "(80000000 + g % 9999999)::text end, case when g % 3 <> 0 then (13900000000 + g)::text end, "
                           "'2026-' || (1 + g % 12) || '-' || (1 + g % 28), '9:00:00' from generate_series(1, ") +
                QString::number(size.calls) + QStringLiteral(") as g"));
    run(db, QStringLiteral("commit"));
    run(db, QStringLiteral("vacuum analyze"));
    const double s = t.nsecsElapsed() / 1e9;
    std::printf("filled: %s in %.1f s (%.0f rows/s, the index's triggers included)\n", qPrintable(sizeText(size)), s,
                (size.customers + size.calls) / s);
}

// psql's own figure for the statement, in ms.
double psqlMs(const testutil::PrivatePostgres& server, const QString& sql)
{
    QProcess p;
    p.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                     QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                                     QString::number(server.port()), QStringLiteral("-U"), server.user(),
                                     QStringLiteral("-d"), QStringLiteral("bench"), QStringLiteral("-c"),
                                     QStringLiteral("\\timing on"), QStringLiteral("-c"), sql});
    p.waitForFinished(60000);
    // "Time: 1.234 ms" goes to standard output even with -o.
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const int at = int(out.lastIndexOf(QStringLiteral("Time: ")));
    return at < 0 ? -1 : out.mid(at + 6).section(QLatin1Char(' '), 0, 0).toDouble();
}

std::unique_ptr<DataModule> desk(const DatabaseLocation& where) { return testutil::openDesk(where); }

void lookups(const testutil::PrivatePostgres& server, const DatabaseLocation& where, const Size& size)
{
    const QVector<TestNumber> numbers = testNumbers(database(size));
    auto dm = desk(where);
    if (!dm->connection.hasNumberIndex())
        fail(QStringLiteral("no number index on the server"));
    std::vector<double> program, bare;
    int right = 0;
    for (const TestNumber& t : numbers) {
        program.push_back(timed([&] {
            dm->logCall(callRecord(t.number, QDateTime::currentDateTime()));
            dm->lookupTable.reopen(WrittenStatement::of(indexedLookupStatement(t.number), QStringLiteral("客户数据")));
        }));
        right += (dm->lookupTable.recordCount() > 0) == t.known;
        bare.push_back(psqlMs(server, indexedLookupStatement(t.number)));
    }
    std::printf("number -> lookup done (call logged + indexed lookup), %d numbers, %d announced right:\n"
                "  program median %.2f ms   bare statement through psql median %.2f ms\n",
                int(numbers.size()), right, median(program), median(bare));
}

void twoDesks(const DatabaseLocation& where, int seconds)
{
    auto a = desk(where);
    auto b = desk(where);
    QHash<qint64, qint64> storedAt;  // call key -> ms since start
    QElapsedTimer clock;
    clock.start();
    std::vector<double> delays;
    int logged = 0;
    // A desk's list read anew: every call of the other desk it shows for the
    // first time has arrived.
    auto watch = [&](DataModule& dm, QSet<qint64>* seen) {
        QObject::connect(&dm, &DataModule::recordPosition, &dm, [&dm, seen, &storedAt, &clock, &delays] {
            DataSet& calls = dm.callTable;
            const int key = calls.findField(QStringLiteral("ID"));
            for (int r = 0; r < std::min(calls.rowCount(), 60); ++r) {
                const qint64 id = calls.rowValue(r, key).toLongLong();
                if (seen->contains(id))
                    continue;
                seen->insert(id);
                if (storedAt.contains(id))
                    delays.push_back(double(clock.elapsed() - storedAt.value(id)));
            }
        });
    };
    QSet<qint64> seenByA, seenByB;
    watch(*a, &seenByA);
    watch(*b, &seenByB);
    auto logAt = [&](DataModule& dm, QSet<qint64>* own, int desk) {
        const QString number = QStringLiteral("1380") + QString::number(desk) + QString::number(100000 + logged);
        ++logged;
        dm.logCall(callRecord(number, QDateTime::currentDateTime()));
        const qint64 id = dm.callTable.value(QStringLiteral("ID")).toLongLong();
        own->insert(id);  // its own desk sees it at once
        storedAt.insert(id, clock.elapsed());
    };
    QTimer ta, tb;
    ta.setInterval(50);
    tb.setInterval(50);
    QObject::connect(&ta, &QTimer::timeout, [&] { logAt(*a, &seenByA, 1); });
    QObject::connect(&tb, &QTimer::timeout, [&] { logAt(*b, &seenByB, 2); });
    ta.start();
    QTimer::singleShot(25, [&] { tb.start(); });
    QTimer::singleShot(seconds * 1000, [&] {
        ta.stop();
        tb.stop();
        QTimer::singleShot(2000, QCoreApplication::instance(), &QCoreApplication::quit);
    });
    QCoreApplication::exec();
    QSqlQuery q(a->connection.database());
    q.exec(QStringLiteral("select count(*), count(distinct 手机) from 来电数据 where 手机 like '1380%'"));
    q.next();
    const int stored = q.value(0).toInt(), distinct = q.value(1).toInt();
    std::sort(delays.begin(), delays.end());
    const double p99 = delays.empty() ? -1 : delays[std::min(delays.size() - 1, size_t(delays.size() * 0.99))];
    std::printf("two desks, 20 calls/s each for %d s: %d logged, %d stored (lost %d, doubled %d), %d seen by the other desk\n"
                "  delay to the other desk's list: median %.0f ms, p99 %.0f ms\n",
                seconds, logged, stored, logged - distinct, stored - distinct, int(delays.size()), median(delays), p99);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const Size size = sizeFromArguments(&args);
    const int at = int(args.indexOf(QStringLiteral("--seconds")));
    const int seconds = at >= 0 ? args.value(at + 1).toInt() : 60;
    printLoad("start");
    testutil::PrivatePostgres server;
    if (!server.error().isEmpty() || !server.createDatabase(QStringLiteral("bench")))
        fail(server.error());
    const DatabaseLocation where = DatabaseLocation::ofUri(server.tcpUri(QStringLiteral("bench")));
    {
        Connection c(QStringLiteral("fill"));
        c.setLocation(where);
        c.open();  // the tables and the number index
        fill(c.database(), size);
    }
    lookups(server, where, size);
    twoDesks(where, seconds);
    printLoad("end");
    return 0;
}
