// Two desks on one server, each with its own data module (its own
// connection): a call logged at one reaches the other's call list and record
// position without anybody asking, the other desk stays on the record it
// shows, typing there is never interrupted, and a customer stored at one
// desk is what the next lookup at the other finds.

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

#include "data/lists/reopen.h"
#include "data/module/datamodule.h"
#include "data/engine/dberror.h"
#include "data/numbers/callhistory.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"

namespace {

auto desk(const DatabaseLocation& where) { return testutil::openDesk(where); }

CallRecord call(const QString& number) { return callRecord(number, QDateTime(QDate(2026, 5, 6), QTime(10, 0, 0))); }

}  // namespace

class TestDesks : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    DatabaseLocation where_;

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void init()
    {
        static int n = 0;
        const QString name = QStringLiteral("前台") + QString::number(++n);
        QVERIFY(server_->createDatabase(name));
        where_ = DatabaseLocation::ofUri(server_->uri(name));
    }

    void aCallReachesTheOtherDesk()
    {
        auto a = desk(where_);
        auto b = desk(where_);
        QSignalSpy positionAtB(b.get(), &DataModule::recordPosition);
        QSignalSpy toldA(&a->connection, &Connection::storedElsewhere);
        QVERIFY(a->logCall(call(QStringLiteral("13911112222"))));
        QSignalSpy positionAtA(a.get(), &DataModule::recordPosition);
        QTRY_COMPARE(b->callTable.recordCount(), 1);
        QCOMPARE(b->callTable.value(QStringLiteral("手机")).toString(), QStringLiteral("13911112222"));
        QCOMPARE(positionAtB.last().first().toString(), QStringLiteral("1/1"));
        // The desk's own call does not read its list anew: the other desk's
        // next call, told after it, is the first this desk hears of.
        QVERIFY(b->logCall(call(QStringLiteral("13933334444"))));
        const qint64 sentinel = b->callTable.value(QStringLiteral("ID")).toLongLong();
        QTRY_VERIFY(!toldA.isEmpty() && toldA.last().at(1).toLongLong() == sentinel);
        QCOMPARE(toldA.count(), 1);
        QTRY_COMPARE(a->callTable.recordCount(), 2);
        QVERIFY(!positionAtA.isEmpty());
        for (const QList<QVariant>& position : positionAtA)
            QVERIFY2(position.first().toString().endsWith(QStringLiteral("/2")), qPrintable(position.first().toString()));

        // A customer stored at one desk is found at the other.
        a->customerTable.append();
        a->customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("赵"));
        a->customerTable.setValue(QStringLiteral("宅电"), QStringLiteral("021-6666 5555"));
        a->customerTable.post();
        b->lookupTable.setStatement(WrittenStatement::of(indexedLookupStatement(QStringLiteral("02166665555")), QStringLiteral("客户数据")));
        b->lookupTable.open();
        QCOMPARE(b->lookupTable.recordCount(), 1);
        QCOMPARE(b->lookupTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("赵"));
    }

    // Names the server folds (ID, EMAIL) are spelled as the program spells
    // them: the earlier calls of a caller are read on a server as on a file.
    void earlierCallsAreReadOnTheServer()
    {
        auto a = desk(where_);
        QVERIFY(a->logCall(call(QStringLiteral("13911112222"))));
        QVERIFY(a->logCall(call(QStringLiteral("13933334444"))));
        QVERIFY(a->logCall(call(QStringLiteral("13911112222"))));
        const qint64 last = a->callTable.value(QStringLiteral("ID")).toLongLong();
        const CallHistory h = earlierCalls(a->connection.database(), {QStringLiteral("139-1111-2222")}, last);
        QCOMPARE(h.count, 1);
        QCOMPARE(h.calls.size(), 1);
        QVERIFY(h.calls[0].id < last);
        // A list in the order of its key, searched and stored into by name.
        a->customerTable.append();
        a->customerTable.setValue(QStringLiteral("EMAIL"), QStringLiteral("a@b.cn"));
        a->customerTable.post();
        QVERIFY(a->customerTable.reopen(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true)));
        QCOMPARE(a->customerTable.text(QStringLiteral("EMAIL")), QStringLiteral("a@b.cn"));
    }

    // A desk whose connection was opened anew (the server came back) hears
    // of another desk's call once, not once for every opening.
    void aCallIsToldOnceAfterTheConnectionWasOpenedAgain()
    {
        auto a = desk(where_);
        auto b = desk(where_);
        for (int i = 0; i < 2; ++i) {
            b->connection.close();
            b->connection.open();
        }
        QSignalSpy told(&b->connection, &Connection::storedElsewhere);
        QVERIFY(a->logCall(call(QStringLiteral("13955556666"))));
        const qint64 first = a->callTable.value(QStringLiteral("ID")).toLongLong();
        QTRY_COMPARE(told.count(), 1);
        // Told after it, the next call shows whether the first came twice.
        QVERIFY(a->logCall(call(QStringLiteral("13955557777"))));
        const qint64 next = a->callTable.value(QStringLiteral("ID")).toLongLong();
        QTRY_VERIFY(told.last().at(1).toLongLong() == next);
        QCOMPARE(told.count(), 2);
        QCOMPARE(told.first().at(1).toLongLong(), first);
    }

    void theOtherDeskStaysOnItsRecord()
    {
        auto a = desk(where_);
        auto b = desk(where_);
        for (const char* n : {"1", "2", "3"})
            QVERIFY(a->logCall(call(QStringLiteral("1390000000") + QLatin1String(n))));
        QTRY_COMPARE(b->callTable.recordCount(), 3);
        b->callTable.moveTo(1);  // the second newest: ...02
        QCOMPARE(b->callTable.value(QStringLiteral("手机")).toString(), QStringLiteral("13900000002"));
        QSignalSpy positionAtB(b.get(), &DataModule::recordPosition);
        QVERIFY(a->logCall(call(QStringLiteral("13900000004"))));
        QTRY_COMPARE(b->callTable.recordCount(), 4);
        QCOMPARE(b->callTable.value(QStringLiteral("手机")).toString(), QStringLiteral("13900000002"));
        QCOMPARE(positionAtB.last().first().toString(), QStringLiteral("3/4"));
    }

    void aSecondStoreOverAnotherDesksIsRefused()
    {
        auto a = desk(where_);
        a->customerTable.append();
        a->customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("原来"));
        a->customerTable.setValue(QStringLiteral("电话"), QStringLiteral("010-1"));
        a->customerTable.post();
        auto b = desk(where_);
        QCOMPARE(b->customerTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("原来"));

        // Both desks edit the same customer; the first store wins.
        a->customerTable.edit();
        b->customerTable.edit();
        a->customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("甲改的"));
        a->customerTable.post();
        b->customerTable.setValue(QStringLiteral("地址"), QStringLiteral("乙填的地址"));
        try {
            b->customerTable.post();
            QFAIL("stored over the other desk's change");
        } catch (const DbError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("另一台电脑在您修改的同时保存了这条记录，您的修改没有保存。")),
                     qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("联系人：甲改的")));
        }
        // Nothing stored; what was typed is still there, the rest is theirs.
        QCOMPARE(b->customerTable.state(), DataSet::State::Edit);
        QCOMPARE(b->customerTable.value(QStringLiteral("地址")).toString(), QStringLiteral("乙填的地址"));
        QCOMPARE(b->customerTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("甲改的"));
        b->lookupTable.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据"), QStringLiteral(" order by id"), QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        b->lookupTable.open();
        QVERIFY(b->lookupTable.value(QStringLiteral("地址")).isNull());
        QCOMPARE(b->lookupTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("甲改的"));
        // Stored again, knowingly: both changes are kept.
        b->customerTable.post();
        b->lookupTable.reopen(WrittenStatement::ordered(QStringLiteral("select * from 客户数据"), QStringLiteral(" order by id"), QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        QCOMPARE(b->lookupTable.value(QStringLiteral("地址")).toString(), QStringLiteral("乙填的地址"));
        QCOMPARE(b->lookupTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("甲改的"));

        // Removed at one desk while edited at the other: nothing stored, the
        // typing kept, cancel shows nothing of it.
        b->customerTable.edit();
        b->customerTable.setValue(QStringLiteral("电话"), QStringLiteral("020-2"));
        QVERIFY(QSqlQuery(a->connection.database()).exec(QStringLiteral("delete from 客户数据")));
        try {
            b->customerTable.post();
            QFAIL("stored into a removed record");
        } catch (const DbError& e) {
            QVERIFY(e.message().startsWith(QStringLiteral("另一台电脑已经删除了这条记录")));
        }
        QCOMPARE(b->customerTable.value(QStringLiteral("电话")).toString(), QStringLiteral("020-2"));
        b->customerTable.cancel();
        QCOMPARE(b->customerTable.state(), DataSet::State::Browse);
    }

    void typingAtTheOtherDeskIsNotInterrupted()
    {
        auto a = desk(where_);
        auto b = desk(where_);
        QVERIFY(a->logCall(call(QStringLiteral("13900000001"))));
        QTRY_COMPARE(b->callTable.recordCount(), 1);
        b->callTable.edit();
        b->callTable.setValue(QStringLiteral("联系人"), QStringLiteral("正在输入"));
        QSignalSpy told(&b->connection, &Connection::storedElsewhere);
        QVERIFY(a->logCall(call(QStringLiteral("13900000002"))));
        // Told of the call, and past the list's attempt to read it.
        QVERIFY(told.wait(30000));
        QVERIFY(testutil::runPostedEvents());
        QCOMPARE(b->callTable.state(), DataSet::State::Edit);
        QCOMPARE(b->callTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("正在输入"));
        // Once stored, the list catches up, on the edited record.
        b->callTable.post();
        QTRY_COMPARE(b->callTable.recordCount(), 2);
        QCOMPARE(b->callTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("正在输入"));
        QCOMPARE(b->callTable.value(QStringLiteral("手机")).toString(), QStringLiteral("13900000001"));
    }
};

QTEST_GUILESS_MAIN(TestDesks)
#include "test_desks.moc"
