// Exporting the customer list (100,000 customers, the 17 columns beside ID)
// to .xls, .xlsx and .csv, each timed through the export's own path (rows
// read from the data set's statement in one read transaction on a
// connection of their own, as the export's worker does, written under a
// temporary name and renamed), with a bare SQLite read of the same rows printed beside it and
// the peak resident memory each export adds.
//
//   bench_export [database file [xls,xlsx,csv]]   (built on first use, shared with bench_open)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>

#include "db/connection.h"
#include "db/dataset.h"
#include "transfer/exportrows.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

const QString kSql = QStringLiteral("select * from 客户数据 order by id desc");

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double bareRead(const QString& file, const QStringList& columns, qint64* rows)
{
    double ms = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        QElapsedTimer t;
        t.start();
        q.exec(kSql);
        QVector<int> idx;
        for (const QString& c : columns)
            idx << q.record().indexOf(c);
        qint64 n = 0, chars = 0;
        while (q.next()) {
            for (int i : idx)
                chars += q.value(i).toString().size();
            ++n;
        }
        ms = t.nsecsElapsed() / 1e6;
        *rows = n;
        if (chars < 0)
            std::puts("");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString file = argc > 1 ? QString::fromLocal8Bit(argv[1]) : bench::defaultDatabase();
    bench::ensureDatabase(file);

    Connection conn(QStringLiteral("bench"));
    conn.setConnectionString(QStringLiteral("Data Source=") + file);
    DataSet ds(&conn, QStringLiteral("kehutable"));
    ds.setCommandText(kSql);
    ds.open();
    QStringList columns = ds.fieldNames();
    columns.removeAll(QStringLiteral("ID"));

    qint64 rows = 0;
    bareRead(file, columns, &rows);  // warm the file cache
    double bare = 1e18;
    for (int i = 0; i < 3; ++i)
        bare = qMin(bare, bareRead(file, columns, &rows));
    std::printf("export of %lld customers x %lld columns\n", rows, qint64(columns.size()));
    std::printf("  bare SQLite read (values as text): %8.1f ms\n", bare);

    QSqlDatabase worker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("worker"));
    worker.setDatabaseName(file);
    worker.open();
    Connection::prepareSession(worker);
    QTemporaryDir dir;
    const QStringList kinds = (argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("xls,xlsx,csv"))
                                  .split(QLatin1Char(','));
    for (const QString& ext : kinds) {
        const QString target = dir.filePath(QStringLiteral("kh.") + ext);
        double best = 1e18;
        long grown = 0;
        for (int i = 0; i < 3; ++i) {
            resetPeak();
            const long before = residentKb();
            QElapsedTimer t;
            t.start();
            ExportPlan plan;
            plan.statement = kSql;
            plan.columns = columns;
            plan.fileName = target;
            plan.sheetName = QStringLiteral("客户数据");
            writeWorkbooks(worker, plan, ExportSteps());
            best = qMin(best, t.nsecsElapsed() / 1e6);
            grown = qMax(grown, peakResidentKb() - before);
        }
        std::printf("  .%-4s export:  %8.1f ms  (%.2f x bare)  peak memory +%.1f MB  file %.1f MB\n", qPrintable(ext), best,
                    best / bare, grown / 1024.0, QFileInfo(target).size() / 1048576.0);
    }
    return 0;
}
