// The server the desks share: a private PostgreSQL cluster of the test's
// own.  On an empty database the program makes its tables; a database with
// tables of those names in another shape is refused; the server computes a
// number's digits exactly as the program does; and a call goes its whole way
// (logged, the caller looked up) through the data module on the server.

#include <QDateTime>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "data/lists/reopen.h"
#include "data/module/datamodule.h"
#include "data/engine/dberror.h"
#include "rules/calls/callrules.h"
#include "testpg.h"

namespace {

// Runs statements on a database of the server through a connection of its own.
QVariant onServer(const testutil::PrivatePostgres& server, const QString& database, const QString& sql,
                  const QVariantList& values = {})
{
    QVariant out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("direct"));
        db.setHostName(server.host());
        db.setPort(server.port());
        db.setUserName(server.user());
        db.setDatabaseName(database);
        if (!db.open())
            qFatal("no connection: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        bool ok = values.isEmpty() ? q.exec(sql) : q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!values.isEmpty())
            ok = ok && q.exec();
        if (!ok)
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        if (q.next())
            out = q.value(0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("direct"));
    return out;
}

}  // namespace

class TestPostgres : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;

    DatabaseLocation freshDatabase(const QString& name)
    {
        if (!server_->createDatabase(name))
            qFatal("%s", qPrintable(server_->error()));
        return DatabaseLocation::ofUri(server_->uri(name));
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void anEmptyDatabaseGetsTheTablesOnce()
    {
        Connection c(QStringLiteral("c"));
        c.setLocation(freshDatabase(QStringLiteral("空库")));
        c.open();
        QCOMPARE(c.engine().kind(), DatabaseLocation::Kind::Server);
        QSqlQuery q(c.database());
        // Every column the program uses, spelled as its statements spell them.
        QVERIFY2(q.exec(QStringLiteral("insert into 客户数据 (联系人, 电话, 手机, 宅电, 公司名称, 地址, EMAIL, QQ, MSN, 网址, "
                                       "部门, 职务, 分类1, 分类2, 邮编, 事项, 答复) values ('a', '', '', '', '', '', '', "
                                       "'', '', '', '', '', '', '', '', '', '')")),
                 qPrintable(q.lastError().text()));
        QVERIFY(q.exec(QStringLiteral("insert into 来电数据 (电话, 手机, 日期, 时间, 联系人, 宅电, 公司名称, 地址, email, qq, msn, "
                                      "网址, 部门, 职务, 分类1, 分类2, 邮编, 事项, 答复) values ('1', '', '2026-1-2', '9:00:00', "
                                      "'', '', '', '', '', '', '', '', '', '', '', '', '', '', '')")));
        QVERIFY(q.exec(QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '销售')")));
        QVERIFY(q.exec(QStringLiteral("select ID from 客户数据 order by id desc")) && q.next());
        QCOMPARE(q.value(0).toLongLong(), 1);
        // The caller lookup's index is there and complete.
        QVERIFY(c.hasNumberIndex());
        q.finish();
        // Opened again: nothing made twice, nothing lost.
        c.close();
        c.open();
        QVERIFY(q.exec(QStringLiteral("select count(*) from 客户数据")) && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
    }

    // 停止 on long work reaches the server: the statement is cancelled.
    void aStatementIsInterruptedFromAnotherThread()
    {
        Connection c(QStringLiteral("c"));
        c.setLocation(freshDatabase(QStringLiteral("停止")));
        c.open();
        const std::function<void()> interrupt = c.engine().interrupter(c.database());
        QVERIFY(interrupt);
        // Asked again and again until the statement has ended: an interrupt
        // that comes before the statement starts is lost, whatever the load.
        std::atomic<bool> ended{false};
        std::thread stopper([&] {
            while (!ended) {
                interrupt();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        QSqlQuery q(c.database());
        const bool ran = q.exec(QStringLiteral("select pg_sleep(60)"));
        ended = true;
        stopper.join();
        QVERIFY(!ran);
        QCOMPARE(q.lastError().nativeErrorCode(), QStringLiteral("57014"));  // query_canceled
    }

    // A statement on a connection being opened anew (the server went away)
    // fails with words the operator understands, not with an empty box.
    void aStatementOnAClosedConnectionSaysTheServerIsAway()
    {
        Connection c(QStringLiteral("c"));
        c.setLocation(freshDatabase(QStringLiteral("关闭")));
        c.open();
        QSqlDatabase db = c.database();
        db.close();
        QSqlQuery q(db);
        QVERIFY(!q.exec(QStringLiteral("select 1")));
        QCOMPARE(c.failure(q).message(), Connection::serverGoneText());
    }

    void tablesOfAnotherShapeAreRefused()
    {
        const DatabaseLocation other = freshDatabase(QStringLiteral("别的"));
        onServer(*server_, QStringLiteral("别的"), QStringLiteral("create table 客户数据 (id integer, 名称 text, 手机 text)"));
        Connection c(QStringLiteral("c"));
        c.setLocation(other);
        try {
            c.open();
            QFAIL("a database of another program was taken");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("“客户数据”，但它的结构与本程序的不同")), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("缺少列 联系人、电话、宅电")));
        }
        QVERIFY(!c.isConnected());
        // Nothing was made beside it.
        QCOMPARE(onServer(*server_, QStringLiteral("别的"), QStringLiteral("select to_regclass('来电数据') is null")).toBool(), true);

        // A key that is not a number is another shape too.
        const DatabaseLocation keyed = freshDatabase(QStringLiteral("文本键"));
        onServer(*server_, QStringLiteral("文本键"), QStringLiteral("create table 字典 (id text, 项目 text, 内容 text)"));
        c.setLocation(keyed);
        try {
            c.open();
            QFAIL("a dictionary with a text key was taken");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("列 ID 的类型不对")), qPrintable(e.message()));
        }
    }

    void theServerTakesTheDigitsAsTheProgramDoes()
    {
        Connection c(QStringLiteral("c"));
        c.setLocation(freshDatabase(QStringLiteral("数字")));
        c.open();
        QStringList numbers = {QString(), "", "abc", "+", "+86", "86", "0086", "+86 571 8888 7777", "0086-21-12345678",
                               "+8613912345678", "0086 139 1234 5678", "+86 10 1234", "8613912345678", "＋８６ １３９１２３４５６７８",
                               "１３９ａ１２３", "(0571) 8888-7777转123", "+ 86 12", "1+86", "+0086 21 1", "+86 12345678901",
                               "+86 13", "０", "+86 0571 1"};
        QRandomGenerator r(3);
        const QString alphabet = QStringLiteral("0123456789０１２３４５６７８９+＋- ()转a'%_８６");
        for (int i = 0; i < 400; ++i) {
            QString s;
            const int len = r.bounded(16);
            for (int k = 0; k < len; ++k)
                s += alphabet.at(r.bounded(int(alphabet.size())));
            numbers << s;
        }
        QSqlQuery q(c.database());
        QVERIFY(q.prepare(QStringLiteral("select phone_digits(?)")));
        for (const QString& n : numbers) {
            q.addBindValue(n.isNull() ? QVariant() : QVariant(n));
            QVERIFY2(q.exec() && q.next(), qPrintable(q.lastError().text()));
            if (n.isNull())
                QVERIFY(q.value(0).isNull());
            else
                QVERIFY2(q.value(0).toString() == numberDigits(n),
                         qPrintable(n + QStringLiteral(": ") + q.value(0).toString() + QStringLiteral(" / ") + numberDigits(n)));
        }
    }

    void aCallIsLoggedAndItsCallerFoundOnTheServer()
    {
        DataModule dm;
        dm.setDatabaseLocation(freshDatabase(QStringLiteral("来电")));
        dm.customerTable.setStatement(wholeList(QStringLiteral("客户数据")));
        dm.customerTable.open();
        dm.callTable.setStatement(wholeList(QStringLiteral("来电数据")));
        dm.callTable.open();
        QCOMPARE(dm.connection.engine().kind(), DatabaseLocation::Kind::Server);

        // A customer stored through the card's data set gets its key.
        dm.customerTable.append();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("王先生"));
        dm.customerTable.setValue(QStringLiteral("手机"), QStringLiteral("139-1234-5678"));
        dm.customerTable.post();
        QCOMPARE(dm.customerTable.value(QStringLiteral("ID")).toLongLong(), 1);
        dm.customerTable.append();
        dm.customerTable.setValue(QStringLiteral("电话"), QStringLiteral("0571-8888 7777"));
        dm.customerTable.post();
        QCOMPARE(dm.customerTable.value(QStringLiteral("ID")).toLongLong(), 2);

        // The call: stored at once, the card's record is the new row.
        QSignalSpy position(&dm, &DataModule::recordPosition);
        QVERIFY(dm.logCall(callRecord(QStringLiteral("+86 139 1234 5678"), QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7)))));
        QCOMPARE(dm.callTable.value(QStringLiteral("手机")).toString(), QStringLiteral("+86 139 1234 5678"));
        QCOMPARE(dm.callTable.value(QStringLiteral("日期")).toString(), QStringLiteral("2026-3-4"));
        QCOMPARE(dm.callTable.value(QStringLiteral("ID")).toLongLong(), 1);
        QCOMPARE(position.last().first().toString(), QStringLiteral("1/1"));
        QCOMPARE(onServer(*server_, QStringLiteral("来电"), QStringLiteral("select 时间 from 来电数据 where id = 1")).toString(),
                 QStringLiteral("9:05:07"));

        // The lookup as the call handling runs it: through the index, and
        // without it, the same customer.
        QVERIFY(dm.connection.hasNumberIndex());
        dm.lookupTable.setStatement(WrittenStatement::of(indexedLookupStatement(QStringLiteral("+86 139 1234 5678")), QStringLiteral("客户数据")));
        dm.lookupTable.open();
        QCOMPARE(dm.lookupTable.recordCount(), 1);
        QCOMPARE(dm.lookupTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("王先生"));
        dm.lookupTable.reopen(WrittenStatement::of(digitsLookupStatement(QStringLiteral("13912345678")), QStringLiteral("客户数据")));
        QCOMPARE(dm.lookupTable.recordCount(), 1);
        // A fixed line with its area code finds the one stored with separators.
        dm.lookupTable.reopen(WrittenStatement::of(indexedLookupStatement(QStringLiteral("057188887777")), QStringLiteral("客户数据")));
        QCOMPARE(dm.lookupTable.recordCount(), 1);
        QCOMPARE(dm.lookupTable.value(QStringLiteral("ID")).toLongLong(), 2);
        // No match: nothing, not an error.
        dm.lookupTable.reopen(WrittenStatement::of(indexedLookupStatement(QStringLiteral("13800000000")), QStringLiteral("客户数据")));
        QCOMPARE(dm.lookupTable.recordCount(), 0);
        dm.lookupTable.reopen(WrittenStatement::of(indexedLookupStatement(QStringLiteral("0571")), QStringLiteral("客户数据")));
        QCOMPARE(dm.lookupTable.recordCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPostgres)
#include "test_postgres.moc"
