// Two desks on a primary server with a streaming standby.  The primary dies
// (its postmaster killed) and the standby is promoted: every call reaches
// the new primary exactly once, in each desk's order, with its arrival
// time, also one the primary had committed but the standby had not yet
// received; and the desks' lists work again without a restart.

#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "data/module/datamodule.h"
#include "data/calls/callqueue.h"
#include "data/calls/callstatistics.h"
#include "data/lists/reopen.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"
#include "teststandby.h"

namespace {

CallRecord call(int n)
{
    return callRecord(QStringLiteral("1370000%1").arg(n, 4, 10, QLatin1Char('0')),
                      QDateTime(QDate(2026, 12, 9), QTime(11, 0, n)));
}

// "手机 时间" of the calls on one server, oldest first.
QStringList callsOn(int port, const QString& database)
{
    QStringList out;
    const QString name = QUuid::createUuid().toString();
    {
        const DatabaseLocation where = DatabaseLocation::ofUri(QStringLiteral("postgresql://tavrin@127.0.0.1:") +
                                                               QString::number(port) + QLatin1Char('/') + database);
        QSqlDatabase db = DatabaseEngine::standard(where)->connection(name, where, 1000);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select 手机, 时间 from 来电数据 order by id"));
            while (q.next())
                out << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

QString line(int n) { return call(n).mobile + QLatin1Char(' ') + call(n).time; }

// A desk that tries again quickly, in its own program folder (its own
// journal), on `where`.
struct Desk {
    QString folder;
    std::unique_ptr<DataModule> dm;
};

Desk openDesk(const DatabaseLocation& where)
{
    Desk d;
    d.folder = testutil::makeProgramFolder();
    const QString journal = d.folder + QStringLiteral("data/来电队列.db");
    d.dm = testutil::openDesk(where, [journal](DataModule& dm) {
        dm.callCourier().setRetryDelays(50, 400);
        dm.callCourier().setQueuePath(journal);
    });
    return d;
}

bool logAt(Desk& d, int n) { return d.dm->logCall(call(n)); }

}  // namespace

class TestFailover : public QObject {
    Q_OBJECT
    QStringList reports_;

private slots:
    void init()
    {
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }

    void cleanup() { errorreport::setSink({}); }

    void twoDesksGoOnThroughAPromotion()
    {
        testutil::PrivatePostgres primary;
        QVERIFY2(primary.error().isEmpty(), qPrintable(primary.error()));
        QVERIFY(primary.createDatabase(QStringLiteral("总机")));
        testutil::PrivateStandby standby(primary);
        QVERIFY2(standby.error().isEmpty(), qPrintable(standby.error()));
        const DatabaseLocation where =
            DatabaseLocation::ofUri(testutil::bothServersUri(primary, standby, QStringLiteral("总机")));

        Desk a = openDesk(where), b = openDesk(where);
        QVERIFY(a.dm->callTable.isActive() && b.dm->callTable.isActive());
        for (int n = 1; n <= 4; ++n)
            QVERIFY(logAt(n % 2 ? a : b, n));
        // Held in the journals until the standby has them, then let go.
        QTRY_VERIFY_WITH_TIMEOUT(a.dm->callCourier().awaitingStandbys() == 0 &&
                                     b.dm->callCourier().awaitingStandbys() == 0,
                                 20000);

        QVERIFY(primary.crash());
        for (int n = 5; n <= 8; ++n)
            QVERIFY(!logAt(n % 2 ? a : b, n));  // kept: nobody takes writes now
        QVERIFY(standby.promote());

        QTRY_VERIFY_WITH_TIMEOUT(!a.dm->serverAway() && a.dm->callsWaiting() == 0 && !b.dm->serverAway() &&
                                     b.dm->callsWaiting() == 0,
                                 60000);
        const QStringList calls = callsOn(standby.port(), QStringLiteral("总机"));
        QCOMPARE(calls.size(), 8);
        QCOMPARE(QSet<QString>(calls.begin(), calls.end()).size(), 8);
        // Each desk's calls in the order they came.
        for (int first : {1, 2})
            for (int n = first; n + 2 <= 8; n += 2)
                QVERIFY2(calls.indexOf(line(n)) < calls.indexOf(line(n + 2)), qPrintable(calls.join(QLatin1Char(','))));
        // The desks work again without a restart.
        QTRY_VERIFY_WITH_TIMEOUT(a.dm->callTable.isActive() && a.dm->callTable.recordCount() == 8, 20000);
        a.dm->customerTable.reopen(wholeList(QStringLiteral("客户数据")));
        QVERIFY(logAt(b, 9));
        QCOMPARE(callsOn(standby.port(), QStringLiteral("总机")).size(), 9);
    }

    // The standby has not received the last call when the primary dies:
    // the desk's journal still holds it, finds it missing on the promoted
    // standby and writes it there, once.
    void aCallTheStandbyNeverReceivedIsWrittenAfterThePromotion()
    {
        testutil::PrivatePostgres primary;
        QVERIFY2(primary.error().isEmpty(), qPrintable(primary.error()));
        QVERIFY(primary.createDatabase(QStringLiteral("分机")));
        testutil::PrivateStandby standby(primary);
        QVERIFY2(standby.error().isEmpty(), qPrintable(standby.error()));
        const DatabaseLocation where =
            DatabaseLocation::ofUri(testutil::bothServersUri(primary, standby, QStringLiteral("分机")));
        Desk d = openDesk(where);
        QVERIFY(logAt(d, 1));
        QTRY_VERIFY_WITH_TIMEOUT(d.dm->callCourier().awaitingStandbys() == 0, 20000);

        QVERIFY(standby.holdReceiving(true));
        QVERIFY(logAt(d, 2));  // committed on the primary only
        QCOMPARE(d.dm->callCourier().awaitingStandbys(), 1);
        QCOMPARE(callsOn(primary.port(), QStringLiteral("分机")), (QStringList{line(1), line(2)}));
        QVERIFY(primary.crash());
        QVERIFY(standby.holdReceiving(false));
        QVERIFY(standby.promote());

        QTRY_VERIFY_WITH_TIMEOUT(!d.dm->serverAway() && d.dm->callCourier().awaitingStandbys() == 0, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(callsOn(standby.port(), QStringLiteral("分机")), (QStringList{line(1), line(2)}),
                                  20000);
    }

    // A report reads the standby, once caught up with the same figures as
    // the primary, and says so.
    void statisticsReadOnTheStandby()
    {
        testutil::PrivatePostgres primary;
        QVERIFY2(primary.error().isEmpty(), qPrintable(primary.error()));
        QVERIFY(primary.createDatabase(QStringLiteral("报表")));
        testutil::PrivateStandby standby(primary);
        QVERIFY2(standby.error().isEmpty(), qPrintable(standby.error()));
        const DatabaseLocation where =
            DatabaseLocation::ofUri(testutil::bothServersUri(primary, standby, QStringLiteral("报表")));
        Desk d = openDesk(where);
        for (int n = 1; n <= 5; ++n)
            QVERIFY(logAt(d, n));
        QTRY_VERIFY_WITH_TIMEOUT(d.dm->callCourier().awaitingStandbys() == 0, 20000);

        const QDate day(2026, 12, 9);
        const CallStatistics onPrimary = callStatistics(d.dm->connection.database(), day, day);
        ReadingPlace place;
        const CallStatistics onStandby = callStatisticsForReport(where, day, day, 20, {}, &place);
        QVERIFY(place.standby);
        QCOMPARE(place.server, QStringLiteral("127.0.0.1:") + QString::number(standby.port()));
        QCOMPARE(place.behindSeconds, 0.0);
        QVERIFY(readingPlaceText(place).startsWith(QStringLiteral("数据读自备用服务器 127.0.0.1:")));
        QCOMPARE(onStandby.total, 5);
        QCOMPARE(onStandby.total, onPrimary.total);
        QCOMPARE(onStandby.perHour, onPrimary.perHour);
        QCOMPARE(onStandby.frequentNumbers.size(), onPrimary.frequentNumbers.size());
    }
};

QTEST_MAIN(TestFailover)
#include "test_failover.moc"
