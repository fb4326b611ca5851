// A list brought up to date with the rows another desk stored: a list in
// its key's order takes in only the new rows of its statement, each at its
// place, without reading the list again; the record shown stays current and
// rows stored here are never taken in twice.  A lookup's list is read in
// one pass, with no background read of its keys.

#include <QSignalSpy>
#include <QtTest>
#include <atomic>

#include "datasettest.h"

using namespace datasettest;

namespace {

QString customer(const QString& name) { return QStringLiteral("insert into 客户数据 (联系人) values ('") + name + QStringLiteral("')"); }

QStringList names(DataSet& ds)
{
    QStringList out;
    const int field = ds.fieldIndex(QStringLiteral("联系人"));
    for (int r = 0; r < ds.rowCount(); ++r)
        out << ds.rowValue(r, field).toString();
    return out;
}

}  // namespace

class TestDataSetRefresh : public QObject, datasettest::DataSetFixture {
    Q_OBJECT

private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void newRowsTakenInAtTheirPlaceWithoutReadingTheListAgain()
    {
        for (const char* n : {"甲", "乙", "丙"})
            testutil::execute(file_, customer(QString::fromUtf8(n)));
        auto ds = openCustomers();
        const int opened = ds->openedAs();
        // Stored here: already in the list (where it was typed, at the end).
        ds->append();
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("本台"));
        ds->post();
        ds->moveTo(1);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("乙"));
        // Stored at another desk, two of them.
        testutil::execute(file_, customer(QStringLiteral("别台一")));
        testutil::execute(file_, customer(QStringLiteral("别台二")));
        QSignalSpy inserted(ds.get(), &DataSet::rowInserted);
        QSignalSpy layout(ds.get(), &DataSet::layoutChanged);
        QVERIFY(ds->refresh());
        QCOMPARE(ds->openedAs(), opened);
        QCOMPARE(layout.count(), 0);
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(names(*ds), (QStringList{QStringLiteral("别台二"), QStringLiteral("别台一"), QStringLiteral("丙"),
                                          QStringLiteral("乙"), QStringLiteral("甲"), QStringLiteral("本台")}));
        QCOMPARE(ds->recordCount(), 6);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("乙"));
        QCOMPARE(ds->recNo(), 4);
        // Nothing new: nothing changes, nothing is doubled.
        QVERIFY(ds->refresh());
        QCOMPARE(ds->recordCount(), 6);
        // A row stored here and deleted is not brought back by a refresh.
        ds->first();
        ds->remove();
        QVERIFY(ds->refresh());
        QCOMPARE(ds->recordCount(), 5);
        QCOMPARE(names(*ds).first(), QStringLiteral("别台一"));
    }

    void aSearchTakesInOnlyItsOwnRowsAndAnAscendingListAtItsEnd()
    {
        testutil::execute(file_, customer(QStringLiteral("王一")));
        Query search = Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), false);
        search.conditions = {{QStringLiteral("联系人"), QStringLiteral("like"), QStringLiteral("王%")}};
        auto ds = openCustomers(search);
        testutil::execute(file_, customer(QStringLiteral("李二")));
        testutil::execute(file_, customer(QStringLiteral("王三")));
        QVERIFY(ds->refresh());
        QCOMPARE(names(*ds), (QStringList{QStringLiteral("王一"), QStringLiteral("王三")}));
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("王一"));
    }

    void anEmptyListGetsItsFirstRowAsCurrent()
    {
        auto ds = openCustomers();
        QVERIFY(ds->isEmpty());
        testutil::execute(file_, customer(QStringLiteral("首位")));
        QVERIFY(ds->refresh());
        QCOMPARE(ds->recordCount(), 1);
        QVERIFY(!ds->eof());
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("首位"));
    }

    void aListReadAtOnceNeedsNoReaderOfItsOwn();

    void aLongListStillCountingCountsTheNewRowsOnce()
    {
        addCalls(file_, 3000);
        auto ds = std::make_unique<DataSet>(conn_.get(), QStringLiteral("calls"));
        // A search, so that the list is counted in the background.
        Query q = Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true);
        q.conditions = {{QStringLiteral("电话"), QStringLiteral("like"), QStringLiteral("0755%")}};
        ds->setQuery(q);
        ds->open();
        testutil::execute(file_, QStringLiteral("insert into 来电数据 (电话) values ('07559999')"));
        QVERIFY(ds->refresh());
        QCOMPARE(ds->waitForCount(), 3001);
        QCOMPARE(ds->text(QStringLiteral("电话")), QStringLiteral("0755" "3000"));
        ds->first();
        QCOMPARE(ds->text(QStringLiteral("电话")), QStringLiteral("07559999"));
    }
};

// The caller lookup: one statement on the window's connection, every row
// there when the open returns, nothing left to a reader of its own (which
// would have to open a connection to the server for every call).
void TestDataSetRefresh::aListReadAtOnceNeedsNoReaderOfItsOwn()
{
    addCalls(file_, 2500);
    std::atomic<int> batches{0};
    DataSet::setWorkerPauses({{}, [&](qint64) { ++batches; }});
    DataSet found(conn_.get(), QStringLiteral("lookup"));
    found.setReadAtOnce(true);
    found.setStatement(WrittenStatement::of(QStringLiteral("select * from 来电数据 where 电话 like '0755%'"),
                                            QStringLiteral("来电数据")));
    found.open();
    DataSet::setWorkerPauses({});
    QCOMPARE(batches.load(), 0);
    QVERIFY(!found.loading());
    QVERIFY(found.readsByKey());
    QCOMPARE(found.recordCount(), 2500);
    found.last();
    QCOMPARE(found.text(QStringLiteral("电话")), QStringLiteral("07552500"));
    // Its records are stored like any list's.
    found.edit();
    found.setValue(QStringLiteral("事项"), QStringLiteral("回电"));
    found.post();
    QCOMPARE(column(file_, QStringLiteral("select 事项 from 来电数据 where 电话 = '07552500'")), QStringList{"回电"});
}

QTEST_GUILESS_MAIN(TestDataSetRefresh)
#include "test_datasetrefresh.moc"
