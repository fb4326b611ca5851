// One incoming call over the benchmark database: the time from the box
// reporting a number until the announcement is painted, and the longest
// stall of the event loop around the call (the log, the customer list and
// the card that follow).  Beside it, in the same run, a bare run of the
// statement the program runs for that number (built by the program's own
// statement builder) on a connection of its own, read to the end.
//
// The numbers are the generator's test numbers, as the box reports them:
// numbers of real customers typed in the ways operators type them, and
// numbers no customer has.  Every kind is called seven times, each time
// with another number; the figures are medians.  Whether each caller was
// announced right is counted, not assumed.
//
//   bench_call [--large] [tree]
//     default: 100,000 customers and 1,000,000 calls
//     --large: 1,000,000 customers and 10,000,000 calls
//     tree: the program starts with the database's saved customer tree (as
//     "重生列表" leaves it) in set/, and the calls come once it is shown
//     diskload: a thread writes and flushes a large file beside the program
//     during the calls (another program busy on the same disk); the bare
//     figure then is the longest stall of the window left alone under the
//     same writes
// The database is built on first use and copied into a temporary program
// folder, so that the calls the benchmark logs do not pile up in it.
// "(worked)": of each kind's longest stall, the processor time the window
// thread had in it; the rest of the stall it was not running (the load of
// the machine, or a lock).  The benchmark sleeps while it waits: no busy
// loop takes a core from the program's own threads.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <map>
#include <memory>
#include <vector>

#include "ui/calls/announcement.h"
#include "rules/files/paths.h"
#include "ui/shell/mainwindow.h"
#include "rules/calls/callrules.h"
#include "ui/calls/device.h"
#include "data/connection/connection.h"
#include "data/module/datamodule.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/customertreemodel.h"

#include "benchdb.h"
#include "measure.h"
#include "benchtree.h"
#include "eventwait.h"
#include "stallwork.h"

namespace {

using namespace bench;

// The statement the call handling runs for a number the box reports: the
// indexed lookup when the database has the number index, else the same
// lookup over the digits of every row.
QString programLookup(const QString& number, bool indexed)
{
    return indexed ? indexedLookupStatement(number) : digitsLookupStatement(number);
}

// Notes when a widget is first painted.
class PaintWatch : public QObject {
public:
    QElapsedTimer* clock = nullptr;
    double paintedAt = -1;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && paintedAt < 0 && clock)
            paintedAt = clock->nsecsElapsed() / 1e6;
        return false;
    }
};

// Runs the event loop for `ms`, sleeping while there is nothing to do.
void waitFor(int ms) { runFor(ms); }

struct KindFigures {
    std::vector<double> bare, handling, painted, stall, rows;
    double worstWorked = 0;  // of the longest stall, the time the window thread ran
    int right = 0;
    QStringList wrong;
};

}  // namespace

// Writes 8 MB at a time into a file and flushes every 64 MB, starting over
// at 512 MB, until stopped.
class DiskWriter {
public:
    explicit DiskWriter(const QString& path)
        : thread_([this, path] {
              const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
              if (fd < 0)
                  return;
              std::vector<char> block(8 << 20, 'x');
              off_t at = 0;
              while (!stop_) {
                  if (::pwrite(fd, block.data(), block.size(), at) < 0)
                      break;
                  at += off_t(block.size());
                  if (at % (64 << 20) == 0)
                      ::fdatasync(fd);
                  if (at >= (off_t(512) << 20))
                      at = 0;
              }
              ::close(fd);
              ::unlink(QFile::encodeName(path).constData());
          })
    {
    }
    ~DiskWriter()
    {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const bool withTree = args.removeAll(QStringLiteral("tree")) > 0;
    const bool diskLoad = args.removeAll(QStringLiteral("diskload")) > 0;
    const QString source = database(size);
    const QVector<TestNumber> numbers = testNumbers(source);
    if (numbers.isEmpty()) {
        std::printf("no test numbers beside %s\n", qPrintable(source));
        return 1;
    }
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QDir().mkpath(folder + QStringLiteral("data"));
    QDir().mkpath(folder + QStringLiteral("set"));
    const QString file = folder + QStringLiteral("data/web.mdb");
    if (!QFile::copy(source, file)) {
        std::printf("cannot copy %s\n", qPrintable(source));
        return 1;
    }
    setProgramFolder(folder);
    if (withTree)
        putSavedTree(source, folder);

    DataModule dm;
    SimulatedDevice device;
    MainWindow w(dm, device);
    QElapsedTimer started;
    started.start();
    // The lists are opened in turns after the window's first drawing: the
    // record position is shown once they are.
    bool positioned = false;
    QObject::connect(&dm, &DataModule::recordPosition, [&](const QString&) { positioned = true; });
    w.show();
    runUntil([&] { return positioned && dm.callTable.isActive() && !dm.callTable.countPending(); });
    std::printf("%s; window shown until the call list is counted: %.1f s\n", qPrintable(sizeText(size)),
                started.elapsed() / 1000.0);
    runUntil([&] {
        return !w.customerList()->treeLoading() && (!withTree || w.customerList()->treeModel()->outline().count() > 0);
    });
    if (withTree)
        std::printf("saved tree shown after %.1f s: %lld nodes; resident memory %.0f MB\n", started.elapsed() / 1000.0,
                    qint64(w.customerList()->treeModel()->outline().count()), residentKb() / 1024.0);
    waitFor(300);

    const bool indexed = dm.connection.hasNumberIndex();
    auto bare = bareConnection(file);
    PaintWatch watch;
    w.findChild<Announcement*>(QStringLiteral("announcement"))->installEventFilter(&watch);
    StallWork stalls;

    std::unique_ptr<DiskWriter> writer;
    if (diskLoad) {
        writer = std::make_unique<DiskWriter>(folder + QStringLiteral("ballast"));
        std::printf("another writer busy on the disk from now on\n");
    }

    // One call first, unmeasured: what a first call alone pays.
    device.simulateHandoff(1);
    device.simulateCall(1, numbers.first().number);
    waitFor(600);

    std::printf("number index: %s; medians of 7 calls per kind, each another number\n", indexed ? "yes" : "NO");
    std::printf("%-42s %10s %10s %17s %17s %8s %5s %6s\n", "caller", "bare", "handling", "painted median/max",
                "stall median/max", "(worked)", "rows", "right");
    QStringList kinds;
    std::map<QString, KindFigures> figures;
    for (const TestNumber& t : numbers) {
        if (!kinds.contains(t.kind))
            kinds << t.kind;
        KindFigures& f = figures[t.kind];
        // The program's statement for this number, bare: once to warm the
        // pages both runs read, then timed.
        const QString sql = programLookup(t.number, indexed);
        qint64 rows = 0;
        for (int pass = 0; pass < 2; ++pass) {
            QSqlQuery q(bare->database());
            q.setForwardOnly(true);
            QElapsedTimer b;
            b.start();
            q.exec(sql);
            rows = readToEnd(q);
            if (pass == 1)
                f.bare.push_back(b.nsecsElapsed() / 1e6);
        }
        f.rows.push_back(double(rows));

        device.simulateHandoff(1);
        waitFor(50);
        QElapsedTimer clock;
        watch.clock = &clock;
        watch.paintedAt = -1;
        stalls.start();
        clock.start();
        device.simulateCall(1, t.number);
        f.handling.push_back(clock.nsecsElapsed() / 1e6);
        f.painted.push_back(watch.paintedAt);
        waitFor(600);  // the log, the customer list, the card and the searches
        if (f.stall.empty() || stalls.worst() > *std::max_element(f.stall.begin(), f.stall.end()))
            f.worstWorked = stalls.worked();
        f.stall.push_back(stalls.worst());
        const QString expected = t.known ? knownCallerText : newCallerText;
        if (w.findChild<Announcement*>(QStringLiteral("announcement"))->text() == expected)
            ++f.right;
        else
            f.wrong << t.number + QStringLiteral(" (") + (t.stored.isEmpty() ? QStringLiteral("no customer") : t.stored) +
                           QStringLiteral(") announced ") + w.findChild<Announcement*>(QStringLiteral("announcement"))->text();
    }

    const double goal = size.customers > kDefaultSize.customers ? 60.0 : 30.0;
    bool painted = true;
    double worstStall = 0, worstWorked = 0;
    std::vector<double> allBare, allPainted;
    QStringList wrong;
    for (const QString& kind : kinds) {
        const KindFigures& f = figures[kind];
        const double s = *std::max_element(f.stall.begin(), f.stall.end());
        if (s > worstStall)
            worstWorked = f.worstWorked;
        worstStall = std::max(worstStall, s);
        painted = painted && median(f.painted) >= 0 && median(f.painted) <= goal;
        allBare.insert(allBare.end(), f.bare.begin(), f.bare.end());
        allPainted.insert(allPainted.end(), f.painted.begin(), f.painted.end());
        // A call whose announcement was never painted counts as -1 ms.
        std::printf("%-42s %7.1f ms %7.1f ms %7.1f/%6.1f ms %7.1f/%6.1f ms %5.1f ms %5.0f %4d/%d\n", qPrintable(kind),
                    median(f.bare), median(f.handling), median(f.painted),
                    *std::max_element(f.painted.begin(), f.painted.end()), median(f.stall), s, f.worstWorked,
                    median(f.rows), f.right, int(f.stall.size()));
        wrong << f.wrong;
    }
    std::printf("all calls: bare %.1f ms, painted %.1f ms (medians)   load %s\n", median(allBare), median(allPainted),
                loadAverage().constData());
    if (diskLoad) {
        // The window left alone for as long as the calls took, under the
        // same writes.
        double alone = 0;
        for (size_t i = 0; i < allPainted.size(); ++i) {
            stalls.start();
            waitFor(650);
            alone = std::max(alone, stalls.worst());
        }
        std::printf("window left alone under the same disk writes: longest stall %.1f ms\n", alone);
        writer.reset();
    }
    for (const QString& line : wrong)
        std::printf("  wrong: %s\n", qPrintable(line));
    std::printf("goal: painted within %.0f ms (median of every kind): %s; longest stall around a call %.1f ms (goal under 100 ms): %s; "
                "callers announced right: %s\n",
                goal, painted ? "met" : "NOT met", worstStall, worstStall < 100 ? "met" : "NOT met",
                wrong.isEmpty() ? "all" : "NOT all");
    std::printf("  of the longest stall the window thread ran %.1f ms (the rest it waited for a core or a lock)\n",
                worstWorked);
    std::printf("resident memory after the calls: %.0f MB\n", residentKb() / 1024.0);
    printLoad("end");
    return 0;
}
