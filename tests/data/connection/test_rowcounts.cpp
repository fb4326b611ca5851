// Row counts the database keeps: exact through every store and delete (also
// by another program), given to an older database once, and a list of a
// whole table that knows its length when it opens.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/dataset/datasettest.h"
#include "data/connection/rowcounts.h"
#include "data/transfer/importrun.h"
#include "rules/lists/customertree.h"
#include "data/transfer/importsource.h"

using namespace datasettest;

namespace {

// Rows of one column from a spreadsheet, as a reader gives them; once
// opened, a row holding "stop" makes the read fail there.
struct Rows : TableReader {
    QStringList values;
    bool opened = false;
    QStringList tableNames() override { return {QStringLiteral("t")}; }
    QStringList columnNames(const QString&) override { return {QStringLiteral("电话")}; }
    qint64 rowCount(const QString&) override { return values.size(); }
    bool readRows(const QString&, const std::function<bool(const QVariantList&)>& row) override
    {
        for (const QString& v : values)
            if ((opened && v == QStringLiteral("stop")) || !row({v}))
                return !opened || v != QStringLiteral("stop");
        return true;
    }
    QString error() const override { return QStringLiteral("读不下去了"); }
};

RunOutcome importInto(Connection& connection, const QString& table, const QStringList& values)
{
    auto reader = std::make_unique<Rows>();
    reader->values = values;
    Rows* rows = reader.get();
    ImportConnection source(QStringLiteral("excel"));
    source.openWith(std::move(reader));
    ImportDataSet ds(&source, QStringLiteral("t"));
    ds.setCommandText(QStringLiteral("select * from [t]"));
    ds.open();
    rows->opened = true;
    return importRows(connection, table, ds, {QStringLiteral("电话")}, {QStringLiteral("1")}, {});
}

}  // namespace

class TestRowCounts : public QObject, protected datasettest::DataSetFixture {
    Q_OBJECT
private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void keptCountFollowsEveryStoreAndDelete()
    {
        // An older database: rows, but no kept counts yet.
        testutil::addCustomers(file_, 7);
        addCalls(file_, 40);
        QCOMPARE(column(file_, QStringLiteral("select count(*) from sqlite_master where name = '记录数'")),
                 QStringList{"0"});
        conn_->open();
        QCOMPARE(conn_->keptRowCount(QStringLiteral("客户数据")), std::optional<qint64>(7));
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(40));
        QCOMPARE(conn_->keptRowCount(QStringLiteral("字典")), std::nullopt);

        // Stores and deletes here and by another program.
        conn_->execute(QStringLiteral("insert into 客户数据 (联系人) values ('新')"));
        conn_->execute(QStringLiteral("delete from 客户数据 where ID <= 3"));
        addCalls(file_, 5);
        testutil::execute(file_, QStringLiteral("delete from 来电数据 where ID % 2 = 0"));
        testutil::execute(file_, QStringLiteral("update 来电数据 set ID = ID + 1000 where ID = 1"));
        auto truth = [&](const char* table) {
            return testutil::valueOf(file_, QStringLiteral("select count(*) from ") + QString::fromUtf8(table))
                .toLongLong();
        };
        QCOMPARE(conn_->keptRowCount(QStringLiteral("客户数据")), std::optional<qint64>(truth("客户数据")));
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(truth("来电数据")));
        // A transaction rolled back takes its counting with it.
        conn_->execute(QStringLiteral("begin"));
        conn_->execute(QStringLiteral("delete from 来电数据"));
        conn_->execute(QStringLiteral("rollback"));
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(truth("来电数据")));
        // Clearing the whole table.
        testutil::execute(file_, QStringLiteral("delete from  来电数据"));
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(0));

        // Kept once: opened again, nothing is counted anew.
        conn_->close();
        testutil::execute(file_, QStringLiteral("update 记录数 set 行数 = 12345 where 表名 = '来电数据'"));
        conn_->open();
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(12345));
        // A trigger lost (a tool rebuilt the table): counted again at the open.
        conn_->close();
        testutil::execute(file_, QStringLiteral("drop trigger 记录数_来电数据_ai"));
        conn_->open();
        QCOMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(truth("来电数据")));
    }

    void importedRowsAreCountedOnceAndAFailedImportNotAtAll()
    {
        addCalls(file_, 10);
        testutil::addCustomers(file_, 3);
        conn_->open();
        for (const QString table : {QStringLiteral("来电数据"), QStringLiteral("客户数据")}) {
            const qint64 before = *conn_->keptRowCount(table);
            const RunOutcome done = importInto(*conn_, table, {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
            QVERIFY2(done.finished, qPrintable(done.error));
            QCOMPARE(conn_->keptRowCount(table), std::optional<qint64>(before + 3));
            const RunOutcome failed = importInto(*conn_, table, {QStringLiteral("4"), QStringLiteral("stop")});
            QVERIFY(!failed.finished);
            QCOMPARE(conn_->keptRowCount(table), std::optional<qint64>(before + 3));
            // The count goes on being kept after the import.
            conn_->execute(QStringLiteral("insert into ") + table + QStringLiteral(" (电话) values ('5')"));
            QCOMPARE(conn_->keptRowCount(table),
                     std::optional<qint64>(testutil::valueOf(file_, QStringLiteral("select count(*) from ") + table).toLongLong()));
        }
    }

    void largeTableIsCountedByLongWorkAndListedMeanwhile()
    {
        addCalls(file_, 3000);
        conn_->setBackgroundIndexRows(1000);
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        calls.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        calls.open();
        // Not kept yet: the list is counted as before.
        QVERIFY(conn_->indexBuild() || conn_->keptRowCount(QStringLiteral("来电数据")));
        QVERIFY(conn_->waitForIndexBuild(20000));
        QTRY_VERIFY(!calls.countPending());
        QCOMPARE(calls.recordCount(), 3000);
        QTRY_COMPARE(conn_->keptRowCount(QStringLiteral("来电数据")), std::optional<qint64>(3000));
        calls.close();
        calls.open();
        QVERIFY(!calls.countPending());
        QCOMPARE(calls.recordCount(), 3000);
    }

    void wholeTableListKnowsItsLengthWhenItOpens()
    {
        addCalls(file_, 5000);
        conn_->open();
        DataSet calls(conn_.get(), QStringLiteral("calls"));
        QStringList events;
        calls.setAfterOpen([&](DataSet& d) { events << QString::number(d.recNo()) + QLatin1Char('/') + QString::number(d.recordCount()); });
        calls.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        calls.open();
        QVERIFY(!calls.countPending());
        QCOMPARE(events, QStringList{"1/5000"});
        QCOMPARE(calls.rowValue(4999, 0).toLongLong(), 1);
        // Ascending, from its parts: the same.
        calls.close();
        calls.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), false));
        calls.open();
        QVERIFY(!calls.countPending());
        QCOMPARE(calls.recordCount(), 5000);
        QCOMPARE(calls.rowValue(4999, 0).toLongLong(), 5000);
        // A search is counted: its length is not the table's.
        calls.close();
        calls.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 来电数据 where ID > 1000"), QStringLiteral(" order by id desc"), QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        calls.open();
        QVERIFY(calls.countPending());
        calls.finishCount();
        QCOMPARE(calls.recordCount(), 4000);
    }

    void aTreeClickOnNoNodeListsTheWholeTableWithoutCounting()
    {
        testutil::addCustomers(file_, 2500);
        const QStringList fields{QStringLiteral("分类1"), QStringLiteral("分类2")};
        for (bool orderById : {false, true}) {
            auto all = openCustomers(customertree::treeSearch(fields, {}, orderById).statement());
            QVERIFY(!all->countPending());
            QCOMPARE(all->recordCount(), 2500);
            QCOMPARE(all->commandText(), customertree::joinLines(customertree::treeSearch(fields, {}, orderById).lines));
        }
        // A node is a search: counted.
        testutil::execute(file_, QStringLiteral("update 客户数据 set 分类1 = '华东' where ID > 10"));
        auto node = openCustomers(customertree::treeSearch(fields, {QStringLiteral("华东")}, true).statement());
        QVERIFY(node->countPending());
        node->finishCount();
        QCOMPARE(node->recordCount(), 2490);
        QCOMPARE(node->rowValue(0, 0).toLongLong(), 11);
    }
};

QTEST_GUILESS_MAIN(TestRowCounts)
#include "test_rowcounts.moc"
