// The whole program's memory, browser-engine processes included: the main
// window as the entry builds it, with real web views, over an empty
// database.  The resident memory of this process and of every process it
// started (read from /proc) is summed after start, after 100 simulated
// calls, and after every tab has been looked at once.  Beside the plain sum
// of resident sizes (pages shared between the processes count once per
// process), the proportional sum (Pss), which counts them once in all.
//
//   bench_memory [calls]      (100 calls unless given)
//
// Goals: at most 400 MB after start, at most 500 MB after 100 calls.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

#include "data/module/datamodule.h"
#include "rules/files/paths.h"
#include "ui/shell/application.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"
#include "ui/web/browser.h"

#include "benchdb.h"
#include "eventwait.h"
#include "measure.h"

namespace {

// This process and every process below it.
QList<int> processTree()
{
    QMap<int, QList<int>> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces, the ")" ends it.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1)
            children[rest[1].toInt()] << pid;
    }
    QList<int> tree{int(::getpid())};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.value(tree[i]);
    return tree;
}

// kB of one "Name:   N kB" line of a /proc file.
long kbOf(const QString& path, const QByteArray& name)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLong();
    return 0;
}

struct Memory {
    int processes = 0;
    long rssKb = 0;
    long pssKb = 0;
    long ownKb = 0;  // this process alone
};

Memory measure()
{
    Memory m;
    for (int pid : processTree()) {
        const long rss = kbOf(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
        if (rss <= 0)
            continue;  // ended meanwhile, or a kernel thread
        ++m.processes;
        m.rssKb += rss;
        m.pssKb += kbOf(QStringLiteral("/proc/%1/smaps_rollup").arg(pid), "Pss:");
        if (pid == int(::getpid()))
            m.ownKb = rss;
    }
    return m;
}

void print(const char* when, const Memory& m, int goalMb)
{
    std::printf("  %-32s %3d processes  resident %6.1f MB  proportional %6.1f MB  (program alone %6.1f MB)%s\n",
                when, m.processes, m.rssKb / 1024.0, m.pssKb / 1024.0, m.ownKb / 1024.0,
                goalMb <= 0               ? ""
                : m.rssKb / 1024 <= goalMb ? "  goal met"
                                           : "  over the goal");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    drawWithoutOpenGL();
    Application app(argc, argv);
    bench::printLoad("start");
    const int calls = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100;
    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("data"));
    QDir(folder.path()).mkpath(QStringLiteral("set"));
    bench::createEmptyDatabase(folder.path() + QStringLiteral("/data/web.mdb"));
    setProgramFolder(folder.path());

    DataModule dm;
    SimulatedDevice device;
    MainWindow w(dm, device);
    w.show();
    bench::runFor(10000);  // the start pages load (or fail to, offline)
    std::printf("whole program, resident memory summed over its processes:\n");
    print("after start", measure(), 400);

    for (int i = 0; i < calls; ++i) {
        device.simulateCall(1, QStringLiteral("1390000%1").arg(i, 4, 10, QLatin1Char('0')));
        device.simulateHandoff(1);
        bench::runFor(700);  // the three searches, 200 ms apart
    }
    bench::runFor(3000);
    char label[64];
    std::snprintf(label, sizeof label, "after %d calls", calls);
    print(label, measure(), 500);

    auto* tabs = w.findChild<QTabWidget*>(QStringLiteral("tabs"));
    for (int i = 0; tabs && i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        bench::runFor(1500);
    }
    tabs->setCurrentIndex(0);
    bench::runFor(3000);
    print("after every tab was shown", measure(), 0);
    bench::printLoad("end");
    return 0;
}
