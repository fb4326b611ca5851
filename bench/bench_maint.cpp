// Database maintenance over a large database (1,000,000 calls, 100,000
// customers): the backup beside a plain `cp` of the file, the compact beside
// a bare VACUUM INTO, and the clearing of the call and customer tables.
//
//   bench_maint [database file]   (built on first use)
//
// Every run works on a copy in a temporary folder.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include <sqlite3.h>

#include "db/connection.h"
#include "db/dataset.h"
#include "maintenance/dbfiles.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;

void run(const QString& program, const QStringList& args)
{
    if (QProcess::execute(program, args) != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString source = argc > 1 ? QString::fromLocal8Bit(argv[1]) : bench::defaultDatabase();
    bench::ensureDatabase(source);
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("web.mdb"));
    run(QStringLiteral("cp"), {source, db});
    std::printf("database: %s, %.1f MB\n", qPrintable(source), QFile(db).size() / 1048576.0);

    // Backup: our checked copy through the online backup, against cp alone
    // and cp followed by sync (our copy is flushed to disk before it counts).
    std::vector<double> cp, cpSync, bareBackup, backup;
    for (int i = 0; i < kRuns; ++i) {
        const QString target = dir.filePath(QStringLiteral("copy.mdb"));
        QFile::remove(target);
        cp.push_back(timed([&] { run(QStringLiteral("cp"), {db, target}); }));
        QFile::remove(target);
        cpSync.push_back(timed([&] {
            run(QStringLiteral("cp"), {db, target});
            run(QStringLiteral("sync"), {target});
        }));
        QFile::remove(target);
        bareBackup.push_back(timed([&] {
            sqlite3 *from = nullptr, *to = nullptr;
            sqlite3_open(QFile::encodeName(db).constData(), &from);
            sqlite3_open(QFile::encodeName(target).constData(), &to);
            sqlite3_backup* b = sqlite3_backup_init(to, "main", from, "main");
            sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            sqlite3_close(to);
            sqlite3_close(from);
        }));
        QFile::remove(target);
        QString why;
        backup.push_back(timed([&] {
            if (!dbfile::backupDatabase(db, target, &why))
                std::fprintf(stderr, "backup failed: %s\n", qPrintable(why));
        }));
    }
    std::printf("backup        %8.0f ms   (plain cp %6.0f ms, ratio %.2f; cp + sync %6.0f ms; "
                "bare online backup without check or flush %6.0f ms)\n",
                median(backup), median(cp), median(backup) / median(cp), median(cpSync),
                median(bareBackup));

    // Compact: ours (VACUUM INTO, integrity check, flush, rename) against a
    // bare VACUUM INTO of the same file.
    std::vector<double> bare, compact;
    for (int i = 0; i < kRuns; ++i) {
        const QString out = dir.filePath(QStringLiteral("bare.MDB"));
        QFile::remove(out);
        bare.push_back(timed([&] {
            sqlite3* h = nullptr;
            sqlite3_open(QFile::encodeName(db).constData(), &h);
            sqlite3_exec(h, ("vacuum into '" + QFile::encodeName(out) + "'").constData(), nullptr,
                         nullptr, nullptr);
            sqlite3_close(h);
        }));
        QFile::remove(out);
        QString why;
        compact.push_back(timed([&] {
            if (!dbfile::compactDatabase(db, dir.filePath(QStringLiteral("new.MDB")), &why))
                std::fprintf(stderr, "compact failed: %s\n", qPrintable(why));
        }));
    }
    std::printf("compact       %8.0f ms   (bare VACUUM INTO %6.0f ms, ratio %.2f)\n",
                median(compact), median(bare), median(compact) / median(bare));

    // Clearing a table the way the menu entries do it: close the open list,
    // run the statement, open the list again.
    struct Clearing {
        const char* what;
        QString table;
    };
    for (const Clearing& c : {Clearing{"clear calls", QStringLiteral("来电数据")},
                              Clearing{"clear customers", QStringLiteral("客户数据")}}) {
        std::vector<double> clear;
        for (int i = 0; i < kRuns; ++i) {
            const QString work = dir.filePath(QStringLiteral("clear.mdb"));
            QFile::remove(work);
            run(QStringLiteral("cp"), {db, work});
            Connection conn(QStringLiteral("ADOB"));
            conn.setConnectionString(QStringLiteral("Data Source=") + work);
            DataSet list(&conn, QStringLiteral("list"));
            list.setCommandText(QStringLiteral("select * from %1 order by id desc").arg(c.table));
            list.open();
            const int before = list.recordCount();
            clear.push_back(timed([&] {
                const QString sql = list.commandText();
                list.close();
                conn.execute(QStringLiteral("delete from  ") + c.table);
                list.setCommandText(sql);
                list.open();
            }));
            if (i == 0)
                std::printf("%-15s %d rows -> %d\n", c.what, before, list.recordCount());
        }
        std::printf("%-15s %6.0f ms\n", c.what, median(clear));
    }
    return 0;
}
