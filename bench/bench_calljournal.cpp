// A call's path through the desk's journal, on an empty database in a
// temporary program folder: the time from the box reporting a number until
// the announcement is shown, the time until the call is on disk in the
// journal, and the time until it is stored in 来电数据 (the whole handling).
// Beside them, in the same run, a bare insert of one row into a SQLite file
// in the same mode as the journal (write-ahead log, every commit flushed).
// The announcement comes first, then the journal's write: the operator
// never waits for the flush.
//
//   bench_calljournal [calls]     (default 200)

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

#include "data/module/datamodule.h"
#include "data/calls/callqueue.h"
#include "rules/files/paths.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

// One row into a file of its own, as the journal writes one.
std::vector<double> bareFlushedInserts(const QString& folder, int n)
{
    std::vector<double> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bare"));
        db.setDatabaseName(folder + QStringLiteral("/bare.db"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("pragma journal_mode = wal"));
        q.exec(QStringLiteral("pragma synchronous = full"));
        q.exec(QStringLiteral("create table t (id integer primary key, a text, b text, c text, d text)"));
        for (int i = 0; i < n; ++i) {
            q.prepare(QStringLiteral("insert into t (a, b, c, d) values (?, ?, ?, ?)"));
            q.addBindValue(QStringLiteral("13900000001"));
            q.addBindValue(QString());
            q.addBindValue(QStringLiteral("2026-12-9"));
            q.addBindValue(QStringLiteral("9:00:00"));
            out.push_back(timed([&] { q.exec(); }));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bare"));
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int calls = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    printLoad("start");
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QDir().mkpath(folder + QStringLiteral("data"));
    QDir().mkpath(folder + QStringLiteral("set"));
    createEmptyDatabase(folder + QStringLiteral("data/web.mdb"));
    setProgramFolder(folder);

    SimulatedDevice device;
    DataModule dm;
    MainWindow w(dm, device);
    w.activate();
    QElapsedTimer clock;
    double announcedAt = -1;
    QObject::connect(&w, &MainWindow::callAnnounced, [&] { announcedAt = clock.nsecsElapsed() / 1e6; });

    std::vector<double> announce, journal, whole;
    for (int i = 0; i < calls; ++i) {
        const QString number = QStringLiteral("139%1").arg(i, 8, 10, QLatin1Char('0'));
        announcedAt = -1;
        clock.start();
        device.simulateCall(1, number);
        const double handled = clock.nsecsElapsed() / 1e6;  // announced and journalled
        w.calls()->finishPending();
        whole.push_back(clock.nsecsElapsed() / 1e6);
        announce.push_back(announcedAt);
        journal.push_back(handled);
    }
    // The journal's write alone, for the same calls.
    std::vector<double> journalOnly;
    CallQueue q(CallQueue::standardPath());
    for (int i = 0; i < calls; ++i) {
        const CallRecord r = callRecord(QStringLiteral("13912345678"), QDateTime::currentDateTime());
        qint64 order = -1;
        journalOnly.push_back(timed([&] { order = q.add(r); }));
        q.remove(order);
    }
    const std::vector<double> bare = bareFlushedInserts(dir.path(), calls);

    std::printf("calls: %d\n", calls);
    std::printf("number -> announcement        median %.2f ms\n", median(announce));
    std::printf("number -> on disk in journal  median %.2f ms\n", median(journal));
    std::printf("number -> stored in 来电数据   median %.2f ms\n", median(whole));
    std::printf("journal write alone           median %.2f ms\n", median(journalOnly));
    std::printf("bare flushed insert (same run) median %.2f ms\n", median(bare));
    printLoad("end");
    return 0;
}
