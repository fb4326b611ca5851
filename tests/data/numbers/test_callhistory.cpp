// A caller's earlier calls: every spelling of the number, newest first, the
// count beyond the shown ones, and the indexes that serve them.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "data/numbers/callhistory.h"
#include "testdb.h"

class TestCallHistory : public QObject {
    Q_OBJECT
private slots:
    void earlierCallsOfANumberNewestFirst()
    {
        QTemporaryDir tmp;
        const QString file = testutil::makeDatabase(tmp.filePath(QStringLiteral("web.mdb")));
        testutil::execute(file, QStringLiteral(
            "insert into 来电数据 (电话, 手机, 日期, 时间, 事项, 答复) values "
            "('057163010428', null, '2026-1-5', '9:00:00', '询问发票', '已报价'),"
            "(null, '13900001111', '2026-1-6', '9:30:00', '', ''),"
            "('0571-6301-0428', null, '2026-2-1', '10:00:00', '催货', null),"
            "('057163010428', null, '2026-3-1', '11:00:00', null, null),"
            "('057163010428', null, '2026-3-2', '12:00:00', '这一次', null)"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("history"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        ensureCallHistoryIndexes(db);
        ensureCallHistoryIndexes(db);  // a second open finds them there

        // The call being shown is the last one (ID 5): the ones before it.
        CallHistory h = earlierCalls(db, {QStringLiteral("057163010428")}, 5);
        // A row logged as typed with separators is matched from the typed
        // spelling (below), not from the bare digits.
        QCOMPARE(h.count, qint64(2));
        QCOMPARE(h.calls.size(), 2);
        QCOMPARE(h.calls[0].id, qint64(4));
        QCOMPARE(h.calls[1].matter, QStringLiteral("询问发票"));
        QCOMPARE(h.calls[1].reply, QStringLiteral("已报价"));
        QCOMPARE(h.calls[1].date, QStringLiteral("2026-1-5"));
        QCOMPARE(callOrdinalText(h.count), QStringLiteral("第 3 次来电"));

        // A customer's numbers as stored on the card find the calls both as
        // typed and as the device reported them; the limit keeps the newest.
        h = earlierCalls(db, {QStringLiteral("0571-6301-0428"), QStringLiteral("13900001111")}, 0, 2);
        QCOMPARE(h.count, qint64(5));
        QCOMPARE(h.calls.size(), 2);
        QCOMPARE(h.calls[0].id, qint64(5));
        QCOMPARE(h.calls[1].id, qint64(4));

        QVERIFY(earlierCalls(db, {QStringLiteral("  "), QString()}, 0).calls.isEmpty());
        QCOMPARE(historySpellings({QStringLiteral("+86 139-0000-1111"), QStringLiteral("13900001111")}),
                 (QStringList{QStringLiteral("+86 139-0000-1111"), QStringLiteral("13900001111")}));

        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("select count(*) from sqlite_master where type = 'index' and name in "
                                      "('来电数据_手机', '来电数据_电话')")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2);
        // A search of the call list over 电话 still reads the calls in the
        // table's order (the index holds the numbered calls only).
        QVERIFY(q.exec(QStringLiteral("select ID from 来电数据 where 电话 like '%0428%'")));
        QStringList keys;
        while (q.next())
            keys << q.value(0).toString();
        QCOMPARE(keys, (QStringList{"1", "3", "4", "5"}));
        q.finish();
        db.close();
    }
};

QTEST_GUILESS_MAIN(TestCallHistory)
#include "test_callhistory.moc"
