// A call's way from the line into 来电数据 while something stands in the
// way: long work that the operator ends by closing the program, a server
// that keeps its connections open but stops answering, and a server whose
// tables long work holds locked.  Each call is announced at once, no raw
// error box appears, the window keeps answering, and the call reaches
// 来电数据 once, with the time it arrived.

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QUuid>
#include <QtTest>
#include <atomic>
#include <memory>

#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/calls/callqueue.h"
#include "data/lists/reopen.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "testpg.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/announcement.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"

namespace {

// The calls on a database, as "手机 日期" lines in their order.
QStringList callsOn(const DatabaseLocation& where)
{
    QStringList out;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = DatabaseEngine::standard(where)->connection(name, where, 1000);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select 手机, 日期 from 来电数据 order by id"));
            while (q.next())
                out << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

QString today() { return QDate::currentDate().toString(QStringLiteral("yyyy-M-d")); }

// Long work that holds the database until it is asked to stop.
BackgroundWork* holdingWork(Connection& c, const QString& what, std::function<void(WorkContext&)> first = {})
{
    return new BackgroundWork(&c, what, BackgroundWork::Access::Write, [first](WorkContext& cx) {
        if (first)
            first(cx);
        for (;;) {
            cx.checkStop();
            QThread::msleep(5);
        }
    });
}

}  // namespace

class TestCallPath : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QStringList reports_;

    QString announced(MainWindow& m)
    {
        return testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text();
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }

    void init() { testutil::makeProgramFolder(); }

    void cleanup()
    {
        server_->resume();
        const QStringList reports = std::exchange(reports_, {});
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join(QLatin1Char('\n'))));
    }

    void closingDuringLongWorkKeepsEveryCall()
    {
        const DatabaseLocation file = DatabaseLocation::ofFile(programFolder() + QStringLiteral("data/web.mdb"));
        {
            testutil::MainFixture f;
            f.w->show();
            f.w->activate();
            connect(&f.device, &CallerIdDevice::comingCall, f.w.get(), [&f] { f.w->calls()->finishPending(); });
            BackgroundWork* work = holdingWork(f.dm->connection, QStringLiteral("压缩数据库"));
            QSignalSpy ended(work, &BackgroundWork::finished);
            work->start();
            f.device.simulateCall(1, QStringLiteral("13900000001"));
            f.device.simulateCall(1, QStringLiteral("13900000002"));
            QCOMPARE(announced(*f.w), QStringLiteral("新客户来电"));
            QCOMPARE(f.dm->callsWaiting(), 2);

            // 关闭软件: the work is stopped, then the window closes by itself.
            QVERIFY(!f.w->close());
            QVERIFY(ended.count() == 1 || ended.wait(20000));
            QTRY_VERIFY_WITH_TIMEOUT(!f.w->isVisible(), 20000);
        }
        // Nothing stored meanwhile is lost: the next start writes them.
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        QCOMPARE(callsOn(file), (QStringList{QStringLiteral("13900000001 ") + today(),
                                             QStringLiteral("13900000002 ") + today()}));
    }

    // The server's processes are stopped: connections stay open, nothing
    // answers.  The call is announced within the guard's deadline, the
    // window's timers keep firing, and once the server goes on the call is
    // in 来电数据 once.
    void aSilentServerNeverHoldsTheWindow()
    {
        static int n = 0;
        const QString name = QStringLiteral("静默") + QString::number(++n);
        QVERIFY(server_->createDatabase(name));
        const DatabaseLocation where = DatabaseLocation::ofUri(server_->tcpUri(name));
        SimulatedDevice device;
        DataModule dm;
        dm.callCourier().setRetryDelays(50, 400);
        dm.setDatabaseLocation(where);
        MainWindow m(dm, device);
        connect(&device, &CallerIdDevice::comingCall, &m, [&m] { m.calls()->finishPending(); });
        m.activate();
        QVERIFY(dm.customerTable.isActive() && dm.callTable.isActive());
        dm.customerTable.append();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("老李"));
        dm.customerTable.setValue(QStringLiteral("手机"), QStringLiteral("13900000007"));
        dm.customerTable.post();

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        QVERIFY(server_->pause());
        device.simulateCall(1, QStringLiteral("13900000007"));
        QCOMPARE(announced(m), QStringLiteral("新客户来电"));
        // The window goes on while the server says nothing.
        const int afterCall = ticks;
        QTRY_VERIFY(ticks > afterCall + 5);
        QVERIFY(dm.serverAway());

        QVERIFY(server_->resume());
        QTRY_VERIFY_WITH_TIMEOUT(!dm.serverAway() && dm.callsWaiting() == 0, 30000);
        QCOMPARE(callsOn(where), QStringList{QStringLiteral("13900000007 ") + today()});
        // Looked up once the server answers: the customer comes up after all.
        QTRY_COMPARE_WITH_TIMEOUT(announced(m), QStringLiteral("老客户来电"), 15000);
        QCOMPARE(dm.customerTable.text(QStringLiteral("联系人")), QStringLiteral("老李"));
        QTRY_VERIFY_WITH_TIMEOUT(dm.callTable.isActive() && dm.callTable.recordCount() == 1, 15000);
    }

    // Long work that holds the server's tables (as the upload does): the
    // call is announced without an error box and written once it ends.
    void aCallWhileLongWorkLocksTheServerIsWrittenAfterIt()
    {
        static int n = 0;
        const QString name = QStringLiteral("上传") + QString::number(++n);
        QVERIFY(server_->createDatabase(name));
        const DatabaseLocation where = DatabaseLocation::ofUri(server_->tcpUri(name));
        SimulatedDevice device;
        DataModule dm;
        dm.setDatabaseLocation(where);
        MainWindow m(dm, device);
        connect(&device, &CallerIdDevice::comingCall, &m, [&m] { m.calls()->finishPending(); });
        m.activate();
        QVERIFY(dm.customerTable.isActive());

        std::atomic<bool> locked{false};
        BackgroundWork* work = holdingWork(dm.connection, QStringLiteral("上传本机数据到服务器"), [&](WorkContext& cx) {
            cx.db().transaction();
            QSqlQuery q(cx.db());
            q.exec(QStringLiteral("lock table 客户数据, 来电数据 in access exclusive mode"));
            locked = true;
        });
        QSignalSpy ended(work, &BackgroundWork::finished);
        work->start();
        QTRY_VERIFY(locked.load());
        device.simulateCall(1, QStringLiteral("13900000009"));
        QCOMPARE(announced(m), QStringLiteral("新客户来电"));
        QCOMPARE(dm.callsWaiting(), 1);
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join(QLatin1Char('\n'))));

        work->stop();
        QVERIFY(ended.count() == 1 || ended.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(dm.callsWaiting() == 0, 20000);
        QCOMPARE(callsOn(where), QStringList{QStringLiteral("13900000009 ") + today()});
    }
};

QTEST_MAIN(TestCallPath)
#include "test_callpath.moc"
