// The rows an export writes: every value as Qt's own reading of the row
// gives it (NULL, empty texts, whole numbers, numbers with a fraction, long
// and wide texts), in order over many rows and several workbooks; a stop in
// the middle leaves no file and no thread behind.

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <stdexcept>

#include "data/connection/connection.h"
#include "data/transfer/exportrows.h"
#include "data/transfer/rowhandoff.h"
#include "rules/errors/errorreport.h"
#include "rules/formats/exportfile.h"
#include "rules/formats/readers.h"
#include "rules/transfer/spareprocessor.h"
#include "data/dataset/datasettest.h"

using namespace datasettest;

namespace {

constexpr int kRows = 1300;

// Every value of the statement as Qt's values give it, "" for NULL.
QList<QStringList> readByQt(QSqlDatabase db, const QString& sql)
{
    QList<QStringList> out;
    QSqlQuery q(db);
    q.exec(sql);
    while (q.next()) {
        QStringList row;
        for (int c = 0; c < q.record().count(); ++c)
            row << (q.value(c).isNull() ? QString() : q.value(c).toString());
        out << row;
    }
    return out;
}

QList<QStringList> readCsv(const QString& file)
{
    QString error;
    const auto reader = openTableReader(file, &error);
    QList<QStringList> out;
    if (!reader)
        return out;
    reader->readRows(reader->tableNames().first(), [&](const QVariantList& r) {
        QStringList row;
        for (const QVariant& v : r)
            row << v.toString();
        out << row;
        return true;
    });
    return out;
}

}  // namespace

class TestExportRows : public QObject, protected DataSetFixture {
    Q_OBJECT
private slots:
    void init()
    {
        makeDatabase();
        conn_->open();
        QSqlQuery q(conn_->database());
        QVERIFY(q.exec(QStringLiteral("create table 样本 (n integer primary key, a, b real, c text)")));
        QVERIFY(q.exec(QStringLiteral(
            "with recursive k(i) as (select 1 union all select i + 1 from k where i < %1) "
            "insert into 样本 select i, case i % 5 when 0 then null when 1 then i * 7 when 2 then i / 8.0 "
            "when 3 then '' else 'a\"b,' || i end, i / 3.0 + 0.1, "
            "case when i % 97 = 0 then replace(hex(zeroblob(600)), '0', '长') else '客户 ' || i end from k")
                           .arg(kRows)));
        QVERIFY(q.exec(QStringLiteral("insert into 样本 values (0, 1e20, 1.0e-7, null)")));
    }
    void cleanup()
    {
        spareprocessor::pretend(std::nullopt);
        conn_->close();
        dropDatabase();
    }

    // Written on a thread of their own (a processor to spare) and on the
    // reading thread (a busy machine).
    static void bothWays()
    {
        QTest::addColumn<bool>("spare");
        QTest::newRow("spare processor") << true;
        QTest::newRow("busy machine") << false;
    }
    void valuesAsQtReadsThemOverSeveralWorkbooks_data() { bothWays(); }
    void aStopInTheMiddleLeavesNothing_data() { bothWays(); }

    void valuesAsQtReadsThemOverSeveralWorkbooks()
    {
        QFETCH(bool, spare);
        spareprocessor::pretend(spare);
        ExportPlan plan;
        plan.statement = QStringLiteral("select * from 样本 order by n");
        plan.columns = {QStringLiteral("n"), QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")};
        plan.fileName = dir_.filePath(QStringLiteral("样本.csv"));
        plan.perWorkbook = 700;
        plan.sheetName = QStringLiteral("样本");
        const ExportReport report = writeWorkbooks(conn_->database(), plan, ExportSteps());
        QVERIFY2(report.failures.isEmpty(), qPrintable(report.failures.join(QLatin1Char('\n'))));
        QCOMPARE(report.records, kRows + 1);
        QCOMPARE(report.written.size(), 2);

        const QList<QStringList> want = readByQt(conn_->database(), plan.statement);
        QList<QStringList> got;
        for (const QString& file : report.written) {
            const QList<QStringList> rows = readCsv(file);
            QVERIFY(!rows.isEmpty());
            got += rows;
        }
        QCOMPARE(got.size(), want.size());
        for (qsizetype r = 0; r < want.size(); ++r)
            QCOMPARE(got[r], want[r]);
    }

    void aStopInTheMiddleLeavesNothing()
    {
        QFETCH(bool, spare);
        spareprocessor::pretend(spare);
        ExportPlan plan;
        plan.statement = QStringLiteral("select * from 样本 order by n");
        plan.columns = {QStringLiteral("n"), QStringLiteral("c")};
        for (const char* ext : {".xls", ".xlsx", ".csv"}) {
            plan.fileName = dir_.filePath(QStringLiteral("停止") + QLatin1String(ext));
            ExportSteps steps;
            int checks = 0;
            steps.checkStop = [&checks] {
                if (++checks == 4)
                    throw std::runtime_error("stop");
            };
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, writeWorkbooks(conn_->database(), plan, steps));
            QVERIFY(!QFileInfo::exists(plan.fileName));
        }
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).filter(QStringLiteral("停止")),
                 QStringList());
    }

    // On a busy machine an .xlsx is made from the file's UTF-8 texts as they
    // are, on a spare one from their decoding: the two hold the same cells,
    // also for bytes that are no UTF-8, characters XML cannot carry, a
    // number with a fraction and a text past a cell's limit (cut alike).
    void aWorkbookHoldsTheSameCellsWhicheverWayItIsMade()
    {
        QSqlQuery q(conn_->database());
        QVERIFY(q.exec(QStringLiteral("create table 怪字 (n integer primary key, c)")));
        QVERIFY(q.exec(QStringLiteral(
            "insert into 怪字 (c) values (cast(x'c328' as text)), (cast(x'eda080e5bca0' as text)), "
            "(cast(x'efbfbe5f78303034315f' as text)), (cast(x'efbbbfe5bca0' as text)), (cast(x'0d0a01' as text)), "
            "(' 张三 <&> '), (2.5), (1e20), (null), (''), (replace(hex(zeroblob(20000)), '0', '长'))")));
        QList<QList<QStringList>> made;
        for (const bool spare : {true, false}) {
            spareprocessor::pretend(spare);
            ExportPlan plan;
            plan.statement = QStringLiteral("select * from 怪字 order by n");
            plan.columns = {QStringLiteral("n"), QStringLiteral("c")};
            plan.fileName = dir_.filePath(spare ? QStringLiteral("spare.xlsx") : QStringLiteral("busy.xlsx"));
            plan.sheetName = QStringLiteral("怪字");
            ExportReport report;
            try { report = writeWorkbooks(conn_->database(), plan, ExportSteps()); } catch (const std::exception& e) { QFAIL(e.what()); }
            QVERIFY2(report.failures.isEmpty(), qPrintable(report.failures.join(QLatin1Char('\n'))));
            QCOMPARE(report.cutTotal(), 1);
            made << readCsv(report.written.value(0));
        }
        QCOMPARE(made[1].size(), 11);
        QCOMPARE(made[1], made[0]);
        // Spot checks of what both hold.
        const QList<QStringList> byQt = readByQt(conn_->database(), QStringLiteral("select * from 怪字 order by n"));
        for (int r : {3, 5, 6, 7})  // a leading byte order mark is the text's too
            QCOMPARE(made[1][r], byQt[r]);
        QCOMPARE(made[1][10][1].size(), exportfile::kCellTextLimit);
        QCOMPARE(made[1][2][1], QString(QChar(0xFFFE)) + QStringLiteral("_x0041_"));
    }

    // What the writing thread throws comes out of finish(), however many
    // rows are still handed after it; without finish() the rows left are
    // dropped and nothing waits.
    void theWritersFailureComesBack()
    {
        int written = 0;
        RowHandoff failing([&written](const QStringList& row) {
            if (row.first() == QStringLiteral("700"))
                throw std::runtime_error("full");
            ++written;
        });
        for (int i = 0; i < 20 * RowHandoff::kBatchRows; ++i) {
            QStringList row{QString::number(i)};
            failing.add(row);
        }
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, failing.finish());
        QCOMPARE(written, 700);

        QStringList seen;
        {
            RowHandoff dropped([&seen](const QStringList& row) { seen << row.first(); });
            for (int i = 0; i < 3; ++i) {
                QStringList row{QString::number(i)};
                dropped.add(row);
            }
        }
        QVERIFY(seen.isEmpty());  // a batch not yet handed is never written
    }

    // The rows given back are filled again in place, as the export's reading
    // does: the writing must still see every row as it was handed over, so
    // a row comes back only once it is written.
    void rowsComeBackOnlyWhenWritten()
    {
        constexpr int kCount = 40 * RowHandoff::kBatchRows;
        QStringList seen;
        int givenBack = 0;
        {
            RowHandoff handoff([&seen](const QStringList& row) { seen << row.join(QLatin1Char('/')); });
            QStringList row;
            for (int i = 0; i < kCount; ++i) {
                if (row.isEmpty())
                    row = QStringList{QString(), QString()};
                else
                    ++givenBack;
                // Overwritten in place: the memory of a row written earlier.
                row[0].setNum(i);
                row[1].fill(QLatin1Char('a' + i % 26), i % 7);
                handoff.add(row);
            }
            handoff.finish();
        }
        QCOMPARE(seen.size(), kCount);
        for (int i = 0; i < kCount; ++i)
            QCOMPARE(seen[i], QString::number(i) + QLatin1Char('/') + QString(i % 7, QLatin1Char('a' + i % 26)));
        QVERIFY2(givenBack > kCount / 2, qPrintable(QString::number(givenBack)));  // most rows are filled again
    }
};

QTEST_GUILESS_MAIN(TestExportRows)
#include "test_exportrows.moc"
