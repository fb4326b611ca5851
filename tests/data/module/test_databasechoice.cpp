// Moving the data module to another database: pending edits are stored
// where they were typed before the move; a store that fails keeps the
// program where it is.  Trying a database changes nothing in it.

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <memory>

#include "data/module/databasechoice.h"
#include "data/module/datamodule.h"
#include "testdb.h"
#include "testpg.h"

class TestDatabaseChoice : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void pendingEditsAreStoredBeforeTheMove()
    {
        const QString file = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 2);
        QVERIFY(server_->createDatabase(QStringLiteral("搬")));
        const DatabaseLocation server = DatabaseLocation::ofUri(server_->uri(QStringLiteral("搬")));

        DataModule dm;
        dm.customerTable.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据"), QStringLiteral(" order by id"), QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        dm.customerTable.open();
        dm.dictionaryTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 字典"), QStringLiteral("字典")));
        dm.dictionaryTable.open();
        dm.customerTable.edit();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("改了"));
        dm.setDictionaryItem(QStringLiteral("部门"));
        dm.dictionaryTable.append();
        dm.dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("售后"));

        QVERIFY(databasechoice::moveTo(dm, server));
        QCOMPARE(testutil::valueOf(file, QStringLiteral("select 联系人 from 客户数据 where id = 1")).toString(),
                 QStringLiteral("改了"));
        QCOMPARE(testutil::valueOf(file, QStringLiteral("select 项目 from 字典 where 内容 = '售后'")).toString(),
                 QStringLiteral("部门"));
        QVERIFY(!dm.connection.isConnected());
        dm.customerTable.open();
        QCOMPARE(dm.connection.engine().kind(), DatabaseLocation::Kind::Server);
        QCOMPARE(dm.customerTable.recordCount(), 0);

        // And back: the file is there as it was left.
        QVERIFY(databasechoice::moveTo(dm, DatabaseLocation::ofFile({})));
        dm.customerTable.open();
        QCOMPARE(dm.connection.engine().kind(), DatabaseLocation::Kind::File);
        QCOMPARE(dm.customerTable.recordCount(), 2);
    }

    void aFailedStoreKeepsTheProgramWhereItIs()
    {
        const QString file = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 1);
        DataModule dm;
        dm.customerTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 客户数据"), QStringLiteral("客户数据")));
        dm.customerTable.open();
        dm.customerTable.edit();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("存不进"));
        // Another program holds the file's writes.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(file);
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("begin exclusive")));
        QVERIFY(!databasechoice::moveTo(dm, DatabaseLocation::ofUri(QStringLiteral("postgresql:///x"))));
        QVERIFY(!dm.databaseLocation().isServer());
        QVERIFY(dm.connection.isConnected());
        QCOMPARE(dm.customerTable.state(), DataSet::State::Edit);
        QCOMPARE(dm.customerTable.value(QStringLiteral("联系人")).toString(), QStringLiteral("存不进"));
        QSqlQuery(other).exec(QStringLiteral("rollback"));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }

    void tryingChangesNothing()
    {
        QVERIFY(server_->createDatabase(QStringLiteral("试")));
        const DatabaseLocation where = DatabaseLocation::ofUri(server_->uri(QStringLiteral("试")));
        const databasechoice::Trial t = databasechoice::test(where);
        QVERIFY2(t.ok, qPrintable(t.text));
        QVERIFY(databasechoice::test(where).text.contains(QStringLiteral("还没有本程序的表")));
        const databasechoice::Trial ready = databasechoice::prepare(where);
        QVERIFY2(ready.ok, qPrintable(ready.text));
        QCOMPARE(databasechoice::test(where).text, QStringLiteral("连接成功。数据库里已有客户数据 0 条、来电数据 0 条。"));
        // The file beside the program, when it is there.
        testutil::makeProgramFolder();
        QVERIFY(databasechoice::test(DatabaseLocation::ofFile({})).ok);
        const databasechoice::Trial missing = databasechoice::test(DatabaseLocation::ofFile(QStringLiteral("/nonexistent/web.mdb")));
        QVERIFY(!missing.ok && missing.text.contains(QStringLiteral("找不到数据库文件")));
    }
};

QTEST_GUILESS_MAIN(TestDatabaseChoice)
#include "test_databasechoice.moc"
