// Importing 100,000 customers (17 columns, the generator's customers as the
// benchmark database holds them) into an empty customer table, from a
// UTF-8 .csv file and from a workbook, beside bare runs of the same rows:
//  - the .csv file against the sqlite3 shell's `.import` of the same file
//    into a database of the same schema, indexes and triggers (the shell
//    loads the program's digits function that the lookup index's trigger
//    calls; the file goes into a temporary table and from there into the
//    customers, empty cells as NULL as the program stores them), the whole
//    shell run timed;
//  - the workbook against a bare SQLite insert of the same rows in one
//    transaction (into the program's table with the caller lookup's index,
//    and into one without it).
// Each run does all of them in turn; medians of three runs.  An .xls sheet
// holds at most 65,536 rows, so the workbook has two sheets ("客户" and its
// continuation "客户(2)"), imported one after the other as an operator
// would.
//
//   bench_import [rows]    (default 100000)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rules/files/paths.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/numbers/numberindex.h"
#include "rules/transfer/fieldmapping.h"
#include "data/transfer/importrun.h"
#include "data/transfer/importsource.h"
#include "rules/formats/xlswriter.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 3;

double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// A workbook row: the customer's values, numbers that are plain digits as
// numbers (the way a spreadsheet holds a typed QQ number or postal code).
QVariantList workbookRow(int i, int rows)
{
    QVariantList r;
    for (const QString& v : bench::customerRow(i, rows)) {
        bool digits = !v.isEmpty() && v.size() < 16 && !v.startsWith(QLatin1Char('0'));
        for (const QChar c : v)
            digits = digits && c.isDigit();
        if (digits)
            r << v.toLongLong();
        else
            r << v;
    }
    return r;
}

// The same rows straight into SQLite: one transaction, one prepared insert.
double bareInsert(const QString& file, const std::vector<QStringList>& rows, bool withIndex)
{
    bench::createEmptyDatabase(file);
    double ms = 0;
    qint64 stored = 0;
    {
        // With the index: a connection opened as the program opens it, which
        // gives the empty table its index and the function the index's
        // triggers call.  Without: a plain one.
        std::unique_ptr<Connection> conn;
        QSqlDatabase db;
        if (withIndex) {
            conn = bench::bareConnection(file);
            db = conn->database();
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
            db.setDatabaseName(file);
            db.open();
        }
        QStringList cols, marks;
        for (const QString& f : bench::customerFields()) {
            cols << f;
            marks << QStringLiteral("?");
        }
        QElapsedTimer t;
        t.start();
        db.transaction();
        // With the index: the rows first, then the index filled from them in
        // one statement (the cheapest way to the same end).
        std::optional<numberindex::BulkAppend> bulk;
        if (withIndex)
            bulk.emplace(db);
        {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("insert into 客户数据 (") + cols.join(QLatin1Char(',')) +
                      QStringLiteral(") values (") + marks.join(QLatin1Char(',')) + QLatin1Char(')'));
            for (const QStringList& row : rows) {
                for (int c = 0; c < row.size(); ++c)
                    q.bindValue(c, row[c].isEmpty() ? QVariant() : QVariant(row[c]));
                stored += q.exec();
            }
        }
        if (bulk)
            bulk->finish();
        db.commit();
        ms = double(t.nsecsElapsed()) / 1e6;
        if (!conn)
            db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plain"));
    if (stored != qint64(rows.size())) {
        std::fprintf(stderr, "the bare insert stored %lld of %zu rows\n", stored, rows.size());
        std::exit(1);
    }
    return ms;
}


// The rows as a UTF-8 text file with the field names in its first line,
// fields quoted where they must be.
void writeCsv(const QString& file, int rows)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        std::exit(1);
    auto line = [&](const QStringList& fields) {
        QStringList out;
        for (QString v : fields) {
            if (v.contains(QLatin1Char(',')) || v.contains(QLatin1Char('"')) || v.contains(QLatin1Char('\n'))) {
                v.replace(QLatin1String("\""), QLatin1String("\"\""));
                v = QLatin1Char('"') + v + QLatin1Char('"');
            }
            out << v;
        }
        f.write(out.join(QLatin1Char(',')).toUtf8() + "\r\n");
    };
    line(bench::customerFields());
    for (int i = 0; i < rows; ++i)
        line(bench::customerRow(i, rows));
}

struct ImportTimes {
    double wallMs = 0;
    double cpuMs = 0;
    long growthKb = 0;
};

// Every table of `file` through the program's import objects into the empty
// database of a fresh program folder.
ImportTimes programImport(const QString& folder, const QString& file, int rows)
{
    QDir().mkpath(folder + QStringLiteral("data"));
    bench::createEmptyDatabase(folder + QStringLiteral("data/web.mdb"));
    setProgramFolder(folder);
    ImportTimes times;
    qint64 stored = 0;
    {
        Connection database(QStringLiteral("database"));
        database.setBeforeConnect([&](Connection& c) {
            c.setLocation(DatabaseLocation::ofFile(folder + QStringLiteral("data/web.mdb")));
        });
        DataSet customerTable(&database, QStringLiteral("customers"));
        customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        customerTable.open();
        const QStringList standard = mapping::standardFields(customerTable.fieldNames(), QStringLiteral("序号"));

        resetPeak();
        const long before = residentKb();
        QElapsedTimer t;
        t.start();
        const double cpu0 = cpuMs();
        ImportConnection conn(QStringLiteral("importFile"));
        conn.setFile(file);
        conn.open();
        ImportDataSet ds(&conn, QStringLiteral("importTable"));
        for (const QString& table : conn.tableNames()) {
            ds.setCommandText(QStringLiteral("select * from [") + table + QLatin1Char(']'));
            ds.open();
            const RunOutcome out =
                importRows(database, QStringLiteral("客户数据"), ds, standard,
                           mapping::prefilledNumbers(ds.fieldNames(), standard), [](qint64, qint64) {});
            if (!out.finished) {
                std::fprintf(stderr, "import stopped: %s\n", qPrintable(out.error));
                std::exit(1);
            }
            stored += out.stored;
        }
        conn.close();
        times.wallMs = double(t.nsecsElapsed()) / 1e6;
        times.cpuMs = cpuMs() - cpu0;
        times.growthKb = peakResidentKb() - before;
        customerTable.close();
        database.close();
    }
    if (stored != rows) {
        std::fprintf(stderr, "stored %lld of %d rows\n", stored, rows);
        std::exit(1);
    }
    return times;
}

// The sqlite3 shell's `.import` of the text file into a database of the
// program's schema, with the index, its triggers and the row count's
// triggers as the program's first open leaves them.
double shellImport(const QString& file, const QString& csv, int rows)
{
    bench::createEmptyDatabase(file);
    bench::bareConnection(file, QStringLiteral("shell"))->close();
    QSqlDatabase::removeDatabase(QStringLiteral("shell"));
    QStringList cols, values;
    for (const QString& f : bench::customerFields()) {
        cols << f;
        values << QStringLiteral("nullif(") + f + QStringLiteral(", '')");
    }
    const QString script = QStringLiteral(".bail on\n.load ") + QStringLiteral(BENCH_DIGITS_EXTENSION) +
                           QStringLiteral(" sqlite3_extension_init\nbegin;\n.import --csv --schema temp ") + csv +
                           QStringLiteral(" staging\ninsert into 客户数据 (") + cols.join(QLatin1Char(',')) +
                           QStringLiteral(") select ") + values.join(QLatin1Char(',')) +
                           QStringLiteral(" from temp.staging;\ncommit;\nselect count(*) from 客户数据;\n");
    QProcess shell;
    QElapsedTimer t;
    t.start();
    shell.start(QStringLiteral("sqlite3"), {file});
    shell.write(script.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const QByteArray out = shell.readAllStandardOutput().trimmed();
    if (shell.exitCode() != 0 || out.toInt() != rows) {
        std::fprintf(stderr, "the sqlite3 shell stored %s of %d rows: %s\n", out.constData(), rows,
                     shell.readAllStandardError().constData());
        std::exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    printLoad("start");
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString xlsFile = dir.filePath(QStringLiteral("customers.xls"));
    const QString csvFile = dir.filePath(QStringLiteral("customers.csv"));

    // The files are made by a child process, so that the memory it took
    // does not hide the import's own growth.
    const pid_t child = fork();
    if (child == 0) {
        xls::Sheet sheet;
        sheet.name = QStringLiteral("客户");
        const QStringList fields = bench::customerFields();
        sheet.rows << QVariantList(fields.begin(), fields.end());
        for (int i = 0; i < rows; ++i)
            sheet.rows << workbookRow(i, rows);
        QString error;
        if (!xls::writeWorkbook(xlsFile, {sheet}, &error)) {
            std::fprintf(stderr, "cannot write the workbook: %s\n", qPrintable(error));
            _exit(1);
        }
        writeCsv(csvFile, rows);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 1;
    std::printf("workbook (made by the .xls writer, two sheets): %d rows x %d columns, %.1f MB; .csv %.1f MB\n", rows,
                int(bench::customerFields().size()), QFileInfo(xlsFile).size() / 1048576.0,
                QFileInfo(csvFile).size() / 1048576.0);
    std::printf("medians of %d runs\n", kRuns);

    // The same rows as the import stores them, for the bare insert.
    std::vector<QStringList> texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        QStringList t;
        for (const QVariant& v : workbookRow(i, rows))
            t << mapping::valueText(v);
        texts.push_back(t);
    }
    std::vector<double> xlsMs, xlsCpuMs, csvMs, csvCpuMs, shellMs, bareMs, bareCpuMs, plainMs;
    long growthKb = 0;
    for (int run = 0; run < kRuns; ++run) {
        const ImportTimes xlsRun = programImport(dir.filePath(QStringLiteral("x%1/").arg(run)), xlsFile, rows);
        xlsMs.push_back(xlsRun.wallMs);
        xlsCpuMs.push_back(xlsRun.cpuMs);
        if (run == 0)
            growthKb = xlsRun.growthKb;
        const ImportTimes csvRun = programImport(dir.filePath(QStringLiteral("c%1/").arg(run)), csvFile, rows);
        csvMs.push_back(csvRun.wallMs);
        csvCpuMs.push_back(csvRun.cpuMs);
        shellMs.push_back(shellImport(dir.filePath(QStringLiteral("shell%1.db").arg(run)), csvFile, rows));
        const double bareCpu = cpuMs();
        bareMs.push_back(bareInsert(dir.filePath(QStringLiteral("bare%1.db").arg(run)), texts, true));
        bareCpuMs.push_back(cpuMs() - bareCpu);
        plainMs.push_back(bareInsert(dir.filePath(QStringLiteral("plain%1.db").arg(run)), texts, false));
    }
    auto spread = [](const std::vector<double>& v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f-%.0f", *std::min_element(v.begin(), v.end()),
                      *std::max_element(v.begin(), v.end()));
        return std::string(text);
    };
    const double csv = median(csvMs), shell = median(shellMs);
    std::printf(".csv import (open the file, its one table): median %.0f ms = %.0f rows/s (%s ms), cpu %.0f ms\n", csv,
                rows / (csv / 1000.0), spread(csvMs).c_str(), median(csvCpuMs));
    std::printf("sqlite3 shell .import of the same file, same schema, indexes and triggers: median %.0f ms = %.0f "
                "rows/s (%s ms)\n", shell, rows / (shell / 1000.0), spread(shellMs).c_str());
    std::printf(".csv import / shell .import = %.2f   (goal: <= 1.5)\n", csv / shell);

    const double imp = median(xlsMs), bare = median(bareMs), plain = median(plainMs);
    const double impCpu = median(xlsCpuMs), bareCpu = median(bareCpuMs);
    std::printf("cpu time (the machine may be shared): .xls import median %.0f ms = %.0f rows/s, bare median %.0f ms,"
                " ratio %.2f\n",
                impCpu, rows / (impCpu / 1000.0), bareCpu, impCpu / bareCpu);
    std::printf(".xls import (open workbook, both sheets, one run each): median %.0f ms = %.0f rows/s (%s ms)\n", imp,
                rows / (imp / 1000.0), spread(xlsMs).c_str());
    std::printf("bare SQLite insert of the same rows, one transaction, with the caller lookup's index: "
                "median %.0f ms = %.0f rows/s (%s ms)\n", bare, rows / (bare / 1000.0), spread(bareMs).c_str());
    std::printf("  (into a table without that index: median %.0f ms = %.0f rows/s)\n", plain,
                rows / (plain / 1000.0));
    std::printf(".xls import / bare = %.2f   (goal: <= 1.5)\n", imp / bare);
    std::printf("memory growth during the .xls import (peak RSS - RSS before): %.1f MB   (goal: < 200 MB)\n",
                growthKb / 1024.0);
    printLoad("end");
    return 0;
}
