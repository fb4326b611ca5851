// Exporting the customer list (the 17 columns beside ID) to .xls, .xlsx and
// .csv, each timed through the export's own path (rows read from the data
// set's statement, written under a temporary name and renamed), beside a
// bare read of the same rows and columns as text in the same run (alone, and
// with a plain writer writing them to a text file), and the
// peak resident memory each export adds.  Medians of five runs; the bare
// read runs before each export.  The rows come from a copy of the
// benchmark database.  On a machine without a processor to spare the export
// reads and writes on one thread (said after the load).
//
//   bench_export [--large] [one-thread] [xls,xlsx,csv]   (the generator's database, built on first use)
//     one-thread: as on a machine without a processor to spare, whatever the load

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>
#include <thread>
#include <vector>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/transfer/exportrows.h"
#include "rules/transfer/spareprocessor.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;
const QString kSql = QStringLiteral("select * from 客户数据 order by id desc");

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The same rows and columns read as text on a connection of their own;
// with `writeTo`, written there as a plain writer writes them: UTF-8 text,
// a tab between the values, a line a row, through a buffer of 1 MB.
double bareRead(const QString& file, const QStringList& columns, qint64* rows, const QString& writeTo = {})
{
    ReadOnlyDatabase ro(file, QStringLiteral("bareread"));
    QSqlQuery q(ro.database());
    q.setForwardOnly(true);
    qint64 chars = 0;
    const double ms = timed([&] {
        q.exec(kSql);
        QVector<int> idx;
        for (const QString& c : columns)
            idx << q.record().indexOf(c);
        qint64 n = 0;
        QFile out(writeTo);
        const bool writing = !writeTo.isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray buffer;
        while (q.next()) {
            for (int i : idx) {
                const QString v = q.value(i).toString();
                chars += v.size();
                if (writing) {
                    buffer += v.toUtf8();
                    buffer += '\t';
                }
            }
            if (writing) {
                buffer += '\n';
                if (buffer.size() >= (1 << 20)) {
                    out.write(buffer);
                    buffer.clear();
                }
            }
            ++n;
        }
        if (writing) {
            out.write(buffer);
            out.close();
        }
        *rows = n;
    });
    if (chars < 0)
        std::puts("");
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    if (args.removeAll(QStringLiteral("one-thread")) > 0)
        spareprocessor::pretend(false);
    // A copy of its own: the shared benchmark database is only read.
    QTemporaryDir copyDir(QStringLiteral("/tmp/bench-export-XXXXXX"));
    const QString file = copyDir.filePath(QStringLiteral("kh.mdb"));
    if (!QFile::copy(cachedDatabase(size), file)) {
        std::printf("cannot copy %s\n", qPrintable(cachedDatabase(size)));
        return 1;
    }

    Connection conn(QStringLiteral("bench"));
    conn.setLocation(DatabaseLocation::ofFile(file));
    DataSet ds(&conn, QStringLiteral("customers"));
    ds.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
    ds.open();
    QStringList columns = ds.fieldNames();
    columns.removeAll(QStringLiteral("ID"));

    qint64 rows = 0;
    bareRead(file, columns, &rows);  // warm the file cache
    std::printf("export of %lld customers x %lld columns; medians of %d runs\n", rows, qint64(columns.size()), kRuns);

    QTemporaryDir dir;
    const QStringList kinds =
        (!args.isEmpty() ? args.first() : QStringLiteral("xls,xlsx,csv")).split(QLatin1Char(','));
    for (const QString& ext : kinds) {
        const QString target = dir.filePath(QStringLiteral("kh.") + ext);
        std::vector<double> ours, bare, plain;
        long grown = 0;
        for (int i = 0; i < kRuns; ++i) {
            bare.push_back(bareRead(file, columns, &rows));
            plain.push_back(bareRead(file, columns, &rows, dir.filePath(QStringLiteral("plain.txt"))));
            resetPeak();
            const long before = residentKb();
            QElapsedTimer t;
            t.start();
            ExportPlan plan;
            plan.statement = kSql;
            plan.columns = columns;
            plan.fileName = target;
            plan.sheetName = QStringLiteral("客户数据");
            // As the program exports: on a thread of its own, on a
            // connection of its own.
            bool failed = true;
            std::thread exporting([&] {
                {
                    QSqlDatabase worker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("worker"));
                    worker.setDatabaseName(file);
                    if (worker.open()) {
                        DatabaseEngine::of(worker).prepareSession(worker);
                        try {
                            failed = !writeWorkbooks(worker, plan, ExportSteps()).failures.isEmpty();
                        } catch (const std::exception& e) {
                            std::printf("%s\n", e.what());
                        }
                    }
                }
                QSqlDatabase::removeDatabase(QStringLiteral("worker"));
            });
            exporting.join();
            if (failed) {
                std::printf("the export to %s failed\n", qPrintable(target));
                return 1;
            }
            ours.push_back(t.nsecsElapsed() / 1e6);
            grown = qMax(grown, peakResidentKb() - before);
        }
        const double o = median(ours), b = median(bare), w = median(plain);
        std::printf("  .%-4s export: %8.1f ms   bare read %7.1f ms (%.2f x bare)   bare read + plain write %7.1f ms "
                    "(%.2f x)   peak memory +%.1f MB   file %.1f MB   (load %s%s)\n",
                    qPrintable(ext), o, b, o / b, w, o / w, grown / 1024.0, QFileInfo(target).size() / 1048576.0,
                    loadAverage().constData(),
                    ext == QLatin1String("csv") ? "; one thread, as always"
                    : spareprocessor::available() ? "; a second thread"
                                                  : "; busy: one thread");
        std::fflush(stdout);
    }
    printLoad("end");
    return 0;
}
