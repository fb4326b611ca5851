// Calls are never lost when the shared server goes away mid-shift: they are
// kept on this computer and written to the server in order and exactly once
// when it answers again, also after the program was ended meanwhile, and
// also when a delivery broke off anywhere between the server's commit and
// the queue's own record of it.  A database file never uses the queue.

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QUuid>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "data/module/datamodule.h"
#include "data/engine/dberror.h"
#include "data/calls/callqueue.h"
#include "data/lists/reopen.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"

namespace {

CallRecord call(int n)
{
    return callRecord(QStringLiteral("1390000%1").arg(n, 4, 10, QLatin1Char('0')),
                      QDateTime(QDate(2026, 5, 6), QTime(10, 0, n % 60)));
}

// A desk on `where` with its lists open; tries again quickly while the
// server is away.
std::unique_ptr<DataModule> desk(const DatabaseLocation& where)
{
    return testutil::openDesk(where, [](DataModule& dm) { dm.callCourier().setRetryDelays(50, 400); });
}

// Runs `f` on a connection of the test's own to the server.
template <class F>
void onServer(const DatabaseLocation& where, F f)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = DatabaseEngine::standard(where)->connection(name, where, 1000);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        f(db);
    }
    QSqlDatabase::removeDatabase(name);
}

// The numbers of the calls on the server, oldest first.
QStringList serverCalls(const DatabaseLocation& where)
{
    QStringList out;
    onServer(where, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("select 手机 from 来电数据 order by id")));
        while (q.next())
            out << q.value(0).toString();
    });
    return out;
}

// Stands on the server's port while the server is away, hangs up on
// whoever knocks and counts the knocks: a desk trying to reach its server.
class PortWatch {
public:
    explicit PortWatch(int port)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(port));
        if (listener_ < 0 || setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 16) != 0)
            return;
        listening_ = true;
        thread_ = std::thread([this] {
            for (int fd; (fd = accept(listener_, nullptr, nullptr)) >= 0;) {
                close(fd);
                ++knocks_;
            }
        });
    }
    ~PortWatch()
    {
        if (listener_ >= 0)
            shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            close(listener_);
    }
    bool listening() const { return listening_; }
    int knocks() const { return knocks_; }

private:
    int listener_ = -1;
    bool listening_ = false;
    std::atomic<int> knocks_{0};
    std::thread thread_;
};

QStringList numbers(int from, int to)
{
    QStringList out;
    for (int n = from; n <= to; ++n)
        out << call(n).mobile;
    return out;
}

}  // namespace

class TestCallQueue : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    DatabaseLocation where_;
    QString queueFile_;
    QStringList reports_;

    void startServer() { QVERIFY2(server_->start(), qPrintable(server_->error())); }
    void stopServer() { QVERIFY2(server_->stop(), qPrintable(server_->error())); }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void init()
    {
        static int n = 0;
        const QString name = QStringLiteral("队列") + QString::number(++n);
        startServer();
        QVERIFY(server_->createDatabase(name));
        // Over TCP, as a desk reaches its server.
        where_ = DatabaseLocation::ofUri(server_->tcpUri(name));
        testutil::makeProgramFolder();
        queueFile_ = CallQueue::standardPath();
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }

    void cleanup()
    {
        startServer();
        // Nothing reached the operator as an error meanwhile.
        const QStringList reports = std::exchange(reports_, {});
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join(QLatin1Char('\n'))));
    }

    void callsWhileTheServerIsAwayArriveInOrderOnce()
    {
        auto dm = desk(where_);
        QSignalSpy back(dm.get(), &DataModule::serverBack);
        QVERIFY(dm->logCall(call(1)));
        stopServer();

        // Found gone; nothing lost.
        for (int n = 2; n <= 6; ++n)
            QVERIFY(!dm->logCall(call(n)));
        QVERIFY(dm->serverAway());
        QCOMPARE(dm->callsKept(), 5);
        QVERIFY(QFileInfo::exists(queueFile_));

        // The rest of the program fails with a message, and does not hang.
        QVERIFY_THROWS_EXCEPTION(DbError, dm->customerTable.reopen(wholeList(QStringLiteral("客户数据"))));
        {
            // Tried again and again meanwhile: still nothing doubled or lost.
            PortWatch watch(server_->port());
            QVERIFY(watch.listening());
            QTRY_VERIFY_WITH_TIMEOUT(watch.knocks() >= 3, 30000);
            QVERIFY(dm->serverAway());
            QCOMPARE(dm->callsKept(), 5);
        }

        startServer();
        // A call while the kept ones are on their way comes after them.
        QVERIFY(!dm->logCall(call(7)));
        QTRY_VERIFY_WITH_TIMEOUT(!dm->serverAway() && dm->callsKept() == 0, 15000);
        QCOMPARE(back.count(), 1);
        QCOMPARE(back.first().first().toInt(), 6);
        QCOMPARE(serverCalls(where_), numbers(1, 7));
        // The lists are back, the calls in them; the next call is written at once.
        QTRY_COMPARE(dm->callTable.recordCount(), 7);
        QVERIFY(dm->customerTable.isActive());
        QVERIFY(dm->logCall(call(8)));
        QCOMPARE(serverCalls(where_), numbers(1, 8));
    }

    void aRestartWritesTheKeptCalls()
    {
        {
            auto dm = desk(where_);
            stopServer();
            // Found gone without a statement, by the connection itself.
            QTRY_VERIFY_WITH_TIMEOUT(dm->serverAway(), 5000);
            for (int n = 1; n <= 3; ++n)
                QVERIFY(!dm->logCall(call(n)));
            QCOMPARE(dm->callsKept(), 3);
        }  // the program ends with the server still away
        {
            // Started while the server is away: the calls stay kept.
            DataModule dm;
            dm.callCourier().setRetryDelays(50, 400);
            dm.setDatabaseLocation(where_);
            QTRY_VERIFY(dm.serverAway());
            QCOMPARE(dm.callsKept(), 3);
        }
        startServer();
        auto dm = desk(where_);
        QTRY_VERIFY_WITH_TIMEOUT(dm->callsKept() == 0 && !dm->callCourier().trying(), 15000);
        QCOMPARE(serverCalls(where_), numbers(1, 3));
        QTRY_COMPARE(dm->callTable.recordCount(), 3);
    }

    void aDeskStartedWhileTheServerIsAwayConnectsByItself()
    {
        stopServer();
        DataModule dm;
        dm.callCourier().setRetryDelays(50, 400);
        dm.setDatabaseLocation(where_);
        dm.customerTable.setStatement(wholeList(QStringLiteral("客户数据")));
        dm.callTable.setStatement(wholeList(QStringLiteral("来电数据")));
        QVERIFY_THROWS_EXCEPTION(DbError, dm.customerTable.open());
        QVERIFY(dm.serverAway());
        QVERIFY(!dm.logCall(call(1)));
        startServer();
        QTRY_VERIFY_WITH_TIMEOUT(dm.customerTable.isActive() && dm.callTable.isActive(), 15000);
        QTRY_COMPARE(dm.callTable.recordCount(), 1);
        QVERIFY(dm.logCall(call(2)));
    }

    void typingOnTheCardOutlastsTheServersAbsence()
    {
        auto dm = desk(where_);
        DataSet& customers = dm->customerTable;
        customers.append();
        customers.setValue(QStringLiteral("联系人"), QStringLiteral("原来"));
        customers.post();
        customers.edit();
        customers.setValue(QStringLiteral("联系人"), QStringLiteral("改过"));
        stopServer();
        try {
            customers.post();
            QFAIL("stored on a server that is away");
        } catch (const DbError& e) {
            QVERIFY2(e.message().startsWith(Connection::serverGoneText()), qPrintable(e.message()));
        }
        QTRY_VERIFY(dm->serverAway());
        QVERIFY(!dm->logCall(call(1)));
        // Nothing reconnects on the window thread while the server is away.
        QVERIFY_THROWS_EXCEPTION(DbError, dm->callTable.reopen());

        startServer();
        QTRY_VERIFY_WITH_TIMEOUT(!dm->serverAway() && dm->callsKept() == 0, 15000);
        // The typing is still there and is stored now; the list follows.
        QCOMPARE(customers.state(), DataSet::State::Edit);
        QCOMPARE(customers.value(QStringLiteral("联系人")).toString(), QStringLiteral("改过"));
        customers.post();
        onServer(where_, [](QSqlDatabase& db) {
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("select 联系人 from 客户数据")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("改过"));
        });
        QTRY_VERIFY(dm->callTable.isActive() && dm->callTable.recordCount() == 1);
        QVERIFY(dm->logCall(call(2)));
        QCOMPARE(serverCalls(where_), numbers(1, 2));
    }

    // Each place a delivery can break off: the queue's record of the
    // server's transaction tells what to do, never doubling a call.
    void aBrokenOffDeliveryIsNeitherLostNorDoubled()
    {
        auto dm = desk(where_);  // makes the tables
        dm.reset();
        CallQueue queue(queueFile_);
        // Sent and committed, then broken off before it left the queue.
        qint64 committed = 0, aborted = 0;
        QString here;  // the server as the journal names it
        onServer(where_, [&](QSqlDatabase& db) {
            here = callqueue::serverName(where_, db, DatabaseEngine::of(db));
            for (bool commit : {true, false}) {
                QVERIFY(db.transaction());
                QSqlQuery q(db);
                const BoundStatement insert = callInsert(call(commit ? 1 : 2));
                q.prepare(insert.sql);
                for (const QVariant& v : insert.values)
                    q.addBindValue(v);
                QVERIFY(q.exec());
                QVERIFY(q.exec(QStringLiteral("select txid_current()")) && q.next());
                (commit ? committed : aborted) = q.value(0).toLongLong();
                QVERIFY(commit ? db.commit() : db.rollback());
            }
        });
        queue.add(call(1));
        queue.add(call(2));
        // A store broken off by the server going: there, and not there.
        queue.add(call(1), true);  // the same record as the first: found there
        queue.add(call(3), true);
        // A transaction the server cannot tell about: checked by the record.
        queue.add(call(4));
        // A number noted for another server: not asked here.
        queue.add(call(5));
        const QList<CallQueue::Entry> kept = queue.entries();
        QCOMPARE(kept.size(), 6);
        queue.noteTransaction(kept[0].order, committed, here);
        queue.noteTransaction(kept[1].order, aborted, here);
        queue.noteTransaction(kept[4].order, committed + 1000000, here);
        queue.noteTransaction(kept[5].order, committed, QStringLiteral("另一台服务器"));

        const callqueue::Delivery d = callqueue::deliver(queueFile_, where_, 3);
        QVERIFY2(d.error.isEmpty(), qPrintable(d.error));
        QCOMPARE(d.delivered, 6);
        QCOMPARE(queue.count(), 0);
        QCOMPARE(serverCalls(where_), numbers(1, 5));
        // Delivered again: nothing left to send, nothing doubled.
        QCOMPARE(callqueue::deliver(queueFile_, where_, 3).delivered, 0);
        QCOMPARE(serverCalls(where_).size(), 5);
    }

    void aDeliveryLeftOpenIsWaitedForThenSentOnce()
    {
        desk(where_).reset();  // makes the tables
        CallQueue queue(queueFile_);
        queue.add(call(1));
        // A delivery whose desk vanished between the insert and the commit:
        // its transaction stays open on the server.
        const std::shared_ptr<const DatabaseEngine> engine = DatabaseEngine::standard(where_);
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase gone = engine->connection(name, where_, 1000);
            engine->limitWaits(gone, 2);
            QVERIFY(gone.open() && gone.transaction());
            QSqlQuery q(gone);
            const BoundStatement insert = callInsert(call(1));
            q.prepare(insert.sql);
            for (const QVariant& v : insert.values)
                q.addBindValue(v);
            QVERIFY(q.exec());
            QVERIFY(q.exec(engine->transactionNumberStatement()) && q.next());
            queue.noteTransaction(queue.entries().first().order, q.value(0).toLongLong(),
                                  callqueue::serverName(where_, gone, *engine));

            const callqueue::Delivery d = callqueue::deliver(queueFile_, where_, 2);
            QVERIFY(d.reached && !d.lost && !d.error.isEmpty());
            QCOMPARE(d.delivered, 0);
            // The server ends the idle transaction by itself; the call is then sent, once.
            int sent = 0;
            QTRY_VERIFY_WITH_TIMEOUT((sent += callqueue::deliver(queueFile_, where_, 2).delivered) == 1, 15000);
            QCOMPARE(serverCalls(where_), QStringList{call(1).mobile});
        }
        QSqlDatabase::removeDatabase(name);
    }

    void aServerThatDoesNotAnswerIsGivenUpQuickly()
    {
        CallQueue queue(queueFile_);
        queue.add(call(1));
        // A port on this machine that takes the connection and never says a
        // word, as a server frozen mid-start.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const DatabaseLocation nowhere = DatabaseLocation::ofUri(
            QStringLiteral("postgresql://tavrin@127.0.0.1:") + QString::number(silent.serverPort()) + QStringLiteral("/x"));
        const callqueue::Delivery d = callqueue::deliver(queueFile_, nowhere, 2);
        QVERIFY(!d.reached);
        QVERIFY(!d.error.isEmpty());
        QCOMPARE(queue.count(), 1);
    }

    // A database file journals its calls too: one that is gone keeps the
    // call on this computer, says so, and takes it once it is back.
    void aDatabaseFileThatIsGoneKeepsItsCalls()
    {
        DataModule dm;
        dm.callCourier().setRetryDelays(50, 400);
        dm.customerTable.setStatement(wholeList(QStringLiteral("客户数据")));
        dm.callTable.setStatement(wholeList(QStringLiteral("来电数据")));
        dm.callTable.open();
        QVERIFY(dm.logCall(call(1)));
        QVERIFY(QFileInfo::exists(queueFile_));
        QCOMPARE(dm.callsWaiting(), 0);
        dm.connection.close();
        const QString file = programFolder() + QStringLiteral("data/web.mdb");
        QVERIFY(QFile::rename(file, file + QStringLiteral(".away")));
        QVERIFY(!dm.logCall(call(2)));
        QVERIFY(!dm.serverAway());
        QCOMPARE(dm.callsWaiting(), 1);
        QVERIFY2(dm.waitingText().startsWith(QStringLiteral("来电已记下（1 个）")), qPrintable(dm.waitingText()));
        QVERIFY(QFile::rename(file + QStringLiteral(".away"), file));
        QTRY_COMPARE_WITH_TIMEOUT(dm.callsWaiting(), 0, 15000);
        QCOMPARE(testutil::valueOf(file, QStringLiteral("select count(*) from 来电数据")).toInt(), 2);
    }
};

QTEST_MAIN(TestCallQueue)
#include "test_callqueue.moc"
