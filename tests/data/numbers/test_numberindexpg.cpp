// The caller lookup on the server: the same ~3,000 customers stored in an
// SQLite file and on a PostgreSQL server; for some 800 numbers the server's
// indexed lookup finds the rows of its lookup without the index, and those
// of the SQLite file, in the same order.  The index's triggers keep it in
// step, and a table that already holds rows gets them indexed when opened.

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <algorithm>
#include <memory>

#include "rules/calls/callrules.h"
#include "data/connection/connection.h"
#include "data/numbers/numberindex.h"
#include "testdb.h"
#include "testpg.h"

namespace {

QString pick(QRandomGenerator& r, const QStringList& from) { return from.at(r.bounded(int(from.size()))); }

// Customers' three numbers written the ways offices write them (null: none).
QList<QStringList> customers(int n)
{
    QRandomGenerator r(7);
    const QStringList codes = {"010", "021", "0571", "0755", "0371", "(0571) ", "+86 571 ", "0086-21-", ""};
    const QStringList seps = {"", "-", " ", "　", ".", "－"};
    auto digits = [&](int len) {
        QString s;
        for (int k = 0; k < len; ++k)
            s += QChar('0' + r.bounded(10));
        return s;
    };
    auto number = [&]() -> QString {
        switch (r.bounded(8)) {
        case 0: return QString();
        case 1: return "13" + digits(9);
        case 2: return pick(r, codes) + digits(4) + pick(r, seps) + digits(4);
        case 3: return "+86 1" + digits(2) + "-" + digits(4) + "-" + digits(4);
        case 4: return digits(3 + r.bounded(5)) + "转" + digits(3);
        case 5: return "1%5_" + digits(4) + "'x";
        case 6: return "１３" + digits(3) + "ａ" + digits(6);
        default: return digits(7);
        }
    };
    QList<QStringList> out;
    for (int i = 0; i < n; ++i)
        out << QStringList{number(), number(), number()};
    return out;
}

void store(QSqlDatabase db, const QList<QStringList>& rows)
{
    QVERIFY(db.transaction());
    QSqlQuery q(db);
    QVERIFY(q.prepare(QStringLiteral("insert into 客户数据 (手机, 电话, 宅电) values (?, ?, ?)")));
    for (const QStringList& row : rows) {
        for (const QString& v : row)
            q.addBindValue(v.isNull() ? QVariant() : QVariant(v));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }
    QVERIFY(db.commit());
}

QList<qint64> keys(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql))
        qFatal("statement failed: %s\n%s", qPrintable(sql), qPrintable(q.lastError().text()));
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    return ids;
}

// The index holds every customer's numbers as their digits, nothing else.
void verifyIndexMatchesTable(QSqlDatabase db)
{
    const qint64 n = keys(db, QStringLiteral("select count(*) from 客户数据")).value(0);
    QCOMPARE(keys(db, QStringLiteral("select count(*) from 客户号码")).value(0), n);
    QCOMPARE(keys(db, QStringLiteral("select count(*) from 客户数据 c join 客户号码 i on i.rowid = c.id "
                                     "where i.手机 is not distinct from phone_digits(c.手机) "
                                     "and i.电话 is not distinct from phone_digits(c.电话) "
                                     "and i.宅电 is not distinct from phone_digits(c.宅电)"))
                 .value(0),
             n);
}

// Numbers as they arrive: parts of stored numbers with and without area
// codes, random digits, whole numbers, quotes and wildcards.
QStringList arrivingNumbers(const QList<QStringList>& rows)
{
    QStringList stored;
    for (const QStringList& row : rows)
        for (const QString& v : row)
            if (!v.isNull())
                stored << v;
    QRandomGenerator r(11);
    QStringList numbers = {"0", "0571", "1", "13", "139", "'", "%", "_", "1%5", "5_'x", "转", "0571-",
                           "+86", "0086", "8888", "(021)", "0755 2", "１３９", "+86 571 8"};
    for (int i = 0; i < 800; ++i) {
        const QString s = pick(r, stored);
        const int from = r.bounded(int(s.size()));
        QString n = s.mid(from, 1 + r.bounded(int(s.size()) - from));
        if (i % 5 == 0)
            n = pick(r, {"0571", "021", "0755", "010", "+86", "0086"}) + n;
        if (i % 11 == 0)
            n = QString::number(r.bounded(1000000));
        if (i % 13 == 0)
            n = s;
        numbers << n;
    }
    return numbers;
}

}  // namespace

class TestNumberIndexOnServer : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }

    void bothEnginesFindTheSameCustomers()
    {
        const QList<QStringList> rows = customers(3000);
        // The SQLite file.
        Connection lite(QStringLiteral("lite"));
        lite.setLocation(DatabaseLocation::ofFile(testutil::makeProgramFolder() +
                                 QStringLiteral("data/web.mdb")));
        lite.open();
        store(lite.database(), rows);
        // The server: the tables made by the open, the rows indexed by the
        // triggers as they are stored.
        QVERIFY(server_->createDatabase(QStringLiteral("号码")));
        Connection pg(QStringLiteral("pg"));
        pg.setLocation(DatabaseLocation::ofUri(server_->uri(QStringLiteral("号码"))));
        pg.open();
        QVERIFY(pg.hasNumberIndex());
        store(pg.database(), rows);
        verifyIndexMatchesTable(pg.database());

        int found = 0, ranked = 0, longer = 0;
        for (const QString& n : arrivingNumbers(rows)) {
            if (lookupNumber(n).isEmpty())
                continue;
            longer += lookupNumber(n).size() > 8;
            const QString digits = "select ID from (\r\n" + digitsLookupStatement(n) + "\r\n) as l";
            const QString indexed = "select ID from (\r\n" + indexedLookupStatement(n) + "\r\n) as l";
            const QList<qint64> want = keys(lite.database(), digits);
            const QList<qint64> plain = keys(pg.database(), digits);
            const QList<qint64> got = keys(pg.database(), indexed);
            found += !want.isEmpty();
            QList<qint64> sorted = want;
            std::sort(sorted.begin(), sorted.end());
            ranked += sorted != want;
            if (want != plain || want != got)
                QFAIL(qPrintable(n + " (local " + lookupNumber(n) + "): SQLite " + QString::number(want.size()) +
                                 " rows, server " + QString::number(plain.size()) + ", indexed " +
                                 QString::number(got.size())));
        }
        QVERIFY2(found > 400, qPrintable(QString::number(found)));
        QVERIFY2(ranked > 15, qPrintable(QString::number(ranked)));
        QVERIFY2(longer > 50, qPrintable(QString::number(longer)));

        // Changed and removed customers leave the index in step.
        QSqlQuery q(pg.database());
        QVERIFY(q.exec(QStringLiteral("update 客户数据 set 手机 = '+86 137 0000 1111', 宅电 = null where id = 5")));
        QVERIFY(q.exec(QStringLiteral("delete from 客户数据 where id = 6")));
        QCOMPARE(keys(pg.database(), indexedLookupStatement(QStringLiteral("13700001111"))), QList<qint64>{5});
        verifyIndexMatchesTable(pg.database());
    }

    void rowsStoredBeforeTheIndexAreIndexedWhenOpened()
    {
        QVERIFY(server_->createDatabase(QStringLiteral("旧库")));
        const DatabaseLocation where = DatabaseLocation::ofUri(server_->uri(QStringLiteral("旧库")));
        Connection pg(QStringLiteral("pg"));
        pg.setLocation(where);
        pg.open();
        // The index taken away, rows stored meanwhile (as by an older
        // program or another tool).
        {
            QSqlQuery q(pg.database());
            for (const QString& sql : pg.engine().numberIndexRemoval({numberIndexTable, QStringLiteral("客户数据"),
                                                                      {QStringLiteral("手机"), QStringLiteral("电话"),
                                                                       QStringLiteral("宅电")}}))
                QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        }
        store(pg.database(), customers(1200));
        QVERIFY(!numberindex::isComplete(pg.database()));
        pg.close();
        pg.open();
        QVERIFY(pg.hasNumberIndex());
        verifyIndexMatchesTable(pg.database());
    }
};

QTEST_GUILESS_MAIN(TestNumberIndexOnServer)
#include "test_numberindexpg.moc"
