// The caller lookup's number index: built once for a database that lacks
// it, kept in step by its triggers, and the indexed statement finds the
// same customers in the same order as the plain one.

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "app/statementtext.h"
#include "callerid/callrules.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "db/numberindex.h"
#include "testdb.h"

namespace {

QString file() { return testutil::makeProgramFolder() + QStringLiteral("data/web.mdb"); }

QString pick(QRandomGenerator& r, const QStringList& from) { return from.at(r.bounded(int(from.size()))); }

// Customers with numbers written the ways offices write them.
void fill(const QString& db, int n)
{
    QRandomGenerator r(7);
    const QStringList codes = {"010", "021", "0571", "0755", "0371", ""};
    const QStringList seps = {"", "-", " ", "(", ")", "."};
    QStringList rows;
    for (int i = 0; i < n; ++i) {
        auto digits = [&](int len) {
            QString s;
            for (int k = 0; k < len; ++k)
                s += QChar('0' + r.bounded(10));
            return s;
        };
        auto number = [&]() -> QString {
            switch (r.bounded(8)) {
            case 0: return QString();  // NULL
            case 1: return "13" + digits(9);
            case 2: return pick(r, codes) + pick(r, seps) + digits(8);
            case 3: return "+86 1" + digits(2) + " " + digits(4) + " " + digits(4);
            case 4: return digits(3 + r.bounded(5)) + "转" + digits(3);
            case 5: return "1%5_" + digits(4) + "'x";  // wildcards and a quote as text
            case 6: return (r.bounded(2) ? "Ab" : "Äb") + digits(5) + "cD";
            default: return digits(7);
            }
        };
        auto lit = [](const QString& v) {
            return v.isNull() ? QStringLiteral("null") : "'" + quotedValue(v) + "'";
        };
        rows << QStringLiteral("(%1, %2, %3)").arg(lit(number()), lit(number()), lit(number()));
    }
    for (int i = 0; i < rows.size(); i += 500)
        testutil::execute(db, QStringLiteral("insert into 客户数据 (手机, 电话, 宅电) values ") +
                                  rows.mid(i, 500).join(','));
}

QList<qint64> keys(QSqlDatabase& db, const QString& sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        qFatal("statement failed: %s", qPrintable(sql));
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    return ids;
}

}  // namespace

class TestNumberIndex : public QObject {
    Q_OBJECT
private slots:
    void olderDatabaseGetsItsIndexOnce()
    {
        const QString db = file();
        testutil::addCustomers(db, 450);
        int calls = 0;
        qint64 lastDone = -1, total = -1;
        {
            Connection c(QStringLiteral("c"));
            c.setConnectionString(QStringLiteral("Data Source=") + db);
            c.setIndexProgress([&](qint64 d, qint64 t) { ++calls, lastDone = d, total = t; });
            c.open();
            QVERIFY(c.hasNumberIndex());
        }
        QVERIFY(calls >= 2);
        QCOMPARE(lastDone, 450);
        QCOMPARE(total, 450);
        calls = 0;
        Connection again(QStringLiteral("again"));
        again.setConnectionString(QStringLiteral("Data Source=") + db);
        again.setIndexProgress([&](qint64, qint64) { ++calls; });
        again.open();
        QVERIFY(again.hasNumberIndex());
        QCOMPARE(calls, 0);
    }

    void indexedLookupFindsWhatThePlainOneFinds()
    {
        const QString path = file();
        fill(path, 3000);
        Connection c(QStringLiteral("c"));
        c.setConnectionString(QStringLiteral("Data Source=") + path);
        c.open();
        QVERIFY(c.hasNumberIndex());
        QSqlDatabase db = c.database();

        // Numbers as they arrive: parts of stored numbers with and without
        // area codes and separators, random digits, short ones, quotes and
        // wildcards, letters in either case.
        QStringList stored;
        {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select 手机, 电话, 宅电 from 客户数据"));
            while (q.next())
                for (int i = 0; i < 3; ++i)
                    if (!q.value(i).isNull())
                        stored << q.value(i).toString();
        }
        QRandomGenerator r(11);
        int longer = 0;
        QStringList numbers = {"0", "0571", "1", "13", "139", "'", "''", "%", "_", "1%5", "%5_", "äb", "ÄB",
                               "5_'x", "ab", "AB1", "cd", "转", "0571-", "+86", "0086", "8888",
                               "(021)", "0755 2", "x'", "ABC"};
        for (int i = 0; i < 3000; ++i) {
            const QString s = pick(r, stored);
            const int from = r.bounded(int(s.size()));
            const int len = 1 + r.bounded(int(s.size()) - from);
            QString n = s.mid(from, len);
            if (i % 5 == 0)
                n = pick(r, {"0571", "021", "0755", "010", "+86", "0086"}) + n;
            if (i % 7 == 0)
                n = n.toUpper();
            if (i % 11 == 0)
                n = QString::number(r.bounded(1000000));
            if (i % 13 == 0)
                n = s;  // a whole stored number, longer than the index's key
            longer += lookupNumber(n).size() > 8;
            numbers << n;
        }
        int indexed = 0, found = 0;
        for (const QString& n : numbers) {
            const QString local = lookupNumber(n);
            const QString plain = statementText(lookupStatementLines(local));
            const QString fast = indexedLookupStatement(local);
            indexed += fast != plain;
            const QList<qint64> want = keys(db, QStringLiteral("select ID from (\r\n%1\r\n)").arg(plain));
            const QList<qint64> got = keys(db, QStringLiteral("select ID from (\r\n%1\r\n)").arg(fast));
            found += !want.isEmpty();
            if (want != got)
                QFAIL(qPrintable(QStringLiteral("%1 (local %2): %3 rows, indexed %4")
                                     .arg(n, local).arg(want.size()).arg(got.size())));
        }
        QVERIFY2(indexed > 1500, qPrintable(QString::number(indexed)));  // most went through the index
        QVERIFY(found > 1000);    // and found something
        QVERIFY(longer > 200);    // many checked in full after the index

        // Changes through a data set keep the index in step.
        DataSet ds(&c, QStringLiteral("ds"));
        ds.setCommandText(QStringLiteral("select * from 客户数据 order by id"));
        ds.open();
        ds.edit();
        ds.setValue(QStringLiteral("手机"), QStringLiteral("18877776666"));
        ds.post();
        ds.append();
        ds.setValue(QStringLiteral("宅电"), QStringLiteral("020-55554444"));
        ds.post();
        ds.last();
        ds.prior();
        const qint64 gone = ds.value(QStringLiteral("ID")).toLongLong();
        const QString goneNumber = ds.text(QStringLiteral("手机"));
        ds.remove();
        auto find = [&](const QString& n) { return keys(db, indexedLookupStatement(n)); };
        QCOMPARE(find(QStringLiteral("77776666")).size(), 1);
        QCOMPARE(find(QStringLiteral("55554444")).size(), 1);
        if (goneNumber.size() >= 3)
            QVERIFY(!find(goneNumber).contains(gone));
    }
};

QTEST_GUILESS_MAIN(TestNumberIndex)
#include "test_numberindex.moc"
