// A record changed by another connection between the read and the store is
// not overwritten, on the file as on the server: nothing is stored, the
// operator hears what the other one stored, the typing stays, and a second
// store is taken as meant.  Every column counts, whatever the case its name
// is spelt in.

#include <QSqlQuery>
#include <QtTest>
#include <memory>

#include "data/connection/connection.h"
#include "data/module/datamodule.h"
#include "data/dataset/dataset.h"
#include "data/engine/dberror.h"
#include "data/lists/reopen.h"
#include "testdb.h"
#include "testpg.h"

class TestEditConflict : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;

private slots:
    void aRowChangedSinceItWasReadIsNotOverwritten()
    {
        const QString file = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 2);
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(file));
        DataSet ds(&c, QStringLiteral("ds"));
        ds.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据"), QStringLiteral(" order by id"), QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        ds.open();
        ds.edit();
        ds.setValue(QStringLiteral("QQ"), QStringLiteral("778899"));
        // Another program changes the record meanwhile (even a column the
        // edit does not touch).
        testutil::execute(file, QStringLiteral("update 客户数据 set 分类1 = '别人改的' where id = 1"));
        try {
            ds.post();
            QFAIL("stored over another program's change");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("分类1：别人改的")), qPrintable(e.message()));
            // The box has only 确定: the text names what there is to press.
            QVERIFY2(e.message().contains(QStringLiteral("按“确定”后")) && e.message().contains(QStringLiteral("按 Esc 键")) &&
                         !e.message().contains(QStringLiteral("按取消")),
                     qPrintable(e.message()));
        }
        QCOMPARE(ds.state(), DataSet::State::Edit);
        QCOMPARE(ds.value(QStringLiteral("QQ")).toString(), QStringLiteral("778899"));
        QCOMPARE(ds.value(QStringLiteral("分类1")).toString(), QStringLiteral("别人改的"));
        QVERIFY(testutil::valueOf(file, QStringLiteral("select QQ from 客户数据 where id = 1")).isNull());
        ds.post();
        QCOMPARE(testutil::valueOf(file, QStringLiteral("select QQ || 分类1 from 客户数据 where id = 1")).toString(),
                 QStringLiteral("778899别人改的"));

        // Unchanged meanwhile: stored at the first try, NULLs and all.
        ds.next();
        ds.edit();
        ds.setValue(QStringLiteral("地址"), QStringLiteral("新地址"));
        ds.post();
        QCOMPARE(testutil::valueOf(file, QStringLiteral("select 地址 from 客户数据 where id = 2")).toString(),
                 QStringLiteral("新地址"));
    }

    // The columns with Latin names (EMAIL, QQ, MSN: folded to lower case
    // by the server, spelt in capitals by the program) are compared like
    // any other, on the desk's own file and on the server: another desk's
    // change to one of them is not stored over.
    void aChangeToALatinNamedColumnIsNotOverwritten_data()
    {
        QTest::addColumn<bool>("server");
        QTest::addColumn<QString>("column");
        for (const bool server : {false, true})
            for (const char* column : {"EMAIL", "QQ", "MSN"})
                QTest::addRow("%s %s", server ? "server" : "file", column) << server << QString::fromLatin1(column);
    }
    void aChangeToALatinNamedColumnIsNotOverwritten()
    {
        QFETCH(bool, server);
        QFETCH(QString, column);
        testutil::makeProgramFolder();
        DatabaseLocation where = DatabaseLocation::ofFile({});
        if (server) {
            if (!server_)
                server_ = std::make_unique<testutil::PrivatePostgres>();
            QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
            static int n = 0;
            const QString name = QStringLiteral("改动") + QString::number(++n);
            QVERIFY2(server_->createDatabase(name), qPrintable(server_->error()));
            where = DatabaseLocation::ofUri(server_->uri(name));
        }
        auto mine = testutil::openDesk(where);
        DataSet& card = mine->customerTable;
        card.append();
        card.setValue(QStringLiteral("联系人"), QStringLiteral("王五"));
        card.setValue(column, QStringLiteral("原来的"));
        card.post();
        QVERIFY(card.reopen(wholeList(QStringLiteral("客户数据"))));
        QCOMPARE(card.text(column), QStringLiteral("原来的"));

        // The other desk stores its change while this one types.
        auto other = testutil::openDesk(where);
        other->customerTable.first();
        QCOMPARE(other->customerTable.text(column), QStringLiteral("原来的"));
        card.edit();
        card.setValue(column, QStringLiteral("这里输入的"));
        other->customerTable.edit();
        other->customerTable.setValue(column, QStringLiteral("那边改的"));
        other->customerTable.post();
        try {
            card.post();
            QFAIL("stored over the other desk's change");
        } catch (const DbError& e) {
            QVERIFY2(e.message().contains(column + QStringLiteral("：那边改的")), qPrintable(e.message()));
        }
        const QString stored = QStringLiteral("select ") + column + QStringLiteral(" from 客户数据");
        QCOMPARE(testutil::scalar(other->connection.database(), stored).toString(), QStringLiteral("那边改的"));
        QCOMPARE(card.state(), DataSet::State::Edit);
        QCOMPARE(card.text(column), QStringLiteral("这里输入的"));
        // Stored again, knowingly.
        card.post();
        QCOMPARE(testutil::scalar(other->connection.database(), stored).toString(), QStringLiteral("这里输入的"));
    }
};

QTEST_GUILESS_MAIN(TestEditConflict)
#include "test_editconflict.moc"
