// The delivery of kept calls at the moments where it can go wrong, brought
// about from outside the program: a commit the server applied whose answer
// never came back, and a call kept while a delivery is under way.  Each call
// arrives on the server exactly once, and none stays behind.

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>
#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "data/module/datamodule.h"
#include "data/engine/engine.h"
#include "data/calls/callcourier.h"
#include "data/calls/callqueue.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"

namespace {

CallRecord call(int n)
{
    return callRecord(QStringLiteral("1380000%1").arg(n, 4, 10, QLatin1Char('0')),
                      QDateTime(QDate(2026, 6, 1), QTime(9, 0, n % 60)));
}

// Stands between the program and the server on a port of its own and
// passes everything on both ways.  Armed, it ends the first connection that
// inserted a call right after the server answered its COMMIT, without
// handing that answer on: the server has applied the commit, the program
// never hears so (a network gone at the worst moment).
class CommitAnswerDropper {
public:
    explicit CommitAnswerDropper(int serverPort) : serverPort_(serverPort)
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
            pipe(wake_) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~CommitAnswerDropper()
    {
        stop_ = true;
        if (thread_.joinable()) {
            const char c = 0;
            (void)!write(wake_[1], &c, 1);
            thread_.join();
        }
        for (int fd : {listener_, wake_[0], wake_[1]})
            if (fd >= 0)
                close(fd);
    }
    int port() const { return port_; }
    void arm() { armed_ = true; }
    bool dropped() const { return dropped_; }

private:
    struct Pair {
        int client, server;
        bool inserted = false;  // the client sent an insert of a call
    };

    static sockaddr_in loopback(int port)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(port));
        return a;
    }

    void run()
    {
        std::vector<Pair> pairs;
        while (!stop_) {
            std::vector<pollfd> fds{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (const Pair& p : pairs) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
            if (poll(fds.data(), fds.size(), -1) < 0)
                continue;
            if (fds[1].revents & POLLIN)
                accept1(&pairs);
            for (std::size_t i = 0; i < pairs.size();) {
                const short fromClient = fds[2 + 2 * i].revents, fromServer = fds[3 + 2 * i].revents;
                if (pass(pairs[i], fromClient, fromServer)) {
                    ++i;
                    continue;
                }
                close(pairs[i].client);
                close(pairs[i].server);
                pairs.erase(pairs.begin() + std::ptrdiff_t(i));
                fds.erase(fds.begin() + std::ptrdiff_t(2 + 2 * i), fds.begin() + std::ptrdiff_t(4 + 2 * i));
            }
        }
        for (const Pair& p : pairs) {
            close(p.client);
            close(p.server);
        }
    }

    void accept1(std::vector<Pair>* pairs)
    {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in a = loopback(serverPort_);
        if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            close(client);
            if (server >= 0)
                close(server);
            return;
        }
        pairs->push_back({client, server});
    }

    // Passes on what came; false when the pair is to be closed.
    bool pass(Pair& p, short fromClient, short fromServer)
    {
        char buffer[65536];
        if (fromClient & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = read(p.client, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            const QByteArray sent(buffer, n);
            if (sent.contains(QByteArrayLiteral("insert into 来电数据")))
                p.inserted = true;
            if (!writeAll(p.server, sent))
                return false;
        }
        if (fromServer & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = read(p.server, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            const QByteArray answer(buffer, n);
            // CommandComplete "COMMIT": the server has committed.
            static const QByteArray committed("C\0\0\0\x0b" "COMMIT\0", 12);
            if (p.inserted && answer.contains(committed) && armed_.exchange(false)) {
                dropped_ = true;
                return false;
            }
            if (!writeAll(p.client, answer))
                return false;
        }
        return true;
    }

    static bool writeAll(int fd, const QByteArray& data)
    {
        for (qsizetype done = 0; done < data.size();) {
            const ssize_t n = write(fd, data.constData() + done, size_t(data.size() - done));
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    int serverPort_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> armed_{false}, dropped_{false}, stop_{false};
    std::thread thread_;
};

}  // namespace

class TestCallDelivery : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QString database_;
    DatabaseLocation where_;
    QString queueFile_;

    // A connection of the test's own to the server, for `f`.
    template <class F>
    void onServer(F f)
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = DatabaseEngine::standard(where_)->connection(name, where_, 1000);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            f(db);
        }
        QSqlDatabase::removeDatabase(name);
    }
    // The numbers of the calls on the server, oldest first.
    QStringList serverCalls()
    {
        QStringList out;
        onServer([&](QSqlDatabase& db) {
            QSqlQuery q(db);
            QVERIFY2(q.exec(QStringLiteral("select 手机 from 来电数据 order by id")), qPrintable(q.lastError().text()));
            while (q.next())
                out << q.value(0).toString();
        });
        return out;
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void init()
    {
        static int n = 0;
        database_ = QStringLiteral("送达") + QString::number(++n);
        QVERIFY2(server_->createDatabase(database_), qPrintable(server_->error()));
        where_ = DatabaseLocation::ofUri(server_->tcpUri(database_));
        testutil::makeProgramFolder();
        queueFile_ = CallQueue::standardPath();
        testutil::openDesk(where_).reset();  // the tables, as a desk makes them
    }

    // The commit reached the server and was applied, but its answer was
    // lost: the call stays kept, and the next delivery finds it on the
    // server by the transaction noted before the commit instead of sending
    // it a second time.
    void aCommitWhoseAnswerIsLostIsNotSentAgain()
    {
        CommitAnswerDropper proxy(server_->port());
        QVERIFY(proxy.port() > 0);
        const DatabaseLocation viaProxy = DatabaseLocation::ofUri(
            QStringLiteral("postgresql://") + server_->user() + QStringLiteral("@127.0.0.1:") +
            QString::number(proxy.port()) + QLatin1Char('/') + database_);
        CallQueue queue(queueFile_);
        queue.add(call(1));
        proxy.arm();
        const callqueue::Delivery broken = callqueue::deliver(queueFile_, viaProxy, 3);
        QVERIFY(proxy.dropped());
        QVERIFY(broken.reached);
        QVERIFY(!broken.error.isEmpty());
        QCOMPARE(broken.delivered, 0);
        QCOMPARE(queue.count(), 1);
        QCOMPARE(serverCalls(), QStringList{call(1).mobile});

        queue.add(call(2));
        const callqueue::Delivery again = callqueue::deliver(queueFile_, viaProxy, 3);
        QVERIFY2(again.error.isEmpty(), qPrintable(again.error));
        QCOMPARE(again.delivered, 2);
        QCOMPARE(queue.count(), 0);
        QCOMPARE(serverCalls(), (QStringList{call(1).mobile, call(2).mobile}));
    }

    // A call kept while a delivery is writing the calls before it goes to
    // the server by itself as soon as that delivery ends: no further call
    // or restart is needed to bring it there.
    void aCallKeptDuringADeliveryFollowsIt()
    {
        CallCourier courier;
        courier.setRetryDelays(50, 400);
        courier.setQueuePath(queueFile_);
        courier.setLocation(where_);
        // The server never went away: the calls are told as moved in.
        QSignalSpy back(&courier, &CallCourier::movedIn);
        onServer([&](QSqlDatabase& db) {
            // A call written to the table waits on the server until the
            // test lets it go (no lock: the desk's lock wait is short).
            QSqlQuery q(db);
            for (const char* statement :
                 {"create table 放行 (x integer)",
                  "create function 等放行() returns trigger language plpgsql as $$ begin "
                  "while not exists (select 1 from 放行) loop perform pg_sleep(0.01); end loop; "
                  "return new; end $$",
                  "create trigger 等放行 before insert on 来电数据 for each row execute function 等放行()"})
                QVERIFY2(q.exec(QString::fromUtf8(statement)), qPrintable(q.lastError().text()));
            courier.keep(call(1), false);
            QVERIFY(courier.trying());
            QTRY_VERIFY_WITH_TIMEOUT(q.exec(QStringLiteral("select count(*) from pg_stat_activity where "
                                                           "wait_event = 'PgSleep' and datname = current_database()")) &&
                                         q.next() && q.value(0).toInt() == 1,
                                     30000);
            // The delivery has read the queue and waits to write the first.
            courier.keep(call(2), false);
            QCOMPARE(courier.waiting(), 2);
            QVERIFY(courier.trying());
            QVERIFY2(q.exec(QStringLiteral("insert into 放行 values (1)")), qPrintable(q.lastError().text()));
        });
        if (QTest::currentTestFailed())
            return;
        QVERIFY(back.wait(30000));
        QCOMPARE(courier.waiting(), 0);
        QCOMPARE(CallQueue(queueFile_).count(), 0);
        QCOMPARE(serverCalls(), (QStringList{call(1).mobile, call(2).mobile}));
        QCOMPARE(back.last().first().toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestCallDelivery)
#include "test_calldelivery.moc"
