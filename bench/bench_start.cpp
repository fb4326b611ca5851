// The program's start over a large database: the main window as the entry
// builds it, timed from the start of the process until the record position
// of the call list is shown, the longest stall of the window thread from
// just before the window's show() until then and in the two seconds after,
// and the resident memory once started.  Beside it, in the same run, the
// same start over an empty database: the bare baseline of the stall (the
// window's own drawing and web views, no data).  Each start is a process of
// its own; the two take turns, five starts each, and the figures are
// medians.  Of the last start of each kind the slowest events of the window
// thread are listed (what they went to, how long, and how much of that the
// thread worked rather than waited for a core): what the stalls are made of.
//
//   bench_start [--large] [database file] [cold] [tree]
//     Without a file the generator's database (built on first use).  The
//     database is put (linked) into a temporary program folder of each
//     start; "cold" drops the file from the page cache before each start.
//     "tree": a third start takes turns with them, over the same database
//     with its saved customer tree (as "重生列表" leaves it, built on first
//     use) in set/: until the tree is read and shown, the longest stall
//     meanwhile, and the resident memory with the tree and once a few of
//     its levels are open.  Beside it the bare read of the tree file's bytes.
//     "rebuild" (with "tree"): one more start that then runs "重生列表" twice,
//     each until the new tree is shown, with the memory after each; beside
//     it a bare read of the tree's four fields of every customer.
// While a start waits (for the position, the tree, a rebuild) it sleeps in
// the event loop: no busy loop takes a core from the start's own threads.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "ui/shell/application.h"
#include "rules/files/paths.h"
#include "ui/kit/statusbar.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/deviceswitch.h"
#include "data/module/datamodule.h"
#include "ui/web/browser.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/customertreemodel.h"

#include "benchdb.h"
#include "benchtree.h"
#include "eventwait.h"
#include "measure.h"
#include "slowevents.h"

namespace {

using namespace bench;

constexpr int kRuns = 5;
// Events of the window thread that took this long or longer, the slowest
// few of a start: what its stalls are made of.
constexpr double kSlowEventMs = 15;
constexpr int kSlowEvents = 8;
const char* const kChild = "--one-start";

// One start in this process; prints its figures on one line.
// The tree's figures of a start with the saved tree: "TREE" and the time
// from the start until it is shown, the longest stall since the window was
// shown, the memory with it, the
// nodes open and the memory then.
void treeFigures(MainWindow& w, const QElapsedTimer& clock, StallMeter& stalls)
{
    CustomerList* list = w.customerList();
    runUntil([list] { return !list->treeLoading(); });
    const double loadedMs = clock.nsecsElapsed() / 1e6;
    const double stall = stalls.worst();
    const double loadedMb = residentKb() / 1024.0;
    // A few levels open: the first 20 top-level nodes, under each its first
    // 20 children, and under those their first 5, each shown in turn.
    auto* view = w.findChild<QTreeView*>(QStringLiteral("categoryTree"));
    const QAbstractItemModel* m = view->model();
    int open = 0;
    for (int i = 0; i < std::min(20, m->rowCount()); ++i) {
        const QModelIndex top = m->index(i, 0);
        view->expand(top);
        ++open;
        for (int j = 0; j < std::min(20, m->rowCount(top)); ++j) {
            const QModelIndex second = m->index(j, 0, top);
            view->expand(second);
            ++open;
            for (int k = 0; k < std::min(5, m->rowCount(second)); ++k, ++open)
                view->expand(m->index(k, 0, second));
            view->scrollTo(second);
            QCoreApplication::processEvents();
        }
    }
    view->repaint();
    std::printf("TREE %f %f %f %d %lld %f\n", loadedMs, stall, loadedMb, open,
                qint64(list->treeModel()->outline().count()), residentKb() / 1024.0);
}

// "REBUILD", then per rebuild its time and the memory after it, and the
// bare read of the fields.
void rebuildTwice(MainWindow& w, const QString& file)
{
    double bareMs = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("barefields"));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
        bareMs = timed([&] {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            q.exec(QStringLiteral("select ") + treeFields().join(QStringLiteral(", ")) + QStringLiteral(" from 客户数据"));
            readToEnd(q);
        });
    }
    QSqlDatabase::removeDatabase(QStringLiteral("barefields"));
    std::printf("REBUILD %f %f", bareMs, residentKb() / 1024.0);
    for (int run = 0; run < 2; ++run) {
        const double ms = timed([&] {
            if (!w.customerList()->startRebuild(treeFields(), &w))
                return;
            runUntil([&w] { return !w.customerList()->rebuildRunning(); });
        });
        std::printf(" %f %f", ms, residentKb() / 1024.0);
    }
    std::printf(" %f\n", peakResidentKb() / 1024.0);
}

int oneStart(int argc, char** argv, const QElapsedTimer& clock, const QString& file, bool cold, bool tree,
             bool rebuild)
{
    if (cold) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    drawWithoutOpenGL();
    TimedApplication app(argc, argv);
    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("data"));
    QDir(folder.path()).mkpath(QStringLiteral("set"));
    QFile::link(file, folder.path() + QStringLiteral("/data/web.mdb"));
    setProgramFolder(folder.path());
    if (tree)
        putSavedTree(file, folder.path());

    DataModule dm;
    DeviceSwitch device;
    device.apply(readDeviceSetting(deviceSettingFile()));
    MainWindow w(dm, device);

    double positionMs = -1;
    QObject::connect(&dm, &DataModule::recordPosition, [&](const QString&) {
        positionMs = clock.nsecsElapsed() / 1e6;
    });
    StallMeter stalls;
    const double beforeShow = clock.nsecsElapsed() / 1e6;
    // From before the show: what show() itself does holds the window too.
    stalls.start();
    app.record(kSlowEventMs);
    app.timed(QStringLiteral("show() of the window"), [&w] { w.show(); });
    runUntil([&] {
        return dm.callTable.isActive() && !dm.callTable.countPending() && !dm.customerTable.countPending() &&
               positionMs >= 0;
    });
    const double shownMs = positionMs;
    const double stallToPosition = stalls.worst();
    runFor(2000);
    app.stop();
    for (const TimedApplication::Slow& e : app.slowest(kSlowEvents))
        std::printf("SLOW %.1f %.1f %.1f %s\n", e.at, e.ms, e.cpuMs, qPrintable(e.what));
    if (tree)
        treeFigures(w, clock, stalls);
    if (rebuild)
        rebuildTwice(w, file);

    // The activation step once more, as a restore runs it: its own share.
    QElapsedTimer again;
    again.start();
    w.activate();
    const double activationMs = again.nsecsElapsed() / 1e6;

    std::printf("RESULT %f %f %f %f %f %f %s\n", beforeShow, shownMs, stallToPosition, stalls.worst(),
                activationMs, residentKb() / 1024.0,
                qPrintable(w.panelText(MainWindow::PositionPanel)));
    return 0;
}

struct Starts {
    std::vector<double> built, shown, stall, stallAfter, again, memory;
    std::vector<double> treeShown, treeStall, treeMemory, openMemory;
    QString position, tree, rebuilds;
    QStringList slow;  // the slowest events of the last start
};

bool startOnce(const QString& file, bool cold, Starts* s, bool tree = false, bool rebuild = false)
{
    QProcess p;
    QStringList args{QString::fromLatin1(kChild), file};
    if (cold)
        args << QStringLiteral("cold");
    if (tree)
        args << QStringLiteral("tree");
    if (rebuild)
        args << QStringLiteral("rebuild");
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s", p.readAllStandardError().constData());
        return false;
    }
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    s->slow.clear();
    for (const QByteArray& line : lines) {
        if (line.startsWith("SLOW ")) {
            const QList<QByteArray> f = line.mid(5).split(' ');
            s->slow << QString::asprintf("%7.1f ms (%5.1f ms working) at %7.1f ms: ", f.value(1).toDouble(),
                                         f.value(2).toDouble(), f.value(0).toDouble()) +
                           QString::fromUtf8(f.mid(3).join(' '));
        }
        if (line.startsWith("REBUILD ")) {
            const QList<QByteArray> f = line.mid(8).split(' ');
            s->rebuilds = QString::asprintf(
                "bare read of the fields %.0f ms; memory before %.0f MB; rebuild 1: %.0f ms, then %.0f MB; "
                "rebuild 2: %.0f ms, then %.0f MB; peak %.0f MB",
                f.value(0).toDouble(), f.value(1).toDouble(), f.value(2).toDouble(), f.value(3).toDouble(),
                f.value(4).toDouble(), f.value(5).toDouble(), f.value(6).toDouble());
        }
        if (!line.startsWith("TREE "))
            continue;
        const QList<QByteArray> f = line.mid(5).split(' ');
        s->treeShown.push_back(f.value(0).toDouble());
        s->treeStall.push_back(f.value(1).toDouble());
        s->treeMemory.push_back(f.value(2).toDouble());
        s->openMemory.push_back(f.value(5).toDouble());
        s->tree = QString::fromLatin1(f.value(4) + " nodes, " + f.value(3) + " opened");
    }
    for (const QByteArray& line : lines) {
        if (!line.startsWith("RESULT "))
            continue;
        const QList<QByteArray> f = line.mid(7).split(' ');
        if (f.size() < 7)
            return false;
        s->built.push_back(f[0].toDouble());
        s->shown.push_back(f[1].toDouble());
        s->stall.push_back(f[2].toDouble());
        s->stallAfter.push_back(f[3].toDouble());
        s->again.push_back(f[4].toDouble());
        s->memory.push_back(f[5].toDouble());
        s->position = QString::fromUtf8(f.mid(6).join(' '));
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    // The starts inherit these: Qt WebEngine refuses its sandbox when run as
    // root (as the start script knows), and a machine without a display
    // starts the window offscreen.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 2 && qstrcmp(argv[1], kChild) == 0) {
        bool cold = false, tree = false, rebuild = false;
        for (int i = 3; i < argc; ++i) {
            cold = cold || qstrcmp(argv[i], "cold") == 0;
            tree = tree || qstrcmp(argv[i], "tree") == 0;
            rebuild = rebuild || qstrcmp(argv[i], "rebuild") == 0;
        }
        return oneStart(argc, argv, clock, QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath(), cold,
                        tree, rebuild);
    }

    QCoreApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const bool cold = args.removeAll(QStringLiteral("cold")) > 0;
    const bool withTree = args.removeAll(QStringLiteral("tree")) > 0;
    const bool rebuild = withTree && args.removeAll(QStringLiteral("rebuild")) > 0;
    const QString file =
        QFileInfo(!args.isEmpty() ? args.first() : database(size)).absoluteFilePath();
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    createEmptyDatabase(empty);

    const QString treeFile = withTree ? savedTree(file) : QString();
    Starts full, bare, tree;
    std::vector<double> treeBytes;
    for (int i = 0; i < kRuns; ++i) {
        if (withTree) {
            if (!startOnce(file, cold, &tree, true)) {
                std::fprintf(stderr, "a start with the tree did not finish\n");
                return 1;
            }
            treeBytes.push_back(timed([&] {
                QFile f(treeFile);
                f.open(QIODevice::ReadOnly);
                f.readAll();
            }));
        }
        if (!startOnce(empty, cold, &bare) || !startOnce(file, cold, &full)) {
            std::fprintf(stderr, "a start did not finish\n");
            return 1;
        }
    }
    std::printf("%s%s; medians of %d starts each, taking turns\n", qPrintable(file), cold ? " (cold)" : "", kRuns);
    std::printf("  %-34s %12s %14s\n", "", "this database", "empty database");
    auto row = [](const char* what, const std::vector<double>& a, const std::vector<double>& b, const char* unit) {
        std::printf("  %-34s %9.1f %s %11.1f %s\n", what, median(a), unit, median(b), unit);
    };
    row("window built (before show)", full.built, bare.built, "ms");
    row("record position shown", full.shown, bare.shown, "ms");
    row("longest stall until then", full.stall, bare.stall, "ms");
    row("longest stall with the 2 s after", full.stallAfter, bare.stallAfter, "ms");
    row("activation step run again", full.again, bare.again, "ms");
    row("resident memory after start", full.memory, bare.memory, "MB");
    std::printf("  position panel: \"%s\" (empty: \"%s\")\n", qPrintable(full.position), qPrintable(bare.position));
    auto slowest = [](const char* which, const Starts& s) {
        std::printf("  the slowest events of the window thread, last start %s (from show):\n", which);
        for (const QString& e : s.slow)
            std::printf("    %s\n", qPrintable(e));
    };
    slowest("with this database", full);
    slowest("with the empty database", bare);
    if (withTree) {
        std::printf("with the saved tree (%s, %.1f MB file), same database:\n", qPrintable(tree.tree),
                    QFileInfo(treeFile).size() / 1048576.0);
        std::printf("  %-34s %9.1f ms   (without the tree %.1f ms)\n", "record position shown", median(tree.shown),
                    median(full.shown));
        std::printf("  %-34s %9.1f ms\n", "longest stall until then", median(tree.stall));
        std::printf("  %-34s %9.1f ms\n", "longest stall with the 2 s after", median(tree.stallAfter));
        std::printf("  %-34s %9.1f ms   (bare: the file's bytes read %.1f ms)\n", "tree shown, from the start",
                    median(tree.treeShown), median(treeBytes));
        std::printf("  %-34s %9.1f ms\n", "longest stall from show to tree", median(tree.treeStall));
        std::printf("  %-34s %9.1f MB   (without the tree, after start %.1f MB)\n", "resident memory, tree shown",
                    median(tree.treeMemory), median(full.memory));
        std::printf("  %-34s %9.1f MB   (goal under 400 MB: %s)\n", "resident memory, levels open",
                    median(tree.openMemory), median(tree.openMemory) < 400 ? "met" : "NOT met");
        slowest("with the saved tree", tree);
    }
    if (rebuild) {
        Starts again;
        if (!startOnce(file, cold, &again, true, true)) {
            std::fprintf(stderr, "the start with two rebuilds did not finish\n");
            return 1;
        }
        std::printf("\"重生列表\" twice in one run (load %s):\n  %s\n", loadAverage().constData(),
                    qPrintable(again.rebuilds));
    }
    printLoad("end");
    return 0;
}
