// The import's rows as they reach the customer table: every value where its
// column sends it, whatever set of cells a row fills, over many rows; a row
// the database refuses stops the run there with its reason; the progress
// ends at the last row.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include "data/connection/connection.h"
#include "data/transfer/importrun.h"
#include "rules/formats/tablereader.h"
#include "data/dataset/datasettest.h"

using namespace datasettest;

namespace {

const QStringList kFields = {QStringLiteral("联系人"), QStringLiteral("手机"), QStringLiteral("公司名称"),
                             QStringLiteral("事项")};

// Rows of four columns as a file gives them.
struct Rows : TableReader {
    QList<QVariantList> rows;
    QStringList tableNames() override { return {QStringLiteral("t")}; }
    QStringList columnNames(const QString&) override { return kFields; }
    qint64 rowCount(const QString&) override { return rows.size(); }
    bool readRows(const QString&, const std::function<bool(const QVariantList&)>& row) override
    {
        for (const QVariantList& r : std::as_const(rows))
            if (!row(r))
                return true;
        return true;
    }
    QString error() const override { return {}; }
};

// Row i: a cell left empty in turn, texts of every length and script.
QVariantList rowOf(int i)
{
    QVariantList r;
    r << QStringLiteral("客户%1").arg(i) << QString::number(13900000000LL + i)
      << QString(i % 7 + 1, QChar(0x4E00 + i % 500)) + QStringLiteral("公司") << QStringLiteral("事项 “%1” é").arg(i);
    if (i % 5 < 4)
        r[i % 5] = QVariant();  // a different set of filled cells, row by row
    if (i % 11 == 0)
        r[3] = QString();  // an empty text: no value either
    return r;
}

}  // namespace

class TestImportRun : public QObject, protected DataSetFixture {
    Q_OBJECT
private slots:
    void init() { makeDatabase(); }
    void cleanup() { dropDatabase(); }

    void rowsStoredAsGiven()
    {
        conn_->open();
        Rows source;
        const int n = 1000;
        for (int i = 1; i <= n; ++i)
            source.rows << rowOf(i);
        source.rows << QVariantList{QVariant(), QVariant(), QVariant(), QVariant()};  // counts, adds nothing
        ImportMapping m;
        m.standard = QStringList{QStringLiteral("ID")} + kFields;
        m.numbers = {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")};
        QList<QPair<qint64, qint64>> told;
        const RunOutcome out = runImport(conn_->database(), {&source, QStringLiteral("t"), n + 1}, m, {},
                                         [&](qint64 done, qint64 total) { told.append({done, total}); });
        QVERIFY2(out.finished, qPrintable(out.error));
        QCOMPARE(out.count, n + 1);
        QCOMPARE(out.stored, n);
        // The progress rises and ends at the last row.
        QVERIFY(!told.isEmpty());
        QCOMPARE(told.last(), (QPair<qint64, qint64>(n + 1, n + 1)));
        for (qsizetype k = 1; k < told.size(); ++k)
            QVERIFY(told[k].first > told[k - 1].first);

        QSqlQuery q(conn_->database());
        QVERIFY(q.exec(QStringLiteral("select 联系人, 手机, 公司名称, 事项 from 客户数据 order by ID")));
        for (int i = 1; i <= n; ++i) {
            QVERIFY(q.next());
            const QVariantList want = rowOf(i);
            for (int c = 0; c < 4; ++c) {
                const QString text = want[c].toString();
                if (text.isEmpty())
                    QVERIFY2(q.value(c).isNull(), qPrintable(QStringLiteral("row %1 column %2").arg(i).arg(c)));
                else
                    QCOMPARE(q.value(c).toString(), text);
            }
        }
        QVERIFY(!q.next());
        // The caller lookup's index took them all.
        QCOMPARE(testutil::scalar(conn_->database(), QStringLiteral("select count(*) from 客户号码 where 手机 "
                                                                    "match '13900000999'"))
                     .toInt(),
                 1);
    }

    void refusedRowStopsTheRun()
    {
        conn_->open();
        testutil::exec(conn_->database(), QStringLiteral("create trigger 拒绝 before insert on 客户数据 when "
                                                         "new.联系人 = '坏客户' begin select raise(abort, '这一行不要'); end"));
        Rows source;
        source.rows << rowOf(4) << rowOf(6) << QVariantList{QStringLiteral("坏客户"), {}, {}, {}} << rowOf(8);
        ImportMapping m;
        m.standard = QStringList{QStringLiteral("ID")} + kFields;
        m.numbers = {QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5")};
        const RunOutcome out = runImport(conn_->database(), {&source, QStringLiteral("t"), 4}, m, {}, {});
        QVERIFY(!out.finished);
        QCOMPARE(out.stored, 2);
        QVERIFY2(out.error.startsWith(QStringLiteral("第3行数据不能保存：这一行不要")), qPrintable(out.error));
        QVERIFY2(out.error.contains(QStringLiteral("此前的2条数据已经导入")), qPrintable(out.error));
        QCOMPARE(testutil::scalar(conn_->database(), QStringLiteral("select count(*) from 客户数据")).toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestImportRun)
#include "test_importrun.moc"
