// The row cache and the key list underneath the data sets: page edges,
// eviction, shifted rows, keys arriving from both ends.

#include <QTest>

#include "data/dataset/keylist.h"
#include "data/dataset/rowcache.h"

namespace {

// Rows of a 250-row table: row r holds r and "r<r>".
RowCache::Row tableRow(int r) { return {r, QStringLiteral("r%1").arg(r)}; }

void putTablePage(RowCache& c, int page, int rows = 250)
{
    QVector<RowCache::Row> p;
    for (int r = c.firstRowOf(page); r < std::min(rows, c.firstRowOf(page + 1)); ++r)
        p.append(tableRow(r));
    c.putPage(page, p);
}

}  // namespace

class TestRowCache : public QObject {
    Q_OBJECT
private slots:
    void pageEdgesOfA250RowTable()
    {
        RowCache c(100, 2);
        for (int page : {0, 1, 2})
            putTablePage(c, page);
        // Only two pages are kept: page 0 went first.
        QVERIFY(!c.contains(99));
        for (int r : {100, 199, 200, 249})
            QCOMPARE(c.find(r)->at(0).toInt(), r);
        QVERIFY(!c.find(250));  // past the short last page
        putTablePage(c, 0);
        QCOMPARE(c.find(99)->at(1).toString(), QStringLiteral("r99"));
        QCOMPARE(c.find(0)->at(0).toInt(), 0);
        QCOMPARE(c.pageCount(), 2);
    }

    void leastRecentlyUsedGoesAndHandedOutRowsStay()
    {
        RowCache c(100, 2);
        putTablePage(c, 0);
        putTablePage(c, 1);
        const RowCache::Row kept = *c.find(99);  // page 0 used last
        putTablePage(c, 2);
        QVERIFY(c.contains(99));
        QVERIFY(!c.contains(100));
        // A long scroll evicts everything; a row handed out earlier is intact.
        for (int page = 3; page < 400; ++page)
            putTablePage(c, page, 40000);
        QCOMPARE(c.pageCount(), 2);
        QVERIFY(c.contains(39999) && c.contains(39800) && !c.contains(99));
        QCOMPARE(kept, tableRow(99));
    }

    void shiftedRowsDropTheirPages()
    {
        RowCache c(100, 8);
        for (int page : {0, 1, 2})
            putTablePage(c, page);
        QVERIFY(c.update(150, {150, QStringLiteral("changed")}));
        QCOMPARE(c.find(150)->at(1).toString(), QStringLiteral("changed"));
        QVERIFY(!c.update(300, tableRow(300)));
        // A row inserted at 100 moves every row from 100 on.
        c.invalidateFrom(100);
        QVERIFY(c.contains(99));
        QVERIFY(!c.contains(100) && !c.contains(249));
        c.invalidateFrom(99);
        QVERIFY(!c.contains(0));
    }

    void rowsOnPageEdgesChangeAndMove()
    {
        RowCache c(100, 8);
        for (int page : {0, 1, 2})
            putTablePage(c, page);  // 250 rows: the last page holds 50
        // First and last rows of full pages and of the short last page.
        for (int r : {0, 99, 100, 199, 200, 249}) {
            QVERIFY2(c.update(r, {r, QStringLiteral("changed")}), qPrintable(QString::number(r)));
            QCOMPARE(c.find(r)->at(1).toString(), QStringLiteral("changed"));
        }
        QVERIFY(!c.update(250, tableRow(250)));
        QVERIFY(!c.contains(250));
        // A row inserted on the last row of a page moves that row: its page
        // goes, the page before stays as it is.
        c.invalidateFrom(199);
        QCOMPARE(c.find(99)->at(1).toString(), QStringLiteral("changed"));
        QVERIFY(!c.contains(100) && !c.contains(199) && !c.contains(200));
        putTablePage(c, 1);
        c.invalidateFrom(100);  // and on the first row of one
        QVERIFY(c.contains(99) && !c.contains(100));
    }

    void keysFromBothEndsAndEditsBetween()
    {
        KeyList k;
        k.reset(10);  // keys 10 ... 1 in the list's order
        QVERIFY(!k.isKnown(0) && !k.isKnown(9));
        for (qint64 key : {10, 9, 8})
            k.pushFront(key);
        for (qint64 key : {1, 2})
            k.pushBack(key);
        QCOMPARE(k.unknown(), 5);
        QCOMPARE(k.at(2), 8);
        QCOMPARE(k.at(9), 1);
        QCOMPARE(k.at(8), 2);
        QVERIFY(!k.isKnown(3) && !k.isKnown(7));
        k.insert(10, 11);  // appended at the end
        QCOMPARE(k.at(10), 11);
        QCOMPARE(k.at(9), 1);
        k.insert(1, 12);  // before the second row
        QCOMPARE(k.size(), 12);
        QCOMPARE(k.at(1), 12);
        QCOMPARE(k.at(2), 9);
        QCOMPARE(k.at(11), 11);
        k.remove(0);
        k.remove(10);  // the appended one
        QCOMPARE(k.size(), 10);
        QCOMPARE(k.at(0), 12);
        QCOMPARE(k.at(9), 1);
        for (qint64 key : {7, 6, 5, 4, 3})
            k.pushFront(key);
        QCOMPARE(k.unknown(), 0);
        QList<qint64> all;
        for (int r = 0; r < k.size(); ++r)
            all << k.at(r);
        QCOMPARE(all, (QList<qint64>{12, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
    }
};

QTEST_GUILESS_MAIN(TestRowCache)
#include "test_rowcache.moc"
