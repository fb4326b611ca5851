// A desk's own database moved onto a private server: every row and value
// arrives under its ID (texts with tabs, line breaks, backslashes, NULLs,
// a column an import added), the next row stored gets a higher ID, the
// caller lookup finds an uploaded customer by digits, and the other desks'
// call notice is back in force.  A server that holds rows is refused; a
// failure or a stop halfway leaves the server as it was.

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <memory>

#include "data/connection/connection.h"
#include "data/maintenance/serverupload.h"
#include "rules/calls/callrules.h"
#include "testdb.h"
#include "testpg.h"

namespace {

using testutil::exec;
using testutil::scalar;

// Every row of a table as text, in ID order: the same on both engines.
QStringList rowsOf(QSqlDatabase db, const QString& table, const QStringList& columns)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QStringList quoted;
    for (const QString& c : columns)
        quoted << QLatin1Char('"') + c + QLatin1Char('"');
    if (!q.exec(QStringLiteral("select ") + quoted.join(QLatin1Char(',')) + QStringLiteral(" from ") + table +
                QStringLiteral(" order by 1")))
        qFatal("%s", qPrintable(q.lastError().text()));
    QStringList out;
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < columns.size(); ++i)
            row << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

const QStringList kCustomerColumns = {"ID", "联系人", "手机", "电话", "分类1", "备注"};

// A desk's database: customers with gaps in their IDs and awkward texts, an
// imported column, calls and the dictionary.
QString localDatabase(int calls = 30)
{
    const QString file = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
    testutil::addCustomers(file, 60);
    testutil::execute(file, QStringLiteral("delete from 客户数据 where ID % 7 = 0 or ID = 60"));
    testutil::execute(file, QStringLiteral("alter table 客户数据 add column 备注 text"));
    testutil::execute(file, QStringLiteral("update 客户数据 set 备注 = 'a\tb' || char(10) || 'c\\d''e\"' || char(13), "
                                           "电话 = '(0571) 8765-43' || ID where ID % 3 = 0"));
    testutil::execute(file, QStringLiteral("insert into 客户数据 (ID, 联系人, 手机, 备注) values (1000, '远的', '+86 138-1234-5678', '')"));
    testutil::execute(file, QStringLiteral("with recursive g(n) as (select 1 union all select n + 1 from g where n < ") +
                                QString::number(calls) +
                                QStringLiteral(") insert into 来电数据 (手机, 日期, 时间) select '1390000' || n, '2026-3-4', '9:05:07' from g"));
    testutil::execute(file, QStringLiteral("insert into 字典 (项目, 内容) values ('分类1', '甲'), ('分类1', '乙')"));
    return file;
}

}  // namespace

class TestServerUpload : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    int databases_ = 0;

    std::unique_ptr<Connection> freshDatabase()
    {
        const QString name = QStringLiteral("上传") + QString::number(++databases_);
        if (!server_->createDatabase(name))
            qFatal("%s", qPrintable(server_->error()));
        auto c = std::make_unique<Connection>(name);
        c->setLocation(DatabaseLocation::ofUri(server_->uri(name)));
        c->open();
        return c;
    }

    // Nothing on the server: no rows, no new column, the next IDs still 1,
    // the index's trigger in place.
    void verifyUntouched(QSqlDatabase db)
    {
        QCOMPARE(scalar(db, QStringLiteral("select (select count(*) from 客户数据) + (select count(*) from 来电数据) + "
                                           "(select count(*) from 字典) + (select count(*) from 客户号码)"))
                     .toInt(),
                 0);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from information_schema.columns where column_name = '备注'")).toInt(), 0);
        exec(db, QStringLiteral("insert into 客户数据 (联系人, 手机) values ('试', '13911112222')"));
        QCOMPARE(scalar(db, QStringLiteral("select max(id) from 客户数据")).toInt(), 1);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户号码")).toInt(), 1);
        exec(db, QStringLiteral("delete from 客户数据"));
    }

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void everyRowArrivesUnderItsId()
    {
        const QString file = localDatabase();
        auto c = freshDatabase();
        QSqlDatabase db = c->database();
        QVERIFY(c->hasNumberIndex());
        QList<qint64> reported;
        serverupload::Progress p;
        p.report = [&reported](qint64 done, qint64) { reported << done; };
        serverupload::Counts counts;
        QString why;
        bool stopped = false;
        QVERIFY2(serverupload::upload(db, file, p, &counts, &why, &stopped), qPrintable(why));
        QCOMPARE(counts.customers, 52);
        QCOMPARE(counts.calls, 30);
        QCOMPARE(counts.dictionary, 2);
        QCOMPARE(reported.last(), 84);

        QSqlDatabase lite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lite"));
        lite.setDatabaseName(file);
        QVERIFY(lite.open());
        QCOMPARE(rowsOf(db, QStringLiteral("客户数据"), {"id", "联系人", "手机", "电话", "分类1", "备注"}),
                 rowsOf(lite, QStringLiteral("客户数据"), kCustomerColumns));
        const QStringList call = {"ID", "手机", "日期", "时间", "电话"};
        QCOMPARE(rowsOf(db, QStringLiteral("来电数据"), {"id", "手机", "日期", "时间", "电话"}),
                 rowsOf(lite, QStringLiteral("来电数据"), call));
        QCOMPARE(rowsOf(db, QStringLiteral("字典"), {"id", "项目", "内容"}), rowsOf(lite, QStringLiteral("字典"), {"ID", "项目", "内容"}));
        lite.close();
        lite = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("lite"));

        // The next rows stored get IDs past the uploaded ones.
        exec(db, QStringLiteral("insert into 客户数据 (联系人, 手机) values ('新客户', '13655556666')"));
        QCOMPARE(scalar(db, QStringLiteral("select max(id) from 客户数据")).toInt(), 1001);
        exec(db, QStringLiteral("insert into 来电数据 (手机) values ('13655556666')"));
        QCOMPARE(scalar(db, QStringLiteral("select max(id) from 来电数据")).toInt(), 31);
        exec(db, QStringLiteral("insert into 字典 (项目, 内容) values ('分类2', '丙')"));
        QCOMPARE(scalar(db, QStringLiteral("select max(id) from 字典")).toInt(), 3);

        // The caller lookup finds an uploaded customer by the digits a box reports.
        QSqlQuery q(db);
        QVERIFY(q.exec(indexedLookupStatement(QStringLiteral("13812345678"))));
        QVERIFY(q.next());
        QCOMPARE(q.value(QStringLiteral("id")).toInt(), 1000);
        QVERIFY(q.exec(indexedLookupStatement(QStringLiteral("057187654333"))));
        QVERIFY(q.next());
        QCOMPARE(q.value(QStringLiteral("id")).toInt(), 33);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户号码")).toInt(), 53);
        // The triggers are all in force again.
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from pg_trigger where not tgisinternal and tgenabled <> 'O'")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from pg_trigger where tgname = '来电数据_通知'")).toInt(), 1);
    }

    void aServerThatHoldsRowsIsRefused()
    {
        const QString file = localDatabase();
        auto c = freshDatabase();
        QSqlDatabase db = c->database();
        exec(db, QStringLiteral("insert into 字典 (项目, 内容) values ('分类1', '已有')"));
        QString why;
        QCOMPARE(serverupload::tablesWithRows(db, &why), QStringList{QStringLiteral("字典")});
        serverupload::Counts counts;
        bool stopped = false;
        QVERIFY(!serverupload::upload(db, file, {}, &counts, &why, &stopped));
        QVERIFY2(why.contains(QStringLiteral("已经有数据（字典）")), qPrintable(why));
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户数据")).toInt(), 0);
        QCOMPARE(scalar(db, QStringLiteral("select count(*) from 字典")).toInt(), 1);
        // What is not a database of the program is refused before the server is touched.
        QVERIFY(serverupload::fileProblem(file).isEmpty());
        QVERIFY(!serverupload::upload(db, file + QStringLiteral(".none"), {}, &counts, &why, &stopped));
        QVERIFY(why.startsWith(QStringLiteral("找不到文件")));
    }

    void aFailureHalfwayLeavesTheServerAsItWas()
    {
        // The last table holds bytes that are no UTF-8 text: the server
        // refuses them after the customers and the new column went in.
        const QString file = localDatabase();
        testutil::execute(file, QStringLiteral("update 来电数据 set 电话 = X'41FF42' where ID = 30"));
        auto c = freshDatabase();
        QSqlDatabase db = c->database();
        serverupload::Counts counts;
        QString why;
        bool stopped = false;
        QVERIFY(!serverupload::upload(db, file, {}, &counts, &why, &stopped));
        QVERIFY(!stopped);
        QVERIFY2(why.contains(QStringLiteral("UTF8")), qPrintable(why));
        QCOMPARE(counts.customers, 0);
        verifyUntouched(db);
        QVERIFY(!QTest::currentTestFailed());
    }

    void aStopLeavesTheServerAsItWas()
    {
        const QString file = localDatabase(2500);
        auto c = freshDatabase();
        QSqlDatabase db = c->database();
        serverupload::Progress p;
        qint64 seen = 0;
        p.report = [&seen](qint64 done, qint64) { seen = done; };
        p.stopRequested = [&seen] { return seen >= 1000; };
        serverupload::Counts counts;
        QString why;
        bool stopped = false;
        QVERIFY(!serverupload::upload(db, file, p, &counts, &why, &stopped));
        QVERIFY(stopped);
        verifyUntouched(db);
        QVERIFY(!QTest::currentTestFailed());
        // Then the same file goes in whole.
        QVERIFY2(serverupload::upload(db, file, {}, &counts, &why, &stopped), qPrintable(why));
        QCOMPARE(counts.calls, 2500);
    }
};

QTEST_GUILESS_MAIN(TestServerUpload)
#include "test_serverupload.moc"
