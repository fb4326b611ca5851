// Moving a desk's database onto the shared server ("上传本机数据到服务器"):
// the benchmark database uploaded into an empty database of a private
// PostgreSQL cluster over TCP (127.0.0.1), rows/s over all three tables with
// the number index filled and the sequences set; beside it, in the same
// run, psql's \copy of the same rows (written out once as COPY text) into
// tables of the same shape without triggers, in one transaction.  Then the
// server's backup and restore of the uploaded database (pg_dump -Fc,
// pg_restore --single-transaction --clean), beside psql \copy's figure.
//
//   bench_upload [--large] [--tiny] [--runs N]   (N: default 5)

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "data/connection/connection.h"
#include "data/maintenance/serverfiles.h"
#include "data/maintenance/serverupload.h"

#include "benchdb.h"
#include "measure.h"
#include "testpg.h"

namespace {

using namespace bench;

const QStringList kTables = {QStringLiteral("字典"), QStringLiteral("客户数据"), QStringLiteral("来电数据")};

[[noreturn]] void fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    std::exit(1);
}

void escapeInto(QByteArray& out, const QVariant& v)
{
    if (v.isNull()) {
        out += "\\N";
        return;
    }
    for (const char c : v.toString().toUtf8()) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
}

// Each table of the file as COPY text in `folder`; the columns of each.
QHash<QString, QStringList> writeCopyFiles(const QString& file, const QString& folder)
{
    QHash<QString, QStringList> columns;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copyfiles"));
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        fail(db.lastError().text());
    for (const QString& table : kTables) {
        const QSqlRecord r = db.record(table);
        QStringList names;
        for (int i = 0; i < r.count(); ++i)
            names << QLatin1Char('"') + r.fieldName(i).toLower() + QLatin1Char('"');  // as the server folds them
        columns.insert(table, names);
        QFile out(folder + QLatin1Char('/') + table + QStringLiteral(".copy"));
        if (!out.open(QIODevice::WriteOnly))
            fail(out.errorString());
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("select ") + names.join(QLatin1Char(',')) + QStringLiteral(" from \"") + table + QLatin1Char('"'));
        QByteArray line;
        while (q.next()) {
            line.clear();
            for (int i = 0; i < names.size(); ++i) {
                if (i)
                    line += '\t';
                escapeInto(line, q.value(i));
            }
            line += '\n';
            out.write(line);
        }
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("copyfiles"));
    return columns;
}

qint64 rowsOf(const QString& file)
{
    qint64 n = 0;
    for (const QString& table : kTables) {
        QFile f(file + QStringLiteral("/") + table + QStringLiteral(".copy"));
        f.open(QIODevice::ReadOnly);
        while (!f.atEnd()) {
            f.readLine();
            ++n;
        }
    }
    return n;
}

// A database of the server with the program's tables (made by its open);
// `bare` leaves no trigger on them.
DatabaseLocation freshDatabase(testutil::PrivatePostgres& server, const QString& name, bool bare)
{
    if (!server.createDatabase(name))
        fail(server.error());
    const DatabaseLocation where = DatabaseLocation::ofUri(server.tcpUri(name));
    Connection c(name);
    c.setLocation(where);
    c.open();
    if (bare) {
        QSqlQuery q(c.database());
        if (!q.exec(QStringLiteral("do $$ declare r record; begin for r in select tgname, tgrelid::regclass as t from pg_trigger "
                                   "where not tgisinternal loop execute format('drop trigger %I on %s', r.tgname, r.t); "
                                   "end loop; end $$")))
            fail(q.lastError().text());
    }
    return where;
}

double programUpload(const DatabaseLocation& where, const QString& file, serverupload::Counts* counts)
{
    Connection c(QStringLiteral("upload"));
    c.setLocation(where);
    c.open();
    QSqlDatabase db = c.database();
    QString why;
    bool stopped = false;
    const double ms = timed([&] {
        if (!serverupload::upload(db, file, {}, counts, &why, &stopped))
            fail(QStringLiteral("upload: ") + why);
    });
    return ms;
}

double psqlCopy(const testutil::PrivatePostgres& server, const QString& database, const QString& folder,
                const QHash<QString, QStringList>& columns)
{
    QStringList args = {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-1"), QStringLiteral("-v"),
                        QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), server.tcpUri(database)};
    for (const QString& table : kTables)
        args << QStringLiteral("-c")
             << QStringLiteral("\\copy \"") + table + QStringLiteral("\" (") + columns.value(table).join(QLatin1Char(',')) +
                    QStringLiteral(") from '") + folder + QLatin1Char('/') + table + QStringLiteral(".copy'");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const double ms = timed([&] {
        p.start(QStringLiteral("psql"), args);
        p.waitForFinished(-1);
    });
    if (p.exitCode() != 0)
        fail(QStringLiteral("psql: ") + QString::fromLocal8Bit(p.readAll()));
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    const Size size = sizeFromArguments(&args);
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    const int runs = at >= 0 ? std::max(1, args.value(at + 1).toInt()) : 5;
    printLoad("start");
    const QString file = database(size);
    testutil::PrivatePostgres server;
    if (!server.error().isEmpty())
        fail(server.error());
    QTemporaryDir scratch;
    const QHash<QString, QStringList> columns = writeCopyFiles(file, scratch.path());
    const qint64 rows = rowsOf(scratch.path());
    std::printf("%s: %lld rows in the three tables\n", qPrintable(sizeText(size)), rows);

    std::vector<double> program, bare, dumps, restores;
    for (int run = 0; run < runs; ++run) {
        // The two take turns going first.
        const DatabaseLocation up = freshDatabase(server, QStringLiteral("up") + QString::number(run), false);
        freshDatabase(server, QStringLiteral("bare") + QString::number(run), true);
        serverupload::Counts counts;
        double p = 0, b = 0;
        if (run % 2 == 0) {
            p = programUpload(up, file, &counts);
            b = psqlCopy(server, QStringLiteral("bare") + QString::number(run), scratch.path(), columns);
        } else {
            b = psqlCopy(server, QStringLiteral("bare") + QString::number(run), scratch.path(), columns);
            p = programUpload(up, file, &counts);
        }
        if (counts.customers + counts.calls + counts.dictionary != rows)
            fail(QStringLiteral("the upload moved another number of rows"));
        program.push_back(rows / (p / 1000));
        bare.push_back(rows / (b / 1000));
        std::printf("run %d: upload %.0f rows/s (%.1f s), psql \\copy %.0f rows/s (%.1f s), load %s\n", run + 1,
                    program.back(), p / 1000, bare.back(), b / 1000, loadAverage().constData());
        std::fflush(stdout);

        // The server's backup and restore of what was uploaded.
        const QString dump = scratch.filePath(QStringLiteral("up.dump"));
        QString why;
        bool stopped = false;
        dumps.push_back(timed([&] {
            if (!serverfiles::dump(up, 15, dump, {}, &why, &stopped))
                fail(why);
        }));
        restores.push_back(timed([&] {
            if (!serverfiles::restore(up, 15, dump, {}, &why, &stopped))
                fail(why);
        }));
        std::printf("       pg_dump %.1f s (%.0f MB), pg_restore %.1f s\n", dumps.back() / 1000,
                    QFileInfo(dump).size() / 1048576.0, restores.back() / 1000);
        std::fflush(stdout);
    }
    std::printf("median of %d: upload %.0f rows/s beside psql \\copy %.0f rows/s (%.0f%%); pg_dump %.1f s, pg_restore %.1f s; "
                "load %s\n",
                runs, median(program), median(bare), 100 * median(program) / median(bare), median(dumps) / 1000,
                median(restores) / 1000, loadAverage().constData());
    printLoad("end");
    return 0;
}
