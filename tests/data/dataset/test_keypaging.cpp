// The keys of a list read as rows are needed, from the nearer end, and its
// rows by key a page at a time.

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "data/connection/connection.h"
#include "data/dataset/datasettest.h"
#include "data/dataset/keypaging.h"

using namespace datasettest;

class TestKeyPaging : public QObject, protected datasettest::DataSetFixture {
    Q_OBJECT
private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void keysReadFromTheNearerEndMatchTheTable()
    {
        testutil::addCustomers(file_, 5000);
        conn_->open();
        KeyPaging paging(*conn_, QStringLiteral("\"ID\""), {QStringLiteral("select * from 客户数据"), {}},
                         KeyPaging::Order::Descending);
        bool more = false;
        QSqlQuery failed(conn_->database());
        QVERIFY(paging.readFirst(100, &more, &failed));
        QVERIFY(more);
        QCOMPARE(paging.keys().size(), 100);
        QCOMPARE(testutil::valueOf(file_, paging.countStatement().sql).toInt(), 5000);
        // Another program stores a record: not a row of the list.
        testutil::execute(file_, QStringLiteral("insert into 客户数据 (联系人) values ('别处')"));
        QCOMPARE(testutil::valueOf(file_, paging.countStatement().sql).toInt(), 5000);
        QCOMPARE(testutil::valueOf(file_, paging.countNowStatement().sql).toInt(), 5000);
        paging.keys().setCount(5000);
        // The last rows first, then the middle, then all of them in order.
        QString error;
        QVERIFY(paging.load(4999, QStringLiteral("customers"), &error));
        QCOMPARE(paging.keys().at(4999), 1);
        QVERIFY(paging.load(2500, QStringLiteral("customers"), &error));
        QCOMPARE(paging.keys().at(2500), 2500);
        QStringList ids;
        for (int r = 0; r < 5000; ++r) {
            QVERIFY(paging.load(r, QStringLiteral("customers"), &error));
            ids << QString::number(paging.keys().at(r));
        }
        QCOMPARE(ids, column(file_, QStringLiteral("select id from 客户数据 where id <= 5000 order by id desc")));

        // Fewer rows than counted: the list is said to be out of date.
        testutil::execute(file_, QStringLiteral("delete from 客户数据 where id <= 10"));
        KeyPaging shrunk(*conn_, paging.keyName(), paging.base(), KeyPaging::Order::Ascending);
        QVERIFY(shrunk.readFirst(5, &more, &failed));
        shrunk.keys().setCount(6000);
        bool read = true;
        for (int r = 0; read && r < 6000; ++r)
            read = shrunk.load(r, QStringLiteral("customers"), &error);
        QVERIFY(!read);
        QCOMPARE(error, QStringLiteral("customers: 记录已被其他程序删除，请重新打开列表。"));
    }

    void rowsByKeyIncludeStoredOnesTheStatementDoesNotSelect()
    {
        testutil::addCustomers(file_, 20);
        conn_->open();
        const QStringList fields{QStringLiteral("ID"), QStringLiteral("联系人")};
        Query list;
        list.table = QStringLiteral("客户数据");
        list.columns = fields;
        list.conditions = {{QStringLiteral("ID"), QStringLiteral(">"), 15}};
        KeyPaging paging(*conn_, QStringLiteral("\"ID\""), list.render(), KeyPaging::Order::Ascending);
        bool more = true;
        QSqlQuery failed(conn_->database());
        QVERIFY(paging.readFirst(100, &more, &failed));
        QVERIFY(!more);
        QCOMPARE(paging.keys().size(), 5);
        paging.keys().insert(0, 3);  // stored through the list, outside its statement
        testutil::execute(file_, QStringLiteral("delete from 客户数据 where id = 17"));
        QVector<QVector<QVariant>> rows;
        QString error;
        QVERIFY(paging.readRows(0, 6, fields, 0, QStringLiteral("客户数据"), &rows, &error));
        QStringList seen;
        for (const auto& r : rows)
            seen << r[0].toString() + QLatin1Char(':') + r[1].toString();
        QCOMPARE(seen, (QStringList{"3:客户3", "16:客户16", "17:", "18:客户18", "19:客户19", "20:客户20"}));

        // When the stored ones cannot be read (their table gone, renamed by
        // another program), the page is a failure, not rows with only a key.
        rows.clear();
        QVERIFY(!paging.readRows(0, 6, fields, 0, QStringLiteral("旧客户数据"), &rows, &error));
        QVERIFY(error.contains(QStringLiteral("旧客户数据")));
        QVERIFY(rows.isEmpty());
    }

    void aStepReadElsewhereIsTakenOnlyWhileNoKeysCameMeanwhile()
    {
        testutil::addCustomers(file_, 5000);
        conn_->open();
        KeyPaging paging(*conn_, QStringLiteral("\"ID\""), {QStringLiteral("select * from 客户数据"), {}},
                         KeyPaging::Order::Descending);
        bool more = false;
        QSqlQuery failed(conn_->database());
        QVERIFY(paging.readFirst(100, &more, &failed));
        paging.keys().setCount(5000);
        // The keys a step reads, on another connection to the database (the
        // list's statement has no values).
        auto readStep = [&](const KeyPaging::KeyStep& step) {
            std::vector<qint64> keys;
            for (const QString& k : column(file_, step.statement.sql))
                keys.push_back(k.toLongLong());
            return keys;
        };
        const KeyPaging::KeyStep stale = paging.stepToward(2000, 500);
        QVERIFY(stale.front);
        QCOMPARE(stale.want, 500);
        const std::vector<qint64> staleKeys = readStep(stale);
        // Keys read here first: the step's keys would stand twice.
        QString error;
        QVERIFY(paging.load(150, QStringLiteral("customers"), &error));
        const int known = paging.keys().frontKnown();
        QVERIFY(!paging.takeStep(stale, staleKeys));
        QCOMPARE(paging.keys().frontKnown(), known);
        // A step made now is taken, and goes on where the keys stood.
        const KeyPaging::KeyStep fresh = paging.stepToward(known, 500);
        QVERIFY(paging.takeStep(fresh, readStep(fresh)));
        QCOMPARE(paging.keys().frontKnown(), known + 500);
        for (int r = known - 1; r <= known + 1; ++r)
            QCOMPARE(paging.keys().at(r), 5000 - r);
    }
};

QTEST_MAIN(TestKeyPaging)
#include "test_keypaging.moc"
