// A desk on a primary server with a streaming standby, on 127.0.0.1:
//  - a call's log time (journal, store, commit) without and with a
//    synchronous standby (synchronous_standby_names = '*'), in the same run;
//  - the time from the primary's death (its postmaster killed) to the first
//    call stored on the promoted standby, with the promotion's own time
//    beside it.
//
//   bench_failover [calls]     (default 100)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <cstdio>
#include <vector>

#include "data/module/datamodule.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"
#include "teststandby.h"

#include "eventwait.h"
#include "measure.h"

namespace {

using namespace bench;

void onPrimary(const testutil::PrivatePostgres& primary, const QString& sql)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(primary.port());
        db.setUserName(primary.user());
        db.setDatabaseName(QStringLiteral("postgres"));
        if (db.open())
            QSqlQuery(db).exec(sql);
    }
    QSqlDatabase::removeDatabase(name);
}

template <class F>
bool waitUntil(F done, int msecs)
{
    return bench::runUntil(done, msecs);
}

std::vector<double> logTimes(DataModule& dm, int calls, int from)
{
    std::vector<double> out;
    for (int i = 0; i < calls; ++i) {
        const CallRecord r = callRecord(QStringLiteral("136%1").arg(from + i, 8, 10, QLatin1Char('0')),
                                        QDateTime::currentDateTime());
        out.push_back(timed([&] { dm.logCall(r); }));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100;
    printLoad("start");
    testutil::makeProgramFolder();
    testutil::PrivatePostgres primary;
    if (!primary.error().isEmpty() || !primary.createDatabase(QStringLiteral("tavrin"))) {
        std::fprintf(stderr, "primary: %s\n", qPrintable(primary.error()));
        return 1;
    }
    testutil::PrivateStandby standby(primary);
    if (!standby.error().isEmpty()) {
        std::fprintf(stderr, "standby: %s\n", qPrintable(standby.error()));
        return 1;
    }
    const DatabaseLocation where =
        DatabaseLocation::ofUri(testutil::bothServersUri(primary, standby, QStringLiteral("tavrin")));
    auto dm = testutil::openDesk(where, [](DataModule& d) { d.callCourier().setRetryDelays(50, 400); });

    // In alternating rounds, so that the machine's load weighs on both alike.
    std::vector<double> async, sync;
    const int round = 10;
    for (int done = 0; done < calls; done += round) {
        for (bool synchronous : {false, true}) {
            onPrimary(primary, synchronous ? QStringLiteral("alter system set synchronous_standby_names = '*'")
                                           : QStringLiteral("alter system reset synchronous_standby_names"));
            onPrimary(primary, QStringLiteral("select pg_reload_conf()"));
            waitUntil([] { return false; }, 300);  // the reload reaches every backend
            const std::vector<double> t = logTimes(*dm, round, 2 * done + (synchronous ? round : 0));
            (synchronous ? sync : async).insert((synchronous ? sync : async).end(), t.begin(), t.end());
        }
    }
    onPrimary(primary, QStringLiteral("alter system reset synchronous_standby_names"));
    onPrimary(primary, QStringLiteral("select pg_reload_conf()"));
    waitUntil([&] { return dm->callCourier().awaitingStandbys() == 0; }, 30000);

    QElapsedTimer sinceDeath;
    primary.crash();
    sinceDeath.start();
    dm->logCall(callRecord(QStringLiteral("13599999999"), QDateTime::currentDateTime()));
    const double promote = timed([&] { standby.promote(); });
    const bool stored =
        waitUntil([&] { return !dm->serverAway() && dm->callsWaiting() == 0; }, 120000);
    const double failover = sinceDeath.nsecsElapsed() / 1e6;

    std::printf("calls: %d\n", calls);
    std::printf("call logged, asynchronous standby   median %.2f ms\n", median(async));
    std::printf("call logged, synchronous standby    median %.2f ms\n", median(sync));
    std::printf("primary killed -> first call stored on the promoted standby: %.0f ms%s\n", failover,
                stored ? "" : " (not stored within 120 s)");
    std::printf("  of which the promotion (pg_ctl promote -w):            %.0f ms\n", promote);
    printLoad("end");
    return 0;
}
