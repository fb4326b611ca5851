// The window's stalls when a long list is opened anew, in the main window
// over the benchmark database, each beside a bare read in the same run:
//  - the customer list's search on 联系人 with an empty text (every
//    customer): the time the click blocks the window (the search, the
//    grid's paint), the time until the first screen is in, and the longest
//    stall of the event loop until the list is complete (count or keys);
//    bare: the first screen by a plain statement, and every key found;
//  - both lists reopened as a compact reopens them (the connection closed,
//    each list opened anew with its statement): the same three figures for
//    the list shown (the customer list; the call list's grid is hidden and
//    paints nothing); bare: the first screen of each list.
// Each is run three times, after the longest stall of the window left
// alone for three seconds (its stalls without any of this).
//
//   bench_reopen [--large]
//
// The database is copied into a temporary program folder.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "data/connection/connection.h"
#include "data/module/datamodule.h"
#include "rules/files/paths.h"
#include "rules/lists/listsearch.h"
#include "ui/calls/device.h"
#include "ui/kit/dbgrid.h"
#include "ui/shell/mainwindow.h"

#include "benchdb.h"
#include "eventwait.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kScreen = 30;

bool screenIn(const DataSet& list)
{
    for (int r = 0; r < std::min(kScreen, list.rowCount()); ++r)
        if (!list.rowAtHand(r))
            return false;
    return true;
}

bool complete(const DataSet& list) { return !list.loading() && !list.countPending(); }

struct Figures {
    double blocked = 0, firstScreen = 0, stall = 0;
};

// `act` on the window thread (the grids painted at once after it), then
// the event loop until the lists' first screens are in and they are complete.
Figures measure(const std::function<void()>& act, const std::vector<DBGrid*>& grids,
                const std::vector<const DataSet*>& lists)
{
    Figures f;
    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    act();
    for (DBGrid* g : grids)
        g->repaint();
    f.blocked = clock.nsecsElapsed() / 1e6;
    meter.start();
    auto in = [&] { return std::all_of(lists.begin(), lists.end(), [](const DataSet* l) { return screenIn(*l); }); };
    runUntil([&] {
        for (DBGrid* g : grids)
            g->viewport()->update();
        return in();
    }, 120000);
    f.firstScreen = clock.nsecsElapsed() / 1e6;
    runUntil([&] { return std::all_of(lists.begin(), lists.end(), [](const DataSet* l) { return complete(*l); }); },
              300000);
    f.stall = std::max(meter.worst(), f.blocked);
    return f;
}

double bareScreen(Connection& conn, const QString& sql)
{
    return timed([&] {
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        q.exec(sql + QStringLiteral(" limit ") + QString::number(kScreen));
        readToEnd(q);
    });
}

double bareKeys(Connection& conn, const QString& sql)
{
    return timed([&] {
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        q.exec(QStringLiteral("select ID from (") + sql + QLatin1Char(')'));
        while (q.next())
            q.value(0);
    });
}

void line(const char* what, const std::vector<double>& ours, const std::vector<double>& bare)
{
    const double worst = *std::max_element(ours.begin(), ours.end());
    std::printf("%-44s median %8.1f ms  longest %8.1f ms   bare median %8.1f ms   (load %s)\n", what, median(ours),
                worst, median(bare), loadAverage().constData());
    std::fflush(stdout);
}

void report(const char* what, const std::vector<Figures>& runs, const std::vector<double>& bareFirst,
            const std::vector<double>& bareAll)
{
    std::vector<double> blocked, first, stall;
    for (const Figures& f : runs) {
        blocked.push_back(f.blocked);
        first.push_back(f.firstScreen);
        stall.push_back(f.stall);
    }
    std::printf("%s:\n", what);
    line("  window blocked (act + paint)", blocked, bareFirst);
    line("  until the first screen is in", first, bareFirst);
    line("  longest stall until complete", stall, bareAll);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const QString source = cachedDatabase(size);

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

    DataModule dm;
    SimulatedDevice device;
    MainWindow w(dm, device);
    w.show();
    runUntil([&] { return dm.callTable.isActive() && complete(dm.callTable) && complete(dm.customerTable); },
              300000);
    std::printf("%s\n", qPrintable(sizeText(size)));
    auto bare = bareConnection(file);
    auto* tabs = w.findChild<QTabWidget*>(QStringLiteral("tabs"));
    auto* customerGrid = w.findChild<DBGrid*>(QStringLiteral("customerGrid"));
    auto* callGrid = w.findChild<DBGrid*>(QStringLiteral("callGrid"));

    // The window left alone as long: the stalls it has anyway.
    {
        tabs->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("customerTab")));
        QApplication::processEvents();
        for (int run = 0; run < 3; ++run) {
            StallMeter meter;
            meter.start();
            QElapsedTimer t;
            t.start();
            runUntil([&] { return t.elapsed() >= 3000; }, 4000);
            std::printf("  the window left alone for 3 s: longest stall %.1f ms (load %s)\n", meter.worst(),
                        loadAverage().constData());
        }
    }

    // The empty search on 联系人.
    {
        tabs->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("customerTab")));
        QApplication::processEvents();
        auto* field = w.findChild<QComboBox*>(QStringLiteral("customerSearchField"));
        field->setCurrentIndex(field->findText(QStringLiteral("联系人")));
        w.findChild<QLineEdit*>(QStringLiteral("customerSearchText"))->clear();
        auto* search = w.findChild<QPushButton*>(QStringLiteral("customerSearchButton"));
        const QString sql = listsearch::fieldSearch(QStringLiteral("客户数据"), QStringLiteral("联系人"), QString());
        std::vector<Figures> runs;
        std::vector<double> bareFirst, bareAll;
        for (int run = 0; run < 3; ++run) {
            runs.push_back(measure([&] { search->click(); }, {customerGrid}, {&dm.customerTable}));
            bareFirst.push_back(bareScreen(*bare, sql));
            bareAll.push_back(bareKeys(*bare, sql));
            std::printf("  empty search, %d rows: blocked %.1f ms, first screen %.1f ms, stall %.1f ms\n",
                        dm.customerTable.recordCount(), runs.back().blocked, runs.back().firstScreen,
                        runs.back().stall);
        }
        report("empty 联系人 search", runs, bareFirst, bareAll);
    }

    // Both lists reopened as after a compact.
    {
        std::vector<Figures> runs;
        std::vector<double> bareFirst;
        for (int run = 0; run < 3; ++run) {
            runs.push_back(measure(
                [&] {
                    dm.connection.close();
                    dm.customerTable.reopen();
                    dm.callTable.reopen();
                },
                {customerGrid, callGrid}, {&dm.customerTable}));
            bareFirst.push_back(bareScreen(*bare, QStringLiteral("select * from 客户数据 order by ID desc")) +
                                bareScreen(*bare, QStringLiteral("select * from 来电数据 order by ID desc")));
            std::printf("  reopen: blocked %.1f ms, first screens %.1f ms, stall %.1f ms\n", runs.back().blocked,
                        runs.back().firstScreen, runs.back().stall);
        }
        report("both lists reopened (compact)", runs, bareFirst, bareFirst);
    }
    printLoad("end");
    return 0;
}
