// The record being edited: which fields reach the store, and the
// statements that store them.

#include <QTest>

#include "data/dataset/editbuffer.h"

class TestEditBuffer : public QObject {
    Q_OBJECT
    const QStringList fields_{QStringLiteral("ID"), QStringLiteral("联系人"), QStringLiteral("所在 部门"),
                              QStringLiteral("合计")};
    // The table's columns, lower case; 合计 is a computed field of the list only.
    const QStringList columns_{QStringLiteral("id"), QStringLiteral("联系人"), QStringLiteral("所在 部门")};

private slots:
    void onlyWrittenColumnsOfTheTableAreStoredBound()
    {
        EditBuffer b;
        b.startEmpty(4);
        QCOMPARE(b.insertStatement(QStringLiteral("客户数据"), fields_, columns_, 0).sql,
                 QStringLiteral("insert into \"客户数据\" default values"));
        QVERIFY(!b.modified());
        b.set(0, 7);                                 // the key: the table gives it
        b.set(2, QStringLiteral("销售%1 '部'"));    // a column name with a space
        b.set(3, 12);                                // not a column of the table
        QVERIFY(b.modified());
        const EditBuffer::Statement insert = b.insertStatement(QStringLiteral("客户数据"), fields_, columns_, 0);
        QCOMPARE(insert.sql, QStringLiteral("insert into \"客户数据\" (\"所在 部门\") values (?)"));
        QCOMPARE(insert.values, QVariantList{QStringLiteral("销售%1 '部'")});
    }

    void updateTouchesTheWrittenFieldsOfOneRecord()
    {
        EditBuffer b;
        b.start({5, QStringLiteral("张三"), QStringLiteral("销售"), 1});
        QVERIFY(b.updateStatement(QStringLiteral("客户数据"), fields_, columns_, 0, 5).sql.isEmpty());
        b.set(1, QStringLiteral("李四"));
        b.set(2, QString());  // an empty text is stored as NULL
        QVERIFY(b.value(2).isNull());
        QCOMPARE(b.value(0).toInt(), 5);  // unwritten fields keep the record's values
        const EditBuffer::Statement update = b.updateStatement(QStringLiteral("客户数据"), fields_, columns_, 0, 5);
        QCOMPARE(update.sql,
                 QStringLiteral("update \"客户数据\" set \"联系人\" = ?, \"所在 部门\" = ? where ID = ?"));
        QCOMPARE(update.values.size(), 3);
        QCOMPARE(update.values[0].toString(), QStringLiteral("李四"));
        QVERIFY(update.values[1].isNull());
        QCOMPARE(update.values[2].toLongLong(), 5);
        b.clear();
        QVERIFY(!b.modified());
    }
};

QTEST_GUILESS_MAIN(TestEditBuffer)
#include "test_editbuffer.moc"
