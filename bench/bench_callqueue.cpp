// The shared server going away mid-shift: a private PostgreSQL cluster
// reached over TCP (127.0.0.1), stopped and started again while a desk logs
// calls.  Five rounds, each on a database of its own; medians over them.
//
//  1. A call logged while the server answers (through the call list),
//     beside a bare insert of the same row on a connection of its own.
//  2. The first call after the server went away (found gone, kept), and a
//     call logged while it is away (kept in the file on this computer),
//     beside a bare insert into an SQLite file with synchronous=FULL.
//  3. From the server's start to every kept call in (the shipped tries:
//     after 1 s, 2, 4 …), and the delivery alone per call, beside the bare
//     insert of 1.  Every call must be on the server once, in order.
//
//   bench_callqueue [calls]   (calls per phase and round, default 100)

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <cstdio>

#include "data/module/datamodule.h"
#include "data/calls/callqueue.h"
#include "data/lists/reopen.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"

#include "eventwait.h"
#include "measure.h"
#include "testpg.h"

namespace {

using namespace bench;

void fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

CallRecord call(int n)
{
    return callRecord(QStringLiteral("13%1").arg(n, 9, 10, QLatin1Char('0')),
                      QDateTime(QDate(2026, 5, 6), QTime(9, 0).addSecs(n)));
}

// Runs the insert of each call on `db` and gives the milliseconds of each.
std::vector<double> bareInserts(QSqlDatabase db, int from, int count)
{
    std::vector<double> ms;
    for (int n = from; n < from + count; ++n) {
        const BoundStatement s = callInsert(call(n));
        ms.push_back(timed([&] {
            QSqlQuery q(db);
            q.prepare(s.sql);
            for (const QVariant& v : s.values)
                q.addBindValue(v);
            if (!q.exec())
                fail(q.lastError().text());
        }));
    }
    return ms;
}

QSqlDatabase connectionTo(const DatabaseLocation& where)
{
    QSqlDatabase db = DatabaseEngine::standard(where)->connection(QUuid::createUuid().toString(), where, 1000);
    if (!db.open())
        fail(db.lastError().text());
    return db;
}

QSqlDatabase scratchFile(const QString& path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QUuid::createUuid().toString());
    db.setDatabaseName(path);
    if (!db.open())
        fail(db.lastError().text());
    QSqlQuery q(db);
    q.exec(QStringLiteral("pragma synchronous = full"));
    q.exec(QStringLiteral("create table 来电数据 (id integer primary key, 电话, 手机, 日期, 时间, 联系人, 公司名称)"));
    return db;
}

struct Round {
    double logged = 0, bareServer = 0, firstAway = 0, kept = 0, bareFile = 0, back = 0, delivery = 0;
};

double waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    if (!runUntil(done, timeoutMs))
        fail(QStringLiteral("timed out"));
    return t.nsecsElapsed() / 1e6;
}

Round round(testutil::PrivatePostgres& server, int index, int calls, const QString& folder)
{
    Round r;
    const QString name = QStringLiteral("round") + QString::number(index);
    if (!server.createDatabase(name))
        fail(server.error());
    const DatabaseLocation where = DatabaseLocation::ofUri(server.tcpUri(name));
    DataModule dm;
    dm.setDatabaseLocation(where);
    dm.callTable.setStatement(wholeList(QStringLiteral("来电数据")));
    dm.callTable.open();
    std::vector<double> ms;
    for (int n = 0; n < calls; ++n)
        ms.push_back(timed([&] { dm.logCall(call(n)); }));
    r.logged = median(ms);
    {
        QSqlDatabase bare = connectionTo(DatabaseLocation::ofUri(server.tcpUri(QStringLiteral("postgres"))));
        QSqlQuery(bare).exec(QStringLiteral("create temporary table 来电数据 (id serial, 电话 text, 手机 text, "
                                            "日期 text, 时间 text, 联系人 text, 公司名称 text)"));
        r.bareServer = median(bareInserts(bare, 0, calls));
        bare.close();
    }
    if (!server.stop())
        fail(server.error());
    r.firstAway = timed([&] { dm.logCall(call(calls)); });
    ms.clear();
    for (int n = calls + 1; n < 2 * calls; ++n)
        ms.push_back(timed([&] { dm.logCall(call(n)); }));
    r.kept = median(ms);
    r.bareFile = median(bareInserts(scratchFile(folder + name + QStringLiteral(".db")), 0, calls));
    if (!server.start())
        fail(server.error());
    r.back = waitFor([&] { return !dm.serverAway() && dm.callsKept() == 0; }, 120000);

    // The delivery alone, from a queue of its own.
    {
        CallQueue queue(folder + name + QStringLiteral("-queue.db"));
        for (int n = 2 * calls; n < 3 * calls; ++n)
            queue.add(call(n));
        const double total = timed([&] {
            if (callqueue::deliver(queue.path(), where, 3).delivered != calls)
                fail(QStringLiteral("not every call delivered"));
        });
        r.delivery = total / calls;
    }
    QSqlDatabase check = connectionTo(where);
    QSqlQuery q(check);
    q.exec(QStringLiteral("select 手机 from 来电数据 order by id"));
    for (int n = 0; n < 3 * calls; ++n)
        if (!q.next() || q.value(0).toString() != call(n).mobile)
            fail(QStringLiteral("call %1 lost, doubled or out of order").arg(n));
    if (q.next())
        fail(QStringLiteral("a call doubled"));
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? QByteArray(argv[1]).toInt() : 100;
    printLoad("start");
    QTemporaryDir dir;
    setProgramFolder(dir.path() + QLatin1Char('/'));
    testutil::PrivatePostgres server;
    if (!server.error().isEmpty())
        fail(server.error());
    std::vector<double> logged, bareServer, firstAway, kept, bareFile, back, delivery;
    for (int i = 0; i < 5; ++i) {
        const Round r = round(server, i, calls, dir.path() + QLatin1Char('/'));
        logged.push_back(r.logged), bareServer.push_back(r.bareServer), firstAway.push_back(r.firstAway);
        kept.push_back(r.kept), bareFile.push_back(r.bareFile), back.push_back(r.back);
        delivery.push_back(r.delivery);
    }
    std::printf("%d calls a phase, 5 rounds, medians; every call on the server once, in order\n", calls);
    std::printf("call logged, server answers:      %7.2f ms   bare insert over TCP:        %7.2f ms   load %s\n",
                median(logged), median(bareServer), loadAverage().constData());
    std::printf("first call after the server went: %7.2f ms   (found gone and kept)\n", median(firstAway));
    std::printf("call kept while the server away:  %7.2f ms   bare SQLite insert (FULL):   %7.2f ms   load %s\n",
                median(kept), median(bareFile), loadAverage().constData());
    std::printf("server started -> every call in:  %7.0f ms   (tries after 1 s, 2, 4 ...)\n", median(back));
    std::printf("delivery, per call:               %7.2f ms   bare insert over TCP:        %7.2f ms   load %s\n",
                median(delivery), median(bareServer), loadAverage().constData());
    printLoad("end");
    return 0;
}
