// The caller lookup's number index: the digits of every stored number, built
// once for a database that lacks it or has an older form, in the background
// for a large table, kept in step by its triggers; the indexed statement
// finds the same customers in the same order as the one without the index.

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/engine/dberror.h"
#include "data/numbers/numberindex.h"
#include "testdb.h"

namespace {

QString file() { return testutil::makeProgramFolder() + QStringLiteral("data/web.mdb"); }

QString pick(QRandomGenerator& r, const QStringList& from) { return from.at(r.bounded(int(from.size()))); }

QString literal(const QString& v) { return v.isNull() ? QStringLiteral("null") : "'" + quotedValue(v) + "'"; }

// Customers with numbers written the ways offices write them.
void fill(const QString& db, int n, quint32 seed = 7)
{
    QRandomGenerator r(seed);
    const QStringList codes = {"010", "021", "0571", "0755", "0371", "(0571) ", "+86 571 ", "0086-21-", ""};
    const QStringList seps = {"", "-", " ", "　", ".", "－"};
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
            case 2: return pick(r, codes) + digits(4) + pick(r, seps) + digits(4);
            case 3: return "+86 1" + digits(2) + "-" + digits(4) + "-" + digits(4);
            case 4: return digits(3 + r.bounded(5)) + "转" + digits(3);
            case 5: return "1%5_" + digits(4) + "'x";  // wildcards and a quote as text
            case 6: return "１３" + digits(3) + "ａ" + digits(6);  // full-width, a letter
            default: return digits(7);
            }
        };
        rows << "(" + literal(number()) + ", " + literal(number()) + ", " + literal(number()) + ")";
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

qint64 scalar(QSqlDatabase& db, const QString& sql) { return keys(db, sql).value(0, -1); }

// What the index holds of one customer: 手机|电话|宅电, or "-" without a row.
QString indexRow(const QSqlDatabase& db, qint64 id)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select 手机, 电话, 宅电 from 客户号码 where rowid = ?"));
    q.addBindValue(id);
    if (!q.exec())
        qFatal("index read failed");
    if (!q.next())
        return QStringLiteral("-");
    return QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()}.join('|');
}

// Every customer's numbers in the index as their digits, nothing else in
// it, and the index sound.
void verifyIndexMatchesTable(QSqlDatabase& db)
{
    const qint64 customers = scalar(db, QStringLiteral("select count(*) from 客户数据"));
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户号码")), customers);
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户数据 c join 客户号码 i on i.rowid = c.ID "
                                       "where i.手机 is phone_digits(c.手机) and i.电话 is phone_digits(c.电话) "
                                       "and i.宅电 is phone_digits(c.宅电)")),
             customers);
    QSqlQuery check(db);
    QVERIFY(check.exec(QStringLiteral("insert into 客户号码(客户号码, rank) values ('integrity-check', 1)")));
}

// Whether the file's index is complete, seen by a connection of its own.
bool completeIn(const QString& path)
{
    bool complete = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
        db.setDatabaseName(path);
        complete = db.open() && numberindex::isComplete(db);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("look"));
    return complete;
}

// The index in the form of the first version: the stored text as it is,
// read from the table, under the same names.
void makeOlderIndex(const QString& path)
{
    testutil::execute(path, QStringLiteral(
        "create virtual table 客户号码 using fts5(手机, 电话, 宅电, content='客户数据', "
        "content_rowid='ID', tokenize='trigram')"));
    testutil::execute(path, QStringLiteral(
        "create trigger 客户号码_ai after insert on 客户数据 begin insert into 客户号码(rowid, 手机, 电话, 宅电) "
        "values (new.ID, new.手机, new.电话, new.宅电); end"));
    testutil::execute(path, QStringLiteral(
        "create trigger 客户号码_ad after delete on 客户数据 begin insert into 客户号码(客户号码, rowid, 手机, "
        "电话, 宅电) values ('delete', old.ID, old.手机, old.电话, old.宅电); end"));
    testutil::execute(path, QStringLiteral(
        "create trigger 客户号码_au after update of 手机, 电话, 宅电 on 客户数据 begin "
        "insert into 客户号码(客户号码, rowid, 手机, 电话, 宅电) values ('delete', old.ID, old.手机, old.电话, old.宅电); "
        "insert into 客户号码(rowid, 手机, 电话, 宅电) values (new.ID, new.手机, new.电话, new.宅电); end"));
    testutil::execute(path, QStringLiteral("insert into 客户号码(客户号码) values ('rebuild')"));
}

}  // namespace

class TestNumberIndex : public QObject {
    Q_OBJECT
private slots:
    void olderIndexRebuiltOnceToDigits()
    {
        const QString path = file();
        testutil::execute(path, QStringLiteral("insert into 客户数据 (手机, 电话, 宅电) values "
                                               "('+86 138-1234-5678', '(0571) 8765-4321', '0571　87654321')"));
        makeOlderIndex(path);
        {
            Connection c(QStringLiteral("c"));
            c.setLocation(DatabaseLocation::ofFile(path));
            c.open();
            QVERIFY(c.hasNumberIndex());
            QSqlDatabase db = c.database();
            QCOMPARE(indexRow(db, 1), QStringLiteral("13812345678|057187654321|057187654321"));
            verifyIndexMatchesTable(db);
            // A mark that a second build would wipe out.
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("insert into 客户号码(rowid, 手机) values (999, '777')")));
        }
        Connection again(QStringLiteral("again"));
        again.setLocation(DatabaseLocation::ofFile(path));
        again.open();
        QVERIFY(again.hasNumberIndex());
        QCOMPARE(indexRow(again.database(), 999), QStringLiteral("777||"));
        again.close();
        // An index marked with another version is built anew as well.
        testutil::execute(path, QStringLiteral("update 客户号码版本 set 版本 = ") +
                                    QString::number(numberindex::kVersion - 1));
        again.open();
        QVERIFY(again.hasNumberIndex());
        QCOMPARE(indexRow(again.database(), 999), QStringLiteral("-"));
        QCOMPARE(indexRow(again.database(), 1), QStringLiteral("13812345678|057187654321|057187654321"));
    }

    // Keys that are no whole numbers ('id1', a text beside a number, 2.5) end the
    // build with a reason: every step must move on, whatever the data.
    // Without that the window thread looped for ever at every start.
    void keysThatAreNoNumbersEndTheBuild()
    {
        const QString path = file();
        for (const QString& keys : {QStringLiteral("('id1', '13900000001'), ('id2', '13900000002')"),
                                    QStringLiteral("(1, '13900000001'), ('id2', '13900000002')"),
                                    QStringLiteral("(1, '13900000001'), (2.5, '13900000002')")}) {
            // A table of its own each time (with it go the triggers of a
            // build begun, which only the program's connections can run).
            testutil::execute(path, QStringLiteral("drop table 客户数据"));
            testutil::execute(path, QStringLiteral("create table 客户数据 (ID TEXT, 联系人, 电话, 手机, 宅电)"));
            testutil::execute(path, QStringLiteral("insert into 客户数据 (ID, 手机) values ") + keys);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("keys"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            numberindex::addDigitsFunction(db);
            QVERIFY_THROWS_EXCEPTION(DbError, numberindex::ensure(db));
            QVERIFY(!numberindex::isComplete(db));
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("keys"));
        }
        // The program still opens such a file, without the index.
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(path));
        c.open();
        QVERIFY(!c.hasNumberIndex());
    }

    void largeTableIndexedWhileTheProgramWorks()
    {
        const QString path = file();
        const int n = int(numberindex::kInlineRows) + 3 * numberindex::kStep + 17;
        fill(path, n);
        testutil::execute(path, QStringLiteral("update 客户数据 set 宅电 = '0571-87654321' where ID = 5"));
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(path));
        c.open();
        QSqlDatabase db = c.database();
        // Not there yet, the lookup still finds the customer (without it).
        QVERIFY(!c.hasNumberIndex());
        QVERIFY(keys(db, digitsLookupStatement(QStringLiteral("057187654321"))).contains(5));
        // Interrupted: not marked complete; the next open goes on.
        c.close();
        QVERIFY(!completeIn(path));
        c.open();
        QVERIFY(!c.hasNumberIndex());
        db = c.database();
        // Customers stored, changed and removed while the build goes on.
        DataSet ds(&c, QStringLiteral("ds"));
        ds.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        ds.open();
        ds.append();
        ds.setValue(QStringLiteral("手机"), QStringLiteral("+86 139-8888-7777"));
        ds.post();
        testutil::execute(path, QStringLiteral("update 客户数据 set 宅电 = '020 6666 5555' where ID = ") +
                                    QString::number(n - 1));
        testutil::execute(path, QStringLiteral("delete from 客户数据 where ID = 3"));
        QTRY_VERIFY_WITH_TIMEOUT(c.hasNumberIndex(), 60000);
        QVERIFY(numberindex::isComplete(db));
        verifyIndexMatchesTable(db);
        QCOMPARE(indexRow(db, 3), QStringLiteral("-"));
        QCOMPARE(indexRow(db, n + 1), QStringLiteral("13988887777||"));
        QVERIFY(indexRow(db, n - 1).endsWith(QStringLiteral("|02066665555")));
    }

    void indexedLookupFindsWhatTheDigitsLookupFinds()
    {
        const QString path = file();
        fill(path, 3000);
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(path));
        c.open();
        QVERIFY(c.hasNumberIndex());
        QSqlDatabase db = c.database();

        // Numbers as they arrive: parts of stored numbers with and without
        // area codes and separators, random digits, short ones, quotes and
        // wildcards.
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
                n = s;  // a whole stored number, longer than the index's key
            numbers << n;
        }
        int found = 0, ranked = 0, longer = 0;
        for (const QString& n : numbers) {
            if (lookupNumber(n).isEmpty())
                continue;
            longer += lookupNumber(n).size() > 8;
            const QList<qint64> want = keys(db, "select ID from (\r\n" + digitsLookupStatement(n) + "\r\n)");
            const QList<qint64> got = keys(db, "select ID from (\r\n" + indexedLookupStatement(n) + "\r\n)");
            found += !want.isEmpty();
            QList<qint64> sorted = want;
            std::sort(sorted.begin(), sorted.end());
            ranked += sorted != want;
            if (want != got)
                QFAIL(qPrintable(n + " (local " + lookupNumber(n) + "): " + QString::number(want.size()) +
                                 " rows, indexed " + QString::number(got.size())));
        }
        QVERIFY2(found > 400, qPrintable(QString::number(found)));    // most found something
        QVERIFY2(ranked > 15, qPrintable(QString::number(ranked)));   // some in another order than by key
        QVERIFY2(longer > 50, qPrintable(QString::number(longer)));   // many checked in full after the index
    }

    void changesThroughTheProgramReachTheIndex()
    {
        const QString path = file();
        testutil::addCustomers(path, 3);
        Connection c(QStringLiteral("c"));
        c.setLocation(DatabaseLocation::ofFile(path));
        c.open();
        QVERIFY(c.hasNumberIndex());
        QSqlDatabase db = c.database();
        DataSet ds(&c, QStringLiteral("ds"));
        ds.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), false));
        ds.open();
        // Each of the three columns changed, then a customer removed.
        ds.edit();
        ds.setValue(QStringLiteral("宅电"), QStringLiteral("0571-8888 7777"));
        ds.post();
        QCOMPARE(indexRow(db, 1), QStringLiteral("13900000001||057188887777"));
        ds.edit();
        ds.setValue(QStringLiteral("电话"), QStringLiteral("(020)1234-5678"));
        ds.setValue(QStringLiteral("手机"), QString());
        ds.post();
        QCOMPARE(indexRow(db, 1), QStringLiteral("|02012345678|057188887777"));
        ds.next();
        const qint64 gone = ds.value(QStringLiteral("ID")).toLongLong();
        ds.remove();
        QCOMPARE(indexRow(db, gone), QStringLiteral("-"));
        QVERIFY(!keys(db, indexedLookupStatement(QStringLiteral("13900000002"))).contains(gone));
        // Stored by another connection of the program.
        testutil::execute(path, QStringLiteral("insert into 客户数据 (ID, 手机) values (50, '+86 137 0000 1111')"));
        QCOMPARE(indexRow(db, 50), QStringLiteral("13700001111||"));
        QCOMPARE(keys(db, indexedLookupStatement(QStringLiteral("13700001111"))), QList<qint64>{50});
        verifyIndexMatchesTable(db);
    }
};

QTEST_GUILESS_MAIN(TestNumberIndex)
#include "test_numberindex.moc"
