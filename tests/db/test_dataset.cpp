// The data set as the windows use it: positions, moves, storing, deleting,
// events and the connection underneath, against a real database file.

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "app/errorreport.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "testdb.h"

namespace {

// Reads the table through a connection of its own, as another program would.
QStringList column(const QString& file, const QString& sql)
{
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(sql);
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return out;
}

}  // namespace

class TestDataSet : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString file_;
    std::unique_ptr<Connection> conn_;

    std::unique_ptr<DataSet> openCustomers(const QString& sql = QStringLiteral("select * from 客户数据 order by id desc"))
    {
        auto ds = std::make_unique<DataSet>(conn_.get(), QStringLiteral("kehutable"));
        ds->setCommandText(sql);
        ds->open();
        return ds;
    }

private slots:
    void init()
    {
        file_ = testutil::makeDatabase(dir_.path() + QStringLiteral("/web.mdb"));
        conn_ = std::make_unique<Connection>(QStringLiteral("ADOB"));
        conn_->setConnectionString(QStringLiteral("Provider=x;Data Source=") + file_ + QStringLiteral(";Persist=False"));
    }
    void cleanup()
    {
        conn_.reset();
        QFile::remove(file_);
    }

    void emptyTablePositionAndEvents()
    {
        DataSet ds(conn_.get(), QStringLiteral("kehutable"));
        ds.setCommandText(QStringLiteral("select * from 客户数据 order by id desc"));
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
            QCOMPARE(e.message(), QStringLiteral("kehutable: Field '没有' not found"));
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

    void editOnEmptyStartsNewRecordAndPostStoresIt()
    {
        auto ds = openCustomers();
        ds->edit();
        QCOMPARE(ds->state(), DataSet::State::Insert);
        ds->post();  // an empty record is stored as it is
        QCOMPARE(ds->recordCount(), 1);
        QCOMPARE(ds->recNo(), 1);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from 客户数据")), QStringList{"1"});
        ds->post();  // browsing: nothing
        QCOMPARE(ds->recordCount(), 1);
    }

    void emptyTextIsStoredAsNull()
    {
        testutil::addCustomers(file_, 1);
        auto ds = openCustomers();
        ds->edit();
        ds->setValue(QStringLiteral("联系人"), QString());
        ds->post();
        QCOMPARE(column(file_, QStringLiteral("select 联系人 from 客户数据")), QStringList{"<null>"});
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
        DataSet zidian(conn_.get(), QStringLiteral("zidian"));
        zidian.setCommandText(QStringLiteral("Select * from 字典\r\nwhere 项目 = '部门'\r\n"));
        zidian.setAfterInsert([](DataSet& d) { d.setValue(QStringLiteral("项目"), QStringLiteral("部门")); });
        zidian.open();
        zidian.append();
        zidian.setValue(QStringLiteral("内容"), QStringLiteral("销售部"));
        zidian.post();
        QCOMPARE(column(file_, QStringLiteral("select 项目 || ':' || 内容 from 字典")), QStringList{"部门:销售部"});
    }

    void appendedRowOutsideTheStatementStaysVisible()
    {
        testutil::addCustomers(file_, 2);
        auto ds = openCustomers(QStringLiteral("select * from 客户数据 where 联系人 like '%客户1%'"));
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
        auto ds = openCustomers(QStringLiteral("select distinct 分类1 from 客户数据"));
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
        DataSet ds(conn_.get(), QStringLiteral("kehutable"));
        ds.setCommandText(QStringLiteral("select * from 没有这个表"));
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
        Connection c(QStringLiteral("ADOB"));
        int connects = 0;
        c.setBeforeConnect([&](Connection& cc) {
            ++connects;
            cc.setConnectionString(QStringLiteral("Provider=x;Data Source=") + missing);
        });
        DataSet ds(&c, QStringLiteral("kehutable"));
        ds.setCommandText(QStringLiteral("select * from 客户数据"));
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

    void keysReadFromTheNearerEndMatchTheTable()
    {
        testutil::addCustomers(file_, 5000);
        auto ds = openCustomers();
        ds->setCachedPages(2);
        QCOMPARE(ds->recordCount(), 5000);
        // The last rows first, then the middle, then all of them in order.
        QCOMPARE(ds->rowValue(4999, 0).toLongLong(), 1);
        QCOMPARE(ds->rowValue(2500, 0).toLongLong(), 2500);
        QStringList ids;
        for (int r = 0; r < ds->rowCount(); ++r)
            ids << ds->rowValue(r, 0).toString();
        QCOMPARE(ids, column(file_, QStringLiteral("select id from 客户数据 order by id desc")));

        // A record stored later is not taken for a row of the list.
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

    void longListCountedWhileTheWindowGoesOn()
    {
        testutil::addCustomers(file_, 5000);
        DataSet ds(conn_.get(), QStringLiteral("kehutable"));
        QStringList events;
        ds.setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        ds.setAfterScroll([&](DataSet& d) { events << QStringLiteral("scroll %1/%2").arg(d.recNo()).arg(d.recordCount()); });
        QSignalSpy appended(&ds, &DataSet::rowsAppended);
        ds.setCommandText(QStringLiteral("select * from 客户数据 order by id desc"));
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
        DataSet calls(conn_.get(), QStringLiteral("laidianTel"));
        calls.setCommandText(QStringLiteral("select * from 客户数据 where id > 1 order by id desc"));
        calls.setAfterOpen([&](DataSet&) { events << QStringLiteral("second"); });
        events.clear();
        ds.open();
        calls.open();
        calls.finishCount();
        QCOMPARE(events, (QStringList{"open 1/5000", "scroll 1/5000", "second"}));

        // A store waits for the count first; the stored record is counted once.
        ds.close();
        ds.open();
        QVERIFY(ds.countPending());
        ds.append();
        ds.setValue(1, QStringLiteral("新"));
        ds.post();
        QCOMPARE(ds.recordCount(), 5001);
        QCOMPARE(ds.recNo(), 5001);
        QCOMPARE(ds.rowValue(0, 0).toLongLong(), 5000);
        ds.close();
        ds.open();
        QCOMPARE(ds.recordCount(), 5001);
        QCOMPARE(ds.rowValue(0, 0).toLongLong(), 5001);
    }

    void failedReadIsReportedNeverShownAndBlocksEditing()
    {
        testutil::addCustomers(file_, 250);
        auto ds = openCustomers();
        ds->setCachedPages(1);
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        QList<bool> busy;
        connect(conn_.get(), &Connection::busyChanged, this, [&](bool b) { busy << b; });

        const QString lockName = QStringLiteral("locker");
        {
            QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), lockName);
            other.setDatabaseName(file_);
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec(QStringLiteral("begin exclusive")));

            QElapsedTimer t;
            t.start();
            ds->moveTo(200);  // page 2 is not kept: the read meets the lock
            QVERIFY(t.elapsed() < 2000);
            QCOMPARE(ds->recNo(), 201);
            QVERIFY(!ds->recordReadable());
            QVERIFY(ds->rowValue(200, 1).isNull());
            QVERIFY_THROWS_EXCEPTION(DbError, ds->edit());
            QCOMPARE(ds->state(), DataSet::State::Browse);
            QCOMPARE(busy, QList<bool>{true});
            QTRY_COMPARE(reports.size(), 1);  // reported once, after the move
            QVERIFY(reports[0].contains(QStringLiteral("数据库正忙")));

            QVERIFY(lock.exec(QStringLiteral("rollback")));
        }
        QSqlDatabase::removeDatabase(lockName);
        // Nothing blank was kept: once free, the record reads and edits.
        ds->edit();
        QCOMPARE(ds->text(1), QStringLiteral("客户50"));
        QVERIFY(ds->recordReadable());
        QCOMPARE(busy, (QList<bool>{true, false}));
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
        QVERIFY(ds->reopen(QStringLiteral("select * from 客户数据 where 联系人 like '%改%' order by id desc")));
        QCOMPARE(ds->recordCount(), 1);
        QCOMPARE(ds->text(1), QStringLiteral("改过"));

        // A store that fails keeps the edit and the statement.
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        ds->edit();
        ds->setValue(1, QStringLiteral("又改"));
        testutil::execute(file_, QStringLiteral("create trigger no_update before update on 客户数据 "
                                                "begin select raise(abort, '不能修改'); end"));
        QVERIFY(!ds->reopen(QStringLiteral("select * from 客户数据 order by id desc")));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(ds->state(), DataSet::State::Edit);
        QVERIFY(ds->commandText().contains(QStringLiteral("like")));
        errorreport::setSink({});
    }

    void rowsTakenOverWhileStillCountedAreCountedInTheNewSet()
    {
        // The caller lookup hands its rows to the customer list; a long
        // result may still be being counted then.
        testutil::addCustomers(file_, 5000);
        auto lookup = openCustomers(QStringLiteral("select * from 客户数据 order by id desc"));
        QVERIFY(lookup->countPending());
        auto list = openCustomers(QStringLiteral("select * from 客户数据 where id = 1 order by id desc"));
        QStringList events;
        list->setAfterOpen([&](DataSet& d) { events << QStringLiteral("open %1").arg(d.recordCount()); });
        QVERIFY(list->reopenWith(*lookup));
        QVERIFY(!lookup->isActive());
        QVERIFY(!list->countPending());
        QCOMPARE(list->recordCount(), 5000);
        QCOMPARE(events, QStringList{"open 5000"});
        QTest::qWait(50);  // the count sent to the lookup changes nothing
        QCOMPARE(list->recordCount(), 5000);
        list->last();
        QCOMPARE(list->rowValue(4999, 0).toLongLong(), 1);
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
            c.setConnectionString(QStringLiteral("Data Source=") + file_);
            DataSet ds(&c, QStringLiteral("laidianTel"));
            ds.setCommandText(QStringLiteral("select * from 来电数据 order by id desc"));
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
