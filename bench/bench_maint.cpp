// Database maintenance over the benchmark database: the backup beside a
// bare online backup of SQLite flushed to disk (what the shell's .backup
// does, followed by fsync), the compact beside a bare VACUUM INTO flushed
// the same way (both of the program's check their copy against the pages
// written to it while it is flushed), and the clearing of the
// call and customer tables beside a bare delete on a connection opened the
// way the program opens it.  Medians of five runs, the
// program's run and the bare one taking turns at going first.
//
//   bench_maint [--large] [backup,compact,clear]
//                  (100,000 customers and 1,000,000 calls; --large:
//                   1,000,000 and 10,000,000; built on first use; all three
//                   by default)
//
// Every run works on a copy in a temporary folder.

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include <sqlite3.h>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/maintenance/dbfiles.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

void flushFile(const QString& file)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0)
        fail("fsync");
    ::close(fd);
}

// cp followed by sync: the bytes copied and flushed to disk.
void copyFlushed(const QString& from, const QString& to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0)
        fail("copy");
    std::vector<char> buffer(1 << 20);
    ssize_t n;
    while ((n = ::read(in, buffer.data(), buffer.size())) > 0)
        if (::write(out, buffer.data(), std::size_t(n)) != n)
            fail("copy");
    if (n < 0 || ::fsync(out) != 0)
        fail("copy");
    ::close(in);
    ::close(out);
}

// The shell's .backup: the whole database copied in one step of SQLite's
// online backup, then flushed.
void backupFlushed(const QString& from, const QString& to)
{
    sqlite3* src = nullptr;
    sqlite3* dst = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(from).constData(), &src, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_open(QFile::encodeName(to).constData(), &dst) != SQLITE_OK)
        fail("backup");
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
    if (!b || sqlite3_backup_step(b, -1) != SQLITE_DONE)
        fail("backup");
    sqlite3_backup_finish(b);
    sqlite3_close(dst);
    sqlite3_close(src);
    flushFile(to);
}

void exec(const QString& file, const QByteArray& sql)
{
    sqlite3* h = nullptr;
    if (sqlite3_open(QFile::encodeName(file).constData(), &h) != SQLITE_OK ||
        sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(sql.constData());
    sqlite3_close(h);
}

struct Pair {
    std::vector<double> ours, bare;
};

// Runs both kRuns times, taking turns at going first.
template <class Ours, class Bare>
Pair alternate(Ours ours, Bare bare)
{
    Pair p;
    for (int i = 0; i < kRuns; ++i) {
        if (i % 2) {
            p.bare.push_back(bare());
            p.ours.push_back(ours());
        } else {
            p.ours.push_back(ours());
            p.bare.push_back(bare());
        }
    }
    return p;
}

void line(const char* what, const Pair& p, const char* bareWhat)
{
    const double o = median(p.ours), b = median(p.bare);
    std::printf("%-16s %8.0f ms   %-34s %8.0f ms   ratio %.2f   (load %s)\n", what, o, bareWhat, b, o / b,
                loadAverage().constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const QStringList parts =
        (!args.isEmpty() ? args.first() : QStringLiteral("backup,compact,clear")).split(QLatin1Char(','));
    const QString source = database(size);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("web.mdb"));
    copyFlushed(source, db);
    std::printf("database: %s (%s), %.1f MB; medians of %d runs\n", qPrintable(source), qPrintable(sizeText(size)),
                QFile(db).size() / 1048576.0, kRuns);

    const QString target = dir.filePath(QStringLiteral("copy.mdb"));
    if (parts.contains(QStringLiteral("backup"))) {
        line("backup",
             alternate(
                 [&] {
                     QFile::remove(target);
                     QString why;
                     return timed([&] {
                         if (!dbfile::backupDatabase(db, target, &why))
                             fail(qPrintable(why));
                     });
                 },
                 [&] {
                     QFile::remove(target);
                     return timed([&] { backupFlushed(db, target); });
                 }),
             "bare: .backup + fsync");
    }

    const QString out = dir.filePath(QStringLiteral("bare.MDB"));
    if (parts.contains(QStringLiteral("compact"))) {
        line("compact",
             alternate(
                 [&] {
                     QString why;
                     return timed([&] {
                         if (!dbfile::compactDatabase(db, dir.filePath(QStringLiteral("new.MDB")), &why))
                             fail(qPrintable(why));
                     });
                 },
                 [&] {
                     QFile::remove(out);
                     return timed([&] {
                         exec(db, "vacuum into '" + QFile::encodeName(out) + "'");
                         flushFile(out);
                     });
                 }),
             "bare: VACUUM INTO + fsync");
    }

    // Clearing a table the way the menu entries do it: close the open list,
    // run the statement, open the list again.  The bare delete runs with the
    // program's flush setting.
    const QString work = dir.filePath(QStringLiteral("clear.mdb"));
    for (const char* table : {"来电数据", "客户数据"}) {
        if (!parts.contains(QStringLiteral("clear")))
            break;
        const QString name = QString::fromUtf8(table);
        const Pair p = alternate(
            [&] {
                copyFlushed(db, work);
                Connection conn(QStringLiteral("database"));
                conn.setLocation(DatabaseLocation::ofFile(work));
                DataSet list(&conn, QStringLiteral("list"));
                list.setQuery(Query::ordered(name, QStringLiteral("ID"), true));
                list.open();
                const double ms = timed([&] {
                    list.close();
                    conn.execute(QStringLiteral("delete from ") + name);
                    list.open();
                });
                if (list.recordCount() != 0)
                    fail("clearing");
                return ms;
            },
            [&] {
                copyFlushed(db, work);
                // On a connection as the program opens it: its flush setting,
                // its journal and the function the index's triggers call.
                auto bare = bareConnection(work);
                QSqlQuery q(bare->database());
                const double ms = timed([&] {
                    if (!q.exec(QStringLiteral("delete from ") + name))
                        fail("bare delete");
                });
                return ms;
            });
        line(name == QStringLiteral("来电数据") ? "clear calls" : "clear customers", p, "bare: delete from the table");
    }
    printLoad("end");
    return 0;
}
