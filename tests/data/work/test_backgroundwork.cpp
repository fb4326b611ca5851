// Long work on its own thread and connection: progress, stopping, failures,
// calls that arrive while it holds the database, and the index build of a
// large older database that no longer holds up the open.

#include <QCoreApplication>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "testdb.h"

namespace {

qint64 scalar(const QString& file, const QString& sql)
{
    const QVariant v = testutil::valueOf(file, sql);
    return v.isValid() ? v.toLongLong() : -1;
}

// An older database: customers and calls, none of the indexes.
void dropIndexes(const QString& file)
{
    for (const char* i : {"来电数据_日期", "来电数据_手机", "来电数据_电话"})
        testutil::execute(file, QStringLiteral("drop index if exists ") + QString::fromUtf8(i));
    for (const char* t : {"客户号码_ai", "客户号码_ad", "客户号码_au"})
        testutil::execute(file, QStringLiteral("drop trigger if exists ") + QString::fromUtf8(t));
    testutil::execute(file, QStringLiteral("drop table if exists 客户号码"));
}

}  // namespace

class TestBackgroundWork : public QObject {
    Q_OBJECT
    QString folder_;
    QString file_;
    QStringList reports_;

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        file_ = folder_ + QStringLiteral("data/web.mdb");
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup() { errorreport::setSink({}); }

    void runsOffTheWindowThreadOnItsOwnConnection()
    {
        testutil::addCustomers(file_, 30);
        DataModule dm;
        dm.customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm.customerTable.open();
        std::atomic<bool> onWindowThread{true};
        QString connectionName;
        qint64 counted = -1;
        BackgroundWork work(&dm.connection, QStringLiteral("数数"), BackgroundWork::Access::Read, [&](WorkContext& cx) {
            onWindowThread = QThread::currentThread() == qApp->thread();
            connectionName = cx.db().connectionName();
            QSqlQuery q(cx.db());
            if (q.exec(QStringLiteral("select count(*) from 客户数据")) && q.next())
                counted = q.value(0).toLongLong();
            cx.progress(counted, counted);
        });
        work.keep();
        QSignalSpy finished(&work, &BackgroundWork::finished);
        QSignalSpy progressed(&work, &BackgroundWork::progressed);
        work.start();
        QVERIFY(work.isRunning());
        QCOMPARE(BackgroundWork::runningOn(&dm.connection), &work);
        QVERIFY(finished.wait(5000));
        QVERIFY(!onWindowThread);
        QVERIFY(connectionName != dm.connection.database().connectionName());
        QCOMPARE(counted, 30);
        QVERIFY(finished.first().first().value<WorkOutcome>().ok);
        QCOMPARE(progressed.last().at(0).toLongLong(), 30);
        QVERIFY(!BackgroundWork::anyRunning());
        // The connection is gone with the work.
        QVERIFY(!QSqlDatabase::connectionNames().contains(connectionName));
    }

    void stopsWhereItChecksAndReportsFailuresInItsOwnWords()
    {
        DataModule dm;
        dm.connection.open();
        std::atomic<bool> started{false};
        BackgroundWork endless(&dm.connection, QStringLiteral("转圈"), BackgroundWork::Access::Write, [&](WorkContext& cx) {
            QSqlQuery q(cx.db());
            cx.db().transaction();
            q.exec(QStringLiteral("insert into 客户数据 (联系人) values ('不该留下')"));
            started = true;
            for (;;) {
                cx.checkStop();
                QThread::msleep(5);
            }
        });
        endless.keep();
        QSignalSpy ended(&endless, &BackgroundWork::finished);
        endless.start();
        QTRY_VERIFY(started);
        endless.stop();
        QVERIFY(ended.wait(5000));
        const WorkOutcome stopped = ended.first().first().value<WorkOutcome>();
        QVERIFY(stopped.stopped);
        QVERIFY(!stopped.ok);
        // Whatever a stopped job left uncommitted is not kept.
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 客户数据")), 0);

        BackgroundWork failing(&dm.connection, QStringLiteral("出错"), BackgroundWork::Access::Read, [](WorkContext&) {
            throw AppError(QStringLiteral("写不进文件“甲.xls”：磁盘已满"));
        });
        failing.keep();
        QSignalSpy failed(&failing, &BackgroundWork::finished);
        failing.start();
        QVERIFY(failed.wait(5000));
        const WorkOutcome o = failed.first().first().value<WorkOutcome>();
        QVERIFY(!o.ok && !o.stopped);
        QCOMPARE(o.error, QStringLiteral("写不进文件“甲.xls”：磁盘已满"));
    }

    void callsWaitWhileWorkHoldsTheWritesAndFollowInOrder()
    {
        DataModule dm;
        dm.callTable.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        dm.callTable.open();
        QSignalSpy waiting(&dm, &DataModule::callsWaitingChanged);
        std::atomic<bool> release{false};
        auto* work = new BackgroundWork(&dm.connection, QStringLiteral("导入数据"), BackgroundWork::Access::Write,
                                        [&](WorkContext& cx) {
                                            // Holds the database's write lock, as an import does.
                                            cx.db().transaction();
                                            QSqlQuery q(cx.db());
                                            q.exec(QStringLiteral("insert into 客户数据 (联系人) values ('导入')"));
                                            while (!release)
                                                QThread::msleep(2);
                                            cx.db().commit();
                                        });
        QSignalSpy ended(work, &BackgroundWork::finished);
        work->start();
        QVERIFY(dm.connection.writesHeld());
        QCOMPARE(dm.connection.writesHeldBy(), QStringLiteral("导入数据"));
        const QDateTime t(QDate(2026, 12, 8), QTime(9, 30, 0));
        QVERIFY(!dm.logCall(callRecord(QStringLiteral("13812345678"), t)));
        QVERIFY(!dm.logCall(callRecord(QStringLiteral("057187654321"), t.addSecs(5))));
        QCOMPARE(dm.callsWaiting(), 2);
        QCOMPARE(waiting.last().first().toInt(), 2);
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 来电数据")), 0);
        release = true;
        QVERIFY(ended.wait(5000));
        QVERIFY(!dm.connection.writesHeld());
        QCOMPARE(dm.callsWaiting(), 0);
        QCOMPARE(waiting.last().first().toInt(), 0);
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 来电数据")), 2);
        // In the order of the calls, each once.
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 来电数据 where 手机 = '13812345678' and "
                                              "ID < (select ID from 来电数据 where 电话 = '057187654321')")),
                 1);
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 客户数据")), 1);
        // Without work the call is logged at once.
        QVERIFY(dm.logCall(callRecord(QStringLiteral("020123"), t)));
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from 来电数据")), 3);
        QVERIFY(reports_.isEmpty());
    }

    void aLargeOlderDatabaseOpensAtOnceAndGetsItsIndexesFromLongWork()
    {
        testutil::addCustomers(file_, 1200);
        for (int i = 0; i < 300; ++i)
            testutil::execute(file_, QStringLiteral("insert into 来电数据 (手机, 日期) values ('139', '2026-1-1')"));
        dropIndexes(file_);
        DataModule dm;
        dm.connection.setBackgroundIndexRows(100);
        // The number index's build says how far it has come.
        QList<qint64> done;
        dm.connection.setWorkStarter([&](BackgroundWork* w) {
            connect(w, &BackgroundWork::progressed, this, [&](qint64 n, qint64 total) {
                if (total == 1200)
                    done << n;
            });
            w->start();
        });
        QSignalSpy ended(&dm.connection, &Connection::indexBuildEnded);
        dm.connection.open();
        // Open, usable, without the index for now.
        QVERIFY(dm.connection.isConnected());
        QVERIFY(!dm.connection.hasNumberIndex());
        QVERIFY(dm.connection.indexBuild());
        QVERIFY(ended.wait(10000));
        QVERIFY(ended.first().first().toBool());
        QVERIFY(dm.connection.hasNumberIndex());
        QVERIFY(!done.isEmpty());
        QCOMPARE(done.last(), 1200);
        QVERIFY(std::is_sorted(done.begin(), done.end()));
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from sqlite_master where name in "
                                              "('来电数据_日期', '来电数据_手机', '来电数据_电话')")), 3);
        QVERIFY(reports_.isEmpty());
    }

    void aSmallOlderDatabaseGetsItsCallIndexesWhenOpened()
    {
        testutil::execute(file_, QStringLiteral("insert into 来电数据 (手机, 日期) values ('139', '2026-1-1')"));
        dropIndexes(file_);
        DataModule dm;
        dm.connection.open();
        QVERIFY(!dm.connection.indexBuild());
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from sqlite_master where name in "
                                              "('来电数据_日期', '来电数据_手机', '来电数据_电话')")), 3);
        QVERIFY(reports_.isEmpty());
    }

    void aStoppedIndexBuildLeavesThePlainLookupAndNoHalfIndex()
    {
        testutil::addCustomers(file_, 3000);
        dropIndexes(file_);
        DataModule dm;
        dm.connection.setBackgroundIndexRows(100);
        BackgroundWork* build = nullptr;
        dm.connection.setWorkStarter([&](BackgroundWork* w) {
            build = w;
            w->start();
            w->stop();  // at once: the build ends where it next checks
        });
        QSignalSpy ended(&dm.connection, &Connection::indexBuildEnded);
        dm.connection.open();
        QVERIFY(build);
        QVERIFY(ended.wait(10000));
        QVERIFY(!ended.first().first().toBool());
        QVERIFY(!dm.connection.hasNumberIndex());
        QCOMPARE(scalar(file_, QStringLiteral("select count(*) from sqlite_master where name like '客户号码%'")), 0);
        // A stop is the operator's own choice: nothing to report.
        QVERIFY(reports_.isEmpty());
    }

    void aFailedIndexBuildIsReportedAndTheProgramGoesOn()
    {
        testutil::addCustomers(file_, 300);
        dropIndexes(file_);
        // A table of the index's name in the way: the build cannot make its own.
        testutil::execute(file_, QStringLiteral("create view 客户号码 as select 1"));
        DataModule dm;
        dm.connection.setBackgroundIndexRows(100);
        QSignalSpy ended(&dm.connection, &Connection::indexBuildEnded);
        dm.customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm.customerTable.open();
        QVERIFY(ended.wait(10000));
        QVERIFY(!ended.first().first().toBool());
        QVERIFY(!dm.connection.hasNumberIndex());
        QCOMPARE(reports_.size(), 1);
        QVERIFY(reports_.first().startsWith(QStringLiteral("查找用的索引没有建成")));
        QCOMPARE(dm.customerTable.recordCount(), 300);
        QVERIFY(!BackgroundWork::anyRunning());
    }
};

QTEST_GUILESS_MAIN(TestBackgroundWork)
#include "test_backgroundwork.moc"
