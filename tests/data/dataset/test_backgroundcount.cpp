// The count of a long list on a connection of its own: the window goes on
// meanwhile, what is stored and deleted meanwhile is counted once, and a
// cancelled count stops where it is and is never reported.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "data/dataset/backgroundcount.h"
#include "data/connection/connection.h"
#include "data/dataset/datasettest.h"

using namespace datasettest;

namespace {
// A list that is counted: a search, not the whole table (whose length the
// database keeps, see test_rowcounts).
const WrittenStatement kSearch = WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where 联系人 is not null"),
                                                           QStringLiteral(" order by id desc"), QStringLiteral("客户数据"),
                                                           QStringLiteral("ID"), true);
}  // namespace

class TestBackgroundCount : public QObject, protected datasettest::DataSetFixture {
    Q_OBJECT
private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void cancelledCountStopsWhereItIsAndIsNeverReported()
    {
        conn_->open();
        // A count that would run for a long time.
        const QString slow = QStringLiteral(
            "with recursive c(x) as (select 1 union all select x + 1 from c where x < 2000000000) "
            "select count(*) from c");
        bool arrived = false;
        QObject context;
        {
            // A cancel that waited for the count to end would hold the test
            // until its time runs out.
            BackgroundCount count(conn_->sharedEngine(), DatabaseLocation::ofFile(file_), {slow, {}}, &context, [&] { arrived = true; });
            count.cancel();
            QCOMPARE(count.wait(), -1);
        }
        QVERIFY(testutil::runPostedEvents());
        QVERIFY(!arrived);

        // A count that ends is reported, with what it found.
        qint64 found = -2;
        BackgroundCount count(conn_->sharedEngine(), DatabaseLocation::ofFile(file_), {QStringLiteral("select count(*) from 字典"), {}}, &context,
                              [&] { arrived = true; });
        found = count.wait();
        QCOMPARE(found, 0);
        QTRY_VERIFY(arrived);
    }

    void longListCountedWhileTheWindowGoesOn()
    {
        testutil::addCustomers(file_, 5000);
        DataSet ds(conn_.get(), QStringLiteral("customers"));
        QStringList events;
        ds.setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        ds.setAfterScroll([&](DataSet& d) { events << QStringLiteral("scroll %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        QSignalSpy appended(&ds, &DataSet::rowsAppended);
        ds.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where 联系人 is not null"), QStringLiteral(" order by id desc"), QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        ds.open();
        QVERIFY(ds.countPending());
        QCOMPARE(ds.rowCount(), DataSet::kFirstKeys);
        QCOMPARE(ds.text(QStringLiteral("联系人")), QStringLiteral("客户5000"));
        QVERIFY(events.isEmpty());
        QTRY_VERIFY(!ds.countPending());
        QCOMPARE(events, (QStringList{"open 1/5000", "scroll 1/5000"}));
        QCOMPARE(appended.count(), 1);
        QCOMPARE(appended[0], (QVariantList{DataSet::kFirstKeys, 5000 - DataSet::kFirstKeys}));
        QCOMPARE(ds.rowValue(4999, 0).toLongLong(), 1);

        // Open events keep the order of the opens whichever count ends first.
        ds.close();
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        calls.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where id > 1"), QStringLiteral(" order by id desc"), QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        calls.setAfterOpen([&](DataSet&) { events << QStringLiteral("second"); });
        events.clear();
        ds.open();
        calls.open();
        calls.finishCount();
        QCOMPARE(events, (QStringList{"open 1/5000", "scroll 1/5000", "second"}));

        // A store goes ahead of the count; the stored record is counted once.
        ds.close();
        ds.open();
        QVERIFY(ds.countPending());
        ds.append();
        ds.setValue(1, QStringLiteral("新"));
        ds.post();
        QCOMPARE(ds.recordCount(), DataSet::kFirstKeys + 1);  // what is known, without waiting
        QCOMPARE(ds.waitForCount(), 5001);
        QCOMPARE(ds.recNo(), 5001);
        QCOMPARE(ds.rowValue(0, 0).toLongLong(), 5000);
        ds.close();
        ds.open();
        QCOMPARE(ds.waitForCount(), 5001);
        QCOMPARE(ds.rowValue(0, 0).toLongLong(), 5001);
    }

    void callLoggedWhileALongListIsCounted()
    {
        addCalls(file_, 5000);
        Hold hold;
        DataSet::setWorkerPauses({[&] { hold.wait(); }, {}});
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        calls.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 来电数据 where 电话 is not null"), QStringLiteral(" order by id desc"), QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        calls.open();
        QVERIFY(calls.countPending());
        QTRY_VERIFY(hold.held);
        // The call is stored while the count still runs.
        calls.append();
        calls.setValue(QStringLiteral("手机"), QStringLiteral("13800138000"));
        calls.post();
        hold.go.release();
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 来电数据 where 手机 = '13800138000'")),
                 QStringList{"1"});
        QTRY_VERIFY(!calls.countPending());
        DataSet::setWorkerPauses({});
        QVERIFY2(!hold.gaveUp, "the store waited for the count");
        // Counted once, the last row, still current.
        QCOMPARE(calls.recordCount(), 5001);
        QCOMPARE(calls.recNo(), 5001);
        QCOMPARE(calls.text(QStringLiteral("手机")), QStringLiteral("13800138000"));
        QCOMPARE(calls.rowValue(4999, 0).toLongLong(), 1);
    }

    void rowsStoredAndDeletedDuringTheCountAreCountedOnce()
    {
        testutil::addCustomers(file_, 5000);
        Hold hold;
        DataSet::setWorkerPauses({[&] { hold.wait(); }, {}});
        auto ds = openCustomers(kSearch);
        QVERIFY(ds->countPending());
        QTRY_VERIFY(hold.held);
        QVERIFY(ds->remove());  // 5000
        QVERIFY(ds->remove());  // 4999
        ds->append();
        ds->setValue(1, QStringLiteral("新一"));
        ds->post();
        QVERIFY(ds->remove());  // the new one again
        ds->insert();           // before the current row
        ds->setValue(1, QStringLiteral("新二"));
        ds->post();
        // Another program stores one too: not a row of this list.
        testutil::execute(file_, QStringLiteral("insert into 客户数据 (联系人) values ('别处')"));
        hold.go.release();
        QTRY_VERIFY(!ds->countPending());
        DataSet::setWorkerPauses({});
        QVERIFY(!hold.gaveUp);
        QCOMPARE(ds->recordCount(), 4999);
        ds->setCachedPages(2);
        QStringList expected = column(file_, QStringLiteral("select id from 客户数据 where id <= 4998 order by id desc"));
        expected.insert(expected.indexOf(QStringLiteral("3001")), QStringLiteral("5002"));  // where it was inserted
        QCOMPARE(keysOf(*ds), expected);
    }

    void rowsDeletedBeforeAndAfterTheCountTakesItsViewAreCountedOnce()
    {
        // The count's thread is slow to start (a busy machine): one row is
        // deleted before its view of the database is fixed, one after.
        testutil::addCustomers(file_, 5000);
        Hold beforeView, beforeCount;
        DataSet::setWorkerPauses({[&] { beforeCount.wait(); }, {}, [&] { beforeView.wait(); }});
        auto ds = openCustomers(kSearch);
        QVERIFY(ds->countPending());
        QTRY_VERIFY(beforeView.held);
        QVERIFY(ds->remove());  // 5000: not in the count's view
        beforeView.go.release();
        QTRY_VERIFY(beforeCount.held);
        QVERIFY(ds->remove());  // 4999: in it
        beforeCount.go.release();
        QTRY_VERIFY(!ds->countPending());
        DataSet::setWorkerPauses({});
        QVERIFY(!beforeView.gaveUp && !beforeCount.gaveUp);
        QCOMPARE(ds->recordCount(), 4998);
        QCOMPARE(ds->rowValue(4997, 0).toLongLong(), 1);
    }

    void rowsTakenOverWhileStillCountedAreCountedInTheNewSet()
    {
        // The caller lookup hands its rows to the customer list; a long
        // result may still be being counted then.
        testutil::addCustomers(file_, 5000);
        auto lookup = openCustomers(kSearch);
        QVERIFY(lookup->countPending());
        auto list = openCustomers(WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where id = 1"), QStringLiteral(" order by id desc"), QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        QStringList events;
        list->setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1").arg(d.recordCount()); });
        QVERIFY(list->reopenWith(*lookup));
        QVERIFY(!lookup->isActive());
        QVERIFY(!list->countPending());
        QCOMPARE(list->recordCount(), 5000);
        QCOMPARE(events, QStringList{"open 5000"});
        // The count sent to the lookup (it has ended: the list waited for
        // it), once its answer has been delivered, changes nothing.
        QVERIFY(testutil::runPostedEvents());
        QCOMPARE(list->recordCount(), 5000);
        list->last();
        QCOMPARE(list->rowValue(4999, 0).toLongLong(), 1);
    }
};

QTEST_MAIN(TestBackgroundCount)
#include "test_backgroundcount.moc"
