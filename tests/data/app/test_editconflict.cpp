// A record changed by another connection between the read and the store is
// not overwritten, on the file as on the server: nothing is stored, the
// operator hears what the other one stored, the typing stays, and a second
// store is taken as meant.

#include <QtTest>

#include "data/app/connection.h"
#include "data/app/dataset.h"
#include "data/app/dberror.h"
#include "testdb.h"

class TestEditConflict : public QObject {
    Q_OBJECT
private slots:
    void aRowChangedSinceItWasReadIsNotOverwritten()
    {
        const QString file = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 2);
        Connection c(QStringLiteral("c"));
        c.setConnectionString(QStringLiteral("Data Source=") + file);
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
};

QTEST_GUILESS_MAIN(TestEditConflict)
#include "test_editconflict.moc"
