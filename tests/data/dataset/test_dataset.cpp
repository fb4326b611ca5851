// The data set as the windows use it: positions, moves, storing, deleting,
// events and the connection underneath, against a real database file.

#include <QDir>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "rules/errors/errorreport.h"
#include "data/work/backgroundwork.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "testdb.h"
#include "data/dataset/datasettest.h"

using namespace datasettest;


class TestDataSet : public QObject, protected datasettest::DataSetFixture {
    Q_OBJECT
private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void emptyTablePositionAndEvents()
    {
        DataSet ds(conn_.get(), QStringLiteral("customers"));
        ds.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        QStringList events;
        ds.setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        ds.setAfterScroll([&](DataSet& d) { events << QStringLiteral("scroll %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        ds.open();
        QCOMPARE(events, (QStringList{QStringLiteral("open -1/0"), QStringLiteral("scroll -1/0")}));
        QVERIFY(ds.eof() && ds.bof() && ds.isEmpty());
        QCOMPARE(ds.fieldNames().first(), QStringLiteral("ID"));
        QCOMPARE(ds.fieldNames().size(), 18);
        QCOMPARE(ds.text(QStringLiteral("联系人")), QString());
    }

    void fieldsByNameIgnoreCase()
    {
        testutil::addCustomers(file_, 1);
        auto ds = openCustomers();
        QCOMPARE(ds->findField(QStringLiteral("email")), ds->findField(QStringLiteral("EMAIL")));
        QCOMPARE(ds->value(QStringLiteral("id")).toInt(), 1);
        try {
            ds->text(QStringLiteral("没有"));
            QFAIL("no error for a missing field");
        } catch (const DbError& e) {
            QCOMPARE(e.message(), QStringLiteral("customers: Field '没有' not found"));
        }
    }

    void movesAcrossPages()
    {
        testutil::addCustomers(file_, 250);
        auto ds = openCustomers();
        ds->setCachedPages(1);  // every page boundary refetches
        QStringList scrolls;
        ds->setAfterScroll([&](DataSet& d) { scrolls << QString::number(d.recNo()); });
        QCOMPARE(ds->recordCount(), 250);
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户250"));
        ds->moveBy(150);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户100"));
        ds->last();
        QVERIFY(ds->eof());
        QCOMPARE(ds->recNo(), 250);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户1"));
        ds->next();  // at the end: stays, still eof
        QCOMPARE(ds->recNo(), 250);
        ds->prior();
        QVERIFY(!ds->eof());
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户2"));
        ds->first();
        QVERIFY(ds->bof());
        ds->prior();  // at the start: no move, no scroll event
        QCOMPARE(scrolls, (QStringList{"151", "250", "249", "1"}));
        // A grid reading rows far apart sees each at its place.
        QCOMPARE(ds->rowValue(0, 1).toString(), QStringLiteral("客户250"));
        QCOMPARE(ds->rowValue(249, 1).toString(), QStringLiteral("客户1"));
        QCOMPARE(ds->rowValue(101, 1).toString(), QStringLiteral("客户149"));
    }

    void appendAndInsertStoreWhereTheyStand()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        ds->append();
        QCOMPARE(ds->recNo(), -1);
        QCOMPARE(ds->rowCount(), 4);
        QVERIFY(ds->isInsertRow(3));
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("张三"));
        ds->post();
        QCOMPARE(ds->recNo(), 4);
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("张三"));
        QCOMPARE(column(file_, QStringLiteral("select 联系人 from 客户数据 where id = 4")), QStringList{"张三"});

        ds->moveTo(1);
        ds->insert();
        QVERIFY(ds->isInsertRow(1));
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("李四"));
        ds->post();
        QCOMPARE(ds->recNo(), 2);
        QCOMPARE(ds->rowValue(2, 1).toString(), QStringLiteral("客户2"));
        QCOMPARE(ds->recordCount(), 5);
    }

    void cancelReturnsToWhereItWas()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        ds->moveTo(1);
        ds->append();
        ds->cancel();
        QCOMPARE(ds->recNo(), 3);  // an abandoned append leaves the last record current
        ds->moveTo(1);
        ds->insert();
        ds->cancel();
        QCOMPARE(ds->recNo(), 2);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"3"});
    }

    void movePostsChangedAndDropsUnchanged()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        ds->edit();
        ds->setValue(QStringLiteral("电话"), QStringLiteral("123"));
        ds->next();
        QCOMPARE(ds->state(), DataSet::State::Browse);
        QCOMPARE(column(file_, QStringLiteral("select 电话 from 客户数据 where id = 3")), QStringList{"123"});
        ds->edit();
        ds->next();  // unchanged edit: nothing written
        QCOMPARE(ds->state(), DataSet::State::Browse);
        QCOMPARE(ds->recNo(), 3);
        ds->append();
        ds->first();  // unchanged new record: abandoned
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"3"});
        // Values are read back from the data set after the store.
        QCOMPARE(ds->text(QStringLiteral("电话")), QStringLiteral("123"));
    }

    // A new record whose fields are all empty when it would be stored (a
    // letter typed and erased, spaces only) is dropped, by post() and by a
    // move alike; one with anything in it is stored.
    void editOnEmptyStartsNewRecordAndPostStoresIt()
    {
        auto ds = openCustomers();
        ds->edit();
        QCOMPARE(ds->state(), DataSet::State::Insert);
        ds->post();
        QCOMPARE(ds->state(), DataSet::State::Browse);
        QCOMPARE(ds->recordCount(), 0);
        ds->append();
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("x"));
        ds->setValue(QStringLiteral("联系人"), QString());
        ds->setValue(QStringLiteral("地址"), QStringLiteral("  "));
        QVERIFY(ds->isModified());
        ds->checkBrowseMode();
        QCOMPARE(ds->recordCount(), 0);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"0"});
        ds->edit();
        ds->setValue(QStringLiteral("事项"), QStringLiteral("要报价"));
        ds->post();
        QCOMPARE(ds->recordCount(), 1);
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"1"});
        ds->post();  // browsing: nothing
        QCOMPARE(ds->recordCount(), 1);
    }

    void deleteRules()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        int asked = 0;
        bool answer = false;
        ds->setBeforeDelete([&](DataSet&) { ++asked; return answer; });

        QVERIFY(!ds->remove());  // cancelled: silently stays
        QCOMPARE(asked, 1);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(ds->recNo(), 1);

        answer = true;
        ds->moveTo(1);
        QVERIFY(ds->remove());
        QCOMPARE(ds->recNo(), 2);  // the one after the deleted one
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户1"));
        QVERIFY(ds->remove());  // the last one: the new last is current
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(column(file_, QStringLiteral("select 联系人 from 客户数据")), QStringList{"客户3"});

        ds->append();
        QVERIFY(ds->remove());  // a new record is abandoned without a question
        QCOMPARE(asked, 3);
        QVERIFY(ds->remove());
        QVERIFY(ds->isEmpty());
        try {
            ds->remove();
            QFAIL("deleting from an empty data set must fail");
        } catch (const DbError& e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on an empty dataset"));
        }
    }

    void closeDiscardsPendingEdit()
    {
        testutil::addCustomers(file_, 1);
        auto ds = openCustomers();
        ds->edit();
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("改了"));
        ds->close();
        ds->open();
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("客户1"));
    }

    void afterInsertFillsTheNewRecord()
    {
        DataSet dictionaryTable(conn_.get(), QStringLiteral("dictionary"));
        dictionaryTable.setStatement(WrittenStatement::of(QStringLiteral("Select * from 字典\r\nwhere 项目 = '部门'\r\n"), QStringLiteral("字典")));
        dictionaryTable.setAfterInsert([](DataSet& d) { d.setValue(QStringLiteral("项目"), QStringLiteral("部门")); });
        dictionaryTable.open();
        dictionaryTable.append();
        dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("销售部"));
        dictionaryTable.post();
        QCOMPARE(column(file_, QStringLiteral("select 项目 || ':' || 内容 from 字典")), QStringList{"部门:销售部"});
    }

    void appendedRowOutsideTheStatementStaysVisible()
    {
        testutil::addCustomers(file_, 2);
        auto ds = openCustomers(WrittenStatement::of(QStringLiteral("select * from 客户数据 where 联系人 like '%客户1%'"), QStringLiteral("客户数据")));
        QCOMPARE(ds->recordCount(), 1);
        ds->setCachedPages(1);
        ds->append();
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("王五"));
        ds->post();
        ds->first();
        ds->last();
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("王五"));
    }

    void resultsWithoutKeyAreReadWhole()
    {
        testutil::addCustomers(file_, 5);
        auto ds = openCustomers(WrittenStatement::of(QStringLiteral("select distinct 分类1 from 客户数据"), QStringLiteral("客户数据")));
        QCOMPARE(ds->fieldNames(), QStringList{"分类1"});
        QCOMPARE(ds->recordCount(), 2);
        ds->last();
        QVERIFY(!ds->text(0).isEmpty());
    }

    void rejectedStoreStaysInEditing()
    {
        testutil::execute(file_, QStringLiteral(
            "create trigger no_x before insert on 客户数据 when new.联系人 = 'x' "
            "begin select raise(abort, '不能保存'); end"));
        auto ds = openCustomers();
        ds->append();
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("x"));
        try {
            ds->post();
            QFAIL("the store was not rejected");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains(QStringLiteral("不能保存")));
        }
        QCOMPARE(ds->state(), DataSet::State::Insert);
        QCOMPARE(ds->text(QStringLiteral("联系人")), QStringLiteral("x"));
        ds->setValue(QStringLiteral("联系人"), QStringLiteral("y"));  // corrected, stored again
        ds->post();
        QCOMPARE(column(file_, QStringLiteral("select 联系人 from 客户数据")), QStringList{"y"});
    }

    void statementErrorsAreReported()
    {
        DataSet ds(conn_.get(), QStringLiteral("customers"));
        ds.setStatement(WrittenStatement::of(QStringLiteral("select * from 没有这个表"), QStringLiteral("没有这个表")));
        QVERIFY_THROWS_EXCEPTION(DbError, ds.open());
        QVERIFY(!ds.isActive());
    }

    void controlsHeldBackWhileDisabled()
    {
        testutil::addCustomers(file_, 5);
        auto ds = openCustomers();
        QSignalSpy record(ds.get(), &DataSet::recordChanged);
        int scrolls = 0;
        ds->setAfterScroll([&](DataSet&) { ++scrolls; });
        ds->disableControls();
        ds->next();
        ds->next();
        QCOMPARE(record.count(), 0);
        QCOMPARE(scrolls, 2);  // events still run
        ds->enableControls();
        QCOMPARE(record.count(), 1);
    }

    void missingDatabaseIsNeverCreated()
    {
        // The folder exists, so only the guard keeps SQLite from creating
        // the file.
        const QString missing = dir_.path() + QStringLiteral("/data/web.mdb");
        QVERIFY(QDir().mkpath(dir_.path() + QStringLiteral("/data")));
        Connection c(QStringLiteral("database"));
        int connects = 0;
        c.setBeforeConnect([&](Connection& cc) {
            ++connects;
            cc.setLocation(DatabaseLocation::ofFile(missing));
        });
        DataSet ds(&c, QStringLiteral("customers"));
        ds.setStatement(WrittenStatement::of(QStringLiteral("select * from 客户数据"), QStringLiteral("客户数据")));
        try {
            ds.open();
            QFAIL("opened a missing database");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains(QStringLiteral("web.mdb")));
        }
        QVERIFY(!QFile::exists(missing));
        // Once the file is there, the next open connects, asking again.
        QFile::copy(file_, missing);
        ds.open();
        QCOMPARE(connects, 2);
        c.close();
        QVERIFY(!ds.isActive());
        ds.open();
        QCOMPARE(connects, 3);
    }

    void rowsShiftedAtAPageEdge()
    {
        testutil::addCustomers(file_, 250);
        auto ds = openCustomers();
        ds->setCachedPages(1);
        const int name = 1;
        QCOMPARE(ds->rowValue(99, name).toString(), QStringLiteral("客户151"));
        QCOMPARE(ds->rowValue(100, name).toString(), QStringLiteral("客户150"));
        ds->moveTo(100);
        ds->insert();
        ds->setValue(name, QStringLiteral("新客户"));
        ds->post();
        QCOMPARE(ds->recNo(), 101);
        const QStringList expected{"客户151", "新客户", "客户150", "客户52", "客户51", "客户1"};
        QStringList seen;
        for (int r : {99, 100, 101, 199, 200, 250})
            seen << ds->rowValue(r, name).toString();
        QCOMPARE(seen, expected);
        QCOMPARE(ds->text(name), QStringLiteral("新客户"));
        ds->moveTo(99);
        QVERIFY(ds->remove());
        QCOMPARE(ds->rowValue(99, name).toString(), QStringLiteral("新客户"));
        QCOMPARE(ds->rowValue(249, name).toString(), QStringLiteral("客户1"));
        QCOMPARE(ds->text(name), QStringLiteral("新客户"));
    }

    void aRecordStoredLaterIsNotARowOfAnOpenList()
    {
        testutil::addCustomers(file_, 5000);
        auto ds = openCustomers();
        ds->setCachedPages(2);
        auto other = openCustomers();
        ds->moveTo(3000);
        ds->append();
        ds->setValue(1, QStringLiteral("最后"));
        ds->post();
        QCOMPARE(ds->recNo(), 5001);
        other->last();
        QCOMPARE(other->recNo(), 5000);
        QCOMPARE(other->text(0), QStringLiteral("1"));
        QCOMPARE(other->rowValue(0, 0).toLongLong(), 5000);
        other->moveTo(3999);
        QVERIFY(other->remove());
        QCOMPARE(other->rowValue(3999, 0).toLongLong(), 1000);
        QCOMPARE(other->recordCount(), 4999);
    }

    void valuesHoldingPercentDigitsStayAsTyped()
    {
        // Category values like "50%4折": a statement keeps them as they are,
        // whichever way its rows are read.
        testutil::addCustomers(file_, 6300);
        testutil::execute(file_, QStringLiteral("update 客户数据 set 分类1 = case id % 3 when 0 then '50%4折' "
                                                "when 1 then '50%1折' else '甲' end"));
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        const QString t = QStringLiteral("客户数据");
        const QString id = QStringLiteral("ID");
        const struct {
            WrittenStatement sql;
            QString check;
        } cases[] = {
            // The category tree's statement: ordered by the key, read from both ends.
            {WrittenStatement::ordered(QStringLiteral("Select  * from 客户数据\r\nwhere 分类1='50%4折'\r\n"),
                                       QStringLiteral("order by ID\r\n"), t, id, false),
             QStringLiteral("select id from 客户数据 where 分类1 = '50%4折' order by id")},
            {WrittenStatement::ordered(QStringLiteral("Select  * from 客户数据\r\nwhere 分类1='50%1折'\r\n"),
                                       QStringLiteral("order by ID desc\r\n"), t, id, true),
             QStringLiteral("select id from 客户数据 where 分类1 = '50%1折' order by id desc")},
            // The field search: keys read in one pass.
            {WrittenStatement::of(QStringLiteral("select * from 客户数据 where 分类1 like '%50%4折%'"), t),
             QStringLiteral("select id from 客户数据 where 分类1 like '%50%4折%'")},
        };
        for (const auto& c : cases) {
            auto ds = openCustomers(c.sql);
            QVERIFY2(ds->readsByKey(), qPrintable(c.sql.text));
            if (!c.sql.orderColumn.isEmpty())
                QVERIFY2(ds->countPending(), qPrintable(c.sql.text));  // the keyed way, counted beside
            QCOMPARE(ds->waitForCount(), 2100);
            ds->setCachedPages(2);
            QCOMPARE(keysOf(*ds), column(file_, c.check));
        }
        QVERIFY(testutil::runPostedEvents());  // reports are said from the event loop
        QCOMPARE(reports, QStringList());
        errorreport::setSink({});
    }

    void listFromItsPartsBindsItsValues()
    {
        // A value with a quote and "%1" in it, bound wherever the list is
        // read: the first keys, the count beside, the pages, the store.
        testutil::addCustomers(file_, 6300);
        testutil::execute(file_, QStringLiteral("update 客户数据 set 分类1 = case id % 3 when 0 then '5''0%1折' "
                                                "else '甲' end"));
        Query q = Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true);
        q.conditions = {{QStringLiteral("分类1"), QStringLiteral("="), QStringLiteral("5'0%1折")}};
        DataSet ds(conn_.get(), QStringLiteral("customers"));
        QVERIFY(ds.reopen(q));
        QVERIFY(ds.readsByKey());
        QVERIFY(ds.countPending());
        QCOMPARE(ds.waitForCount(), 2100);
        ds.setCachedPages(2);
        QCOMPARE(keysOf(ds), column(file_, QStringLiteral("select id from 客户数据 where 分类1 = '5''0%1折' "
                                                          "order by id desc")));
        ds.append();
        ds.setValue(QStringLiteral("联系人"), QStringLiteral("新"));
        ds.post();
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据 where 联系人 = '新'")), QStringList{"1"});
    }

    void slowSearchShowsTheFirstRowsAndTheRestAsTheyCome()
    {
        addCalls(file_, 5000);
        Hold hold;
        std::atomic<bool> once{true};
        DataSet::setWorkerPauses({{}, [&](qint64) {
                                      if (once.exchange(false))
                                          hold.wait();
                                  }});
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        QStringList events;
        calls.setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        calls.setAfterScroll([&](DataSet& d) { events << QStringLiteral("scroll %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        QSignalSpy loadingSpy(&calls, &DataSet::loadingChanged);
        calls.setStatement(WrittenStatement::of(QStringLiteral("select * from 来电数据 where 电话 like '%0755%'"), QStringLiteral("来电数据")));
        calls.open();
        // The first batch shows; the open's events wait for the rest.
        QVERIFY(calls.loading());
        QTRY_COMPARE(calls.rowCount(), 100);
        QCOMPARE(calls.text(QStringLiteral("电话")), QStringLiteral("07551"));
        QVERIFY(events.isEmpty());
        calls.moveBy(50);
        QCOMPARE(calls.recNo(), 51);

        // A call stored meanwhile is there at once and stays the last row.
        calls.append();
        calls.setValue(QStringLiteral("电话"), QStringLiteral("07559999"));
        calls.post();
        QCOMPARE(calls.rowCount(), 101);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 来电数据")), QStringList{"5001"});

        hold.go.release();
        QTRY_VERIFY(!calls.loading());
        DataSet::setWorkerPauses({});
        QVERIFY(!hold.gaveUp);
        QVERIFY(!calls.partial());
        QCOMPARE(loadingSpy.count(), 2);
        QCOMPARE(calls.recordCount(), 5001);
        QCOMPARE(calls.text(QStringLiteral("电话")), QStringLiteral("07559999"));
        QCOMPARE(events, (QStringList{"open 5001/5001", "scroll 5001/5001"}));
        QStringList expected = column(file_, QStringLiteral("select id from 来电数据 where id <= 5000 order by id"));
        expected << QStringLiteral("5001");
        QCOMPARE(keysOf(calls), expected);
    }

    void stoppedSearchKeepsTheRowsFoundSoFar()
    {
        addCalls(file_, 5000);
        Hold hold;
        DataSet::setWorkerPauses({{}, [&](qint64) { hold.wait(); }});
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        QStringList events;
        calls.setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        calls.setStatement(WrittenStatement::of(QStringLiteral("select * from 来电数据 where 电话 like '%0755%'"), QStringLiteral("来电数据")));
        calls.open();
        QVERIFY(calls.loading());
        QTRY_VERIFY(hold.held);
        calls.stopLoading();
        hold.go.release();
        QTRY_VERIFY(!calls.loading());
        DataSet::setWorkerPauses({});
        QVERIFY(calls.partial());
        QCOMPARE(calls.recordCount(), 100);
        QCOMPARE(events, QStringList{"open 1/100"});
        calls.last();
        QCOMPARE(calls.text(QStringLiteral("电话")), QStringLiteral("0755100"));

        // The next open reads everything again.
        calls.close();
        calls.open();
        QVERIFY(!calls.partial());
        QCOMPARE(calls.waitForCount(), 5000);
    }

    void movesPastTheRowsFoundWaitForTheRest()
    {
        // A loop to the end of a list still being read sees all of it.
        addCalls(file_, 3000);
        Hold hold;
        std::atomic<bool> once{true};
        DataSet::setWorkerPauses({{}, [&](qint64) {
                                      if (once.exchange(false))
                                          hold.wait();
                                  }});
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        calls.setStatement(WrittenStatement::of(QStringLiteral("select * from 来电数据 where 电话 like '%0755%'"), QStringLiteral("来电数据")));
        calls.open();
        QVERIFY(calls.loading());
        hold.go.release();
        int seen = 0;
        for (calls.first(); !calls.eof(); calls.next())
            ++seen;
        DataSet::setWorkerPauses({});
        QCOMPARE(seen, 3000);
        QVERIFY(!calls.loading());
    }

    void storesAtAPageEdgeShowTheStoredRecord()
    {
        testutil::addCustomers(file_, 250);
        auto ds = openCustomers();
        ds->setCachedPages(4);
        const int name = 1;
        for (int r = 0; r < 250; ++r)  // every page kept
            ds->rowValue(r, name);
        // A new record on the last row of a kept page.
        ds->moveTo(99);
        ds->insert();
        ds->setValue(name, QStringLiteral("新客户"));
        ds->post();
        QCOMPARE(ds->recNo(), 100);
        QCOMPARE(ds->text(name), QStringLiteral("新客户"));
        QStringList seen;
        for (int r : {98, 99, 100, 199, 200, 250})
            seen << ds->rowValue(r, name).toString();
        QCOMPARE(seen, (QStringList{"客户152", "新客户", "客户151", "客户52", "客户51", "客户1"}));
        // A changed record on the last row of a kept page.
        ds->moveTo(199);
        ds->edit();
        ds->setValue(name, QStringLiteral("改过"));
        ds->post();
        QCOMPARE(ds->rowValue(199, name).toString(), QStringLiteral("改过"));
        ds->first();
        ds->moveTo(199);
        QCOMPARE(ds->text(name), QStringLiteral("改过"));
        // A record appended at the end.
        ds->append();
        ds->setValue(name, QStringLiteral("最后"));
        ds->post();
        QCOMPARE(ds->rowValue(250, name).toString(), QStringLiteral("客户1"));
        QCOMPARE(ds->rowValue(251, name).toString(), QStringLiteral("最后"));
        QCOMPARE(ds->recordCount(), 252);
    }

    void failedReadIsReportedNeverShownAndBlocksEditing()
    {
        testutil::addCustomers(file_, 250);
        auto ds = openCustomers();
        ds->setCachedPages(1);
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });

        // Another program drops the table and, a little later, puts it back.
        const QStringList create = column(file_, QStringLiteral("select sql from sqlite_master where name = '客户数据'"));
        QCOMPARE(create.size(), 1);
        testutil::execute(file_, QStringLiteral("create table 客户数据_备份 as select * from 客户数据"));
        testutil::execute(file_, QStringLiteral("drop table 客户数据"));

        ds->moveTo(200);  // page 2 is not kept: the read finds no table
        QCOMPARE(ds->recNo(), 201);
        QVERIFY(!ds->recordReadable());
        QVERIFY(ds->rowValue(200, 1).isNull());
        QVERIFY_THROWS_EXCEPTION(DbError, ds->edit());
        QCOMPARE(ds->state(), DataSet::State::Browse);
        QTRY_COMPARE(reports.size(), 1);  // reported once, after the move
        QVERIFY2(reports[0].contains(QStringLiteral("客户数据")), qPrintable(reports[0]));

        testutil::execute(file_, create[0]);
        testutil::execute(file_, QStringLiteral("insert into 客户数据 select * from 客户数据_备份"));
        testutil::execute(file_, QStringLiteral("drop table 客户数据_备份"));
        // Nothing blank was kept: once back, the record reads and edits.
        ds->edit();
        QCOMPARE(ds->text(1), QStringLiteral("客户50"));
        QVERIFY(ds->recordReadable());
        ds->setValue(1, QStringLiteral("改过"));
        ds->post();
        QCOMPARE(column(file_, QStringLiteral("select 联系人 from 客户数据 where id = 50")), QStringList{"改过"});
        QCOMPARE(reports.size(), 1);
        errorreport::setSink({});
    }

    void afterScrollFollowsADelete()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        QStringList positions;
        ds->setAfterScroll([&](DataSet& d) { positions << QStringLiteral("%1/%2").arg(d.recNo()).arg(d.recordCount()); });
        ds->last();
        QVERIFY(ds->remove());
        QVERIFY(ds->remove());
        QVERIFY(ds->remove());
        QCOMPARE(positions, (QStringList{"3/3", "2/2", "1/1", "-1/0"}));
    }

    void dataSetNeverOutlivesItsConnection()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        auto later = std::make_unique<DataSet>(conn_.get(), QStringLiteral("later"));
        conn_.reset();  // the connection goes first
        QVERIFY(!ds->isActive());
        QVERIFY(ds->connection() == nullptr);
        QVERIFY_THROWS_EXCEPTION(DbError, ds->open());
        ds.reset();
        later.reset();
    }

    void reopenStoresAPendingEditFirst()
    {
        testutil::addCustomers(file_, 3);
        auto ds = openCustomers();
        ds->edit();
        ds->setValue(1, QStringLiteral("改过"));
        QVERIFY(ds->reopen(WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where 联系人 like '%改%'"), QStringLiteral(" order by id desc"), QStringLiteral("客户数据"), QStringLiteral("ID"), true)));
        QCOMPARE(ds->recordCount(), 1);
        QCOMPARE(ds->text(1), QStringLiteral("改过"));

        // A store that fails keeps the edit and the statement.
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        ds->edit();
        ds->setValue(1, QStringLiteral("又改"));
        testutil::execute(file_, QStringLiteral("create trigger no_update before update on 客户数据 "
                                                "begin select raise(abort, '不能修改'); end"));
        QVERIFY(!ds->reopen(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true)));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(ds->state(), DataSet::State::Edit);
        QVERIFY(ds->commandText().contains(QStringLiteral("like")));
        errorreport::setSink({});
    }

    void everyStoreWaitsForTheDisk()
    {
        auto ds = openCustomers();
        QSqlQuery q(conn_->database());
        QVERIFY(q.exec(QStringLiteral("pragma synchronous")) && q.next());
        QCOMPARE(q.value(0).toInt(), 2);  // full
    }

    void postedRecordSurvivesAKill()
    {
        const pid_t pid = fork();
        if (pid == 0) {
            Connection c(QStringLiteral("child"));
            c.setLocation(DatabaseLocation::ofFile(file_));
            DataSet ds(&c, QStringLiteral("calls"));
            ds.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
            ds.open();
            ds.append();
            ds.setValue(QStringLiteral("手机"), QStringLiteral("13800138000"));
            ds.post();
            ::kill(::getpid(), SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(column(file_, QStringLiteral("select 手机 from 来电数据")), QStringList{"13800138000"});
    }
};

QTEST_MAIN(TestDataSet)
#include "test_dataset.moc"
