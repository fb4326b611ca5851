// The list searches over the benchmark database, each beside a bare run in
// the same process and the same minute:
//  - the call list's date search of one day (an arrow click on the day),
//    until the grid has painted its first screen (bare: the keys and rows
//    of one screen) and until the whole day is listed (bare: every key of
//    the day's calls and one screen of their rows, what a list needs)
//  - the call list's field search by part of a number, the same two ways
//  - saving and loading a grid layout; bare: the same bytes through a file
//  - the customer tree over four fields, rebuilt ("重生列表") until the tree
//    is shown and its file written (and the longest stall of the event loop
//    meanwhile) beside a bare read of the four fields of every customer,
//    loaded from its file, and the search for a third-level node
// Every figure is the median of seven runs (five for the tree's rebuild),
// each date and search text another one.
//
//   bench_lists [--large]   (built on first use)
//
// The database is copied into a temporary program folder.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ui/kit/updownbox.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/device.h"
#include "data/connection/connection.h"
#include "data/module/datamodule.h"
#include "ui/kit/dbgrid.h"
#include "ui/lists/customerlist.h"
#include "rules/lists/customertree.h"
#include "ui/lists/gridlayout.h"
#include "rules/lists/listsearch.h"

#include "benchdb.h"
#include "eventwait.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kRuns = 7;

// Rows a grid shows at once.
int screenRows(const DBGrid& grid)
{
    return grid.viewport()->height() / std::max(1, grid.verticalHeader()->defaultSectionSize()) + 1;
}

// What a list of the statement's rows needs at the least: every key (for
// the count and the scroll bar) and the rows of one screen; or, for the
// first screen alone, the keys of one screen and their rows.
double bareKeysAndScreen(Connection& conn, const QString& sql, int screen, qint64* count, bool firstScreenOnly = false)
{
    return timed([&] {
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        q.exec(QStringLiteral("select ID from (\r\n") + sql + QStringLiteral("\r\n)") +
               (firstScreenOnly ? QStringLiteral(" limit ") + QString::number(screen) : QString()));
        QStringList first;
        qint64 n = 0;
        while (q.next()) {
            if (n++ < screen)
                first << q.value(0).toString();
        }
        *count = n;
        q.finish();
        if (first.isEmpty())
            return;
        q.exec(QStringLiteral("select * from (\r\n") + sql + QStringLiteral("\r\n) where ID in (") +
               first.join(QLatin1Char(',')) + QLatin1Char(')'));
        readToEnd(q);
    });
}

void line(const char* what, const std::vector<double>& ours, const std::vector<double>& bare, qint64 rows,
          const char* goal, bool met)
{
    const double o = median(ours), b = median(bare);
    std::printf("%-36s %9.2f ms   bare %9.2f ms   %6.2fx  rows %7lld   %s%s%s   (load %s)\n", what, o, b,
                b > 0 ? o / b : 0.0, rows, goal ? goal : "", goal ? ": " : "", goal ? (met ? "met" : "NOT met") : "",
                loadAverage().constData());
    std::fflush(stdout);
}

// The number of nodes the tree over these fields has: every distinct
// beginning of the values down to the first empty one.
qint64 expectedNodes(Connection& conn, const QStringList& fields)
{
    QSet<QString> nodes;
    QSqlQuery q(conn.database());
    q.setForwardOnly(true);
    q.exec(QStringLiteral("select distinct ") + fields.join(QStringLiteral(", ")) + QStringLiteral(" from 客户数据"));
    while (q.next()) {
        QString path;
        for (int i = 0; i < fields.size(); ++i) {
            const QString v = q.value(i).toString();
            if (v.isEmpty())
                break;
            path += QChar(0x1f) + v;
            nodes.insert(path);
        }
    }
    return nodes.size();
}

void treeFigures(MainWindow& w, Connection& bare, const QStringList& list)
{
    w.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("customerTab")));
    QApplication::processEvents();
    std::printf("tree over %s:\n", qPrintable(list.join(QStringLiteral(", "))));
    const qint64 nodes = expectedNodes(bare, list);

    // "重生列表" until the tree shows every node and its file is written.
    // Bare: the four fields of every customer read to the end.
    std::vector<double> rebuild, bareRead4, stalls;
    StallMeter meter;
    for (int run = 0; run < 5; ++run) {
        bareRead4.push_back(timed([&] {
            QSqlQuery q(bare.database());
            q.setForwardOnly(true);
            q.exec(QStringLiteral("select ") + list.join(QStringLiteral(", ")) + QStringLiteral(" from 客户数据"));
            readToEnd(q);
        }));
        w.customerList()->setTreeNodes({});
        QFile::remove(CustomerList::treePath());
        QApplication::processEvents();
        meter.start();
        QElapsedTimer t;
        t.start();
        if (!w.customerList()->startRebuild(list, &w)) {
            std::printf("  the rebuild did not start\n");
            return;
        }
        runUntil([&] { return !w.customerList()->rebuildRunning(); }, 600000);
        w.findChild<QTreeView*>(QStringLiteral("categoryTree"))->repaint();
        rebuild.push_back(t.nsecsElapsed() / 1e6);
        QApplication::processEvents();
        stalls.push_back(meter.worst());
    }
    const qint64 shown = w.customerList()->treeNodes().size();
    line("tree rebuild, shown and written", rebuild, bareRead4, shown, "goal 1 s", median(rebuild) <= 1000.0);
    std::printf("  (bare: the four fields of every customer read to the end; %lld nodes expected, %lld shown, file %s;"
                " longest stall during a rebuild: median %.0f ms, max %.0f ms)\n",
                nodes, shown, QFile::exists(CustomerList::treePath()) ? "written" : "MISSING", median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));

    std::vector<double> load, bareRead;
    for (int run = 0; run < kRuns; ++run) {
        w.customerList()->setTreeNodes({});  // at start-up the tree is empty
        QElapsedTimer t;
        t.start();
        w.customerList()->loadTreeFile();
        runUntil([&] { return !w.customerList()->treeLoading(); }, 600000);
        w.findChild<QTreeView*>(QStringLiteral("categoryTree"))->repaint();
        load.push_back(t.nsecsElapsed() / 1e6);
        bareRead.push_back(timed([&] {
            QFile f(CustomerList::treePath());
            f.open(QIODevice::ReadOnly);
            f.readAll();
        }));
    }
    line("tree file loaded at start-up", load, bareRead, shown, "goal 100 ms", median(load) < 100.0);

    // Searches for third-level nodes (three conditions), each another node.
    writeTextLines(CustomerList::searchListPath(), list);
    auto* view = w.findChild<QTreeView*>(QStringLiteral("categoryTree"));
    const QAbstractItemModel* m = view->model();
    QVector<QModelIndex> third;
    for (int i = 0; i < m->rowCount(); ++i)
        for (int j = 0; j < m->rowCount(m->index(i, 0)); ++j)
            for (int k = 0; k < m->rowCount(m->index(j, 0, m->index(i, 0))); k += 17)
                third << m->index(k, 0, m->index(j, 0, m->index(i, 0)));
    std::vector<double> ours, paint, bareSearch;
    qint64 rows = 0;
    const int screen = screenRows(*w.findChild<DBGrid*>(QStringLiteral("customerGrid")));
    for (int run = 0; run < kRuns && !third.isEmpty(); ++run) {
        const QModelIndex item = third[int(qint64(run) * third.size() / kRuns)];
        view->setCurrentIndex(item);
        const QStringList path{item.parent().parent().data().toString(), item.parent().data().toString(),
                               item.data().toString()};
        const QString sql = customertree::joinLines(customertree::treeSearch(list, path, true).lines);
        bareKeysAndScreen(bare, sql, screen, &rows);
        bareSearch.push_back(bareKeysAndScreen(bare, sql, screen, &rows));
        QElapsedTimer t;
        t.start();
        w.customerList()->searchTreeNode();
        ours.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        w.findChild<DBGrid*>(QStringLiteral("customerGrid"))->repaint();
        paint.push_back(t.nsecsElapsed() / 1e6);
    }
    line("tree search, third level", ours, bareSearch, rows, "goal 1.5x", median(ours) <= 1.5 * median(bareSearch));
    std::printf("  (then the grid's repaint: %.1f ms)\n", median(paint));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const QString source = database(size);

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
    QElapsedTimer start;
    start.start();
    w.show();
    runUntil([&] { return dm.callTable.isActive() && !dm.callTable.countPending(); }, 300000);
    std::printf("%s; start until the call list is counted: %.0f ms\n", qPrintable(sizeText(size)),
                double(start.elapsed()));
    auto bare = bareConnection(file);
    w.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentWidget(w.findChild<QWidget*>(QStringLiteral("callTab")));
    QApplication::processEvents();
    const int screen = screenRows(*w.findChild<DBGrid*>(QStringLiteral("callGrid")));
    std::printf("a screen of the call list: %d rows\n", screen);

    // Date search: an arrow click on the day, until the grid has painted,
    // and until the whole day is in the list.  The days are those of calls
    // spread over the log's years.
    {
        std::vector<double> ours, whole, bareFirst, bareWhole;
        qint64 rows = 0;
        std::vector<double> dayRows;
        QSqlQuery q(bare->database());
        for (int run = 0; run < kRuns; ++run) {
            q.exec(QStringLiteral("select 日期 from 来电数据 where ID = ") +
                   QString::number(1 + qint64(run * 2 + 1) * size.calls / (2 * kRuns)));
            q.next();
            const QStringList ymd = q.value(0).toString().split(QLatin1Char('-'));
            const int y = ymd.value(0).toInt(), m = ymd.value(1).toInt(), d = ymd.value(2).toInt();
            const QString sql = listsearch::dateSearch(y, m, d);
            bareKeysAndScreen(*bare, sql, screen, &rows);
            bareFirst.push_back(bareKeysAndScreen(*bare, sql, screen, &rows, true));
            bareWhole.push_back(bareKeysAndScreen(*bare, sql, screen, &rows));
            dayRows.push_back(double(rows));
            w.findChild<UpDownBox*>(QStringLiteral("callYearBox"))->setValue(y);
            w.findChild<UpDownBox*>(QStringLiteral("callMonthBox"))->setValue(m);
            w.findChild<UpDownBox*>(QStringLiteral("callDayBox"))->setValue(d > 1 ? d - 1 : d + 1);
            QApplication::processEvents();
            QElapsedTimer t;
            t.start();
            w.findChild<UpDownBox*>(QStringLiteral("callDayBox"))->stepBy(d > 1 ? 1 : -1);
            w.findChild<DBGrid*>(QStringLiteral("callGrid"))->repaint();
            ours.push_back(t.nsecsElapsed() / 1e6);
            runUntil([&] { return !dm.callTable.loading() && !dm.callTable.countPending(); }, 300000);
            whole.push_back(t.nsecsElapsed() / 1e6);
            if (dm.callTable.recordCount() != rows)
                std::printf("  %d-%d-%d: the list holds %d calls, the day %lld\n", y, m, d,
                            dm.callTable.recordCount(), rows);
        }
        line("date search, first screen painted", ours, bareFirst, qint64(median(dayRows)), "goal 20 ms",
             median(ours) <= 20.0);
        line("date search, the whole day listed", whole, bareWhole, qint64(median(dayRows)), nullptr, true);
    }

    // Field search by part of a number: until the grid has painted, and
    // until every match is in the list.
    {
        std::vector<double> ours, whole, bareFirst, bareWhole, found;
        qint64 rows = 0;
        const char* const texts[kRuns] = {"8888", "6601", "5208", "1234", "7777", "3690", "2468"};
        w.findChild<QComboBox*>(QStringLiteral("callSearchField"))->setCurrentIndex(w.findChild<QComboBox*>(QStringLiteral("callSearchField"))->findText(QStringLiteral("电话")));
        for (const char* text : texts) {
            w.findChild<QLineEdit*>(QStringLiteral("callSearchText"))->setText(QString::fromLatin1(text));
            const QString sql = listsearch::fieldSearch(QStringLiteral("来电数据"), QStringLiteral("电话"),
                                                        QString::fromLatin1(text));
            bareKeysAndScreen(*bare, sql, screen, &rows);
            bareFirst.push_back(bareKeysAndScreen(*bare, sql, screen, &rows, true));
            bareWhole.push_back(bareKeysAndScreen(*bare, sql, screen, &rows));
            found.push_back(double(rows));
            QElapsedTimer t;
            t.start();
            w.findChild<QPushButton*>(QStringLiteral("callSearchButton"))->click();
            w.findChild<DBGrid*>(QStringLiteral("callGrid"))->repaint();
            ours.push_back(t.nsecsElapsed() / 1e6);
            runUntil([&] { return !dm.callTable.loading() && !dm.callTable.countPending(); }, 300000);
            whole.push_back(t.nsecsElapsed() / 1e6);
            if (dm.callTable.recordCount() != rows)
                std::printf("  电话 %s: the list holds %d calls, the statement %lld\n", text,
                            dm.callTable.recordCount(), rows);
        }
        line("field search 电话 8888 etc., painted", ours, bareFirst, qint64(median(found)), "goal 1.2x",
             median(ours) <= 1.2 * median(bareFirst));
        line("field search, every match listed", whole, bareWhole, qint64(median(found)), "goal 1.2x",
             median(whole) <= 1.2 * median(bareWhole));
    }

    // Layouts: save and load the call grid's columns (the grid's repaint
    // after the load is timed on its own).
    {
        std::vector<double> save, load, paint, bareWrite, bareRead;
        const QString path = folder + QStringLiteral("set/DBGrid2.dat");
        for (int run = 0; run < kRuns; ++run) {
            save.push_back(timed([&] { gridlayout::save(*w.findChild<DBGrid*>(QStringLiteral("callGrid")), path); }));
            load.push_back(timed([&] { gridlayout::load(*w.findChild<DBGrid*>(QStringLiteral("callGrid")), path); }));
            paint.push_back(timed([&] { w.findChild<DBGrid*>(QStringLiteral("callGrid"))->repaint(); }));
            // Bare: the same bytes read and written with plain files.
            QByteArray b;
            bareRead.push_back(timed([&] {
                QFile f(path);
                f.open(QIODevice::ReadOnly);
                b = f.readAll();
            }));
            bareWrite.push_back(timed([&] {
                QFile g(path + QStringLiteral(".bare"));
                g.open(QIODevice::WriteOnly);
                g.write(b);
            }));
        }
        const qint64 columns = w.findChild<DBGrid*>(QStringLiteral("callGrid"))->columnLayout().size();
        line("save layout (rows = columns)", save, bareWrite, columns, "goal 5 ms", median(save) < 5.0);
        line("load layout (rows = columns)", load, bareRead, columns, "goal 5 ms", median(load) < 5.0);
        std::printf("  grid repaint after the load: %.2f ms\n", median(paint));
    }

    // The customer tree: over the fields real lists are arranged by (some
    // 150,000 nodes at 100,000 customers), and over the categories, the
    // postal code and the address.
    treeFigures(w, *bare, treeFields());
    treeFigures(w, *bare, {QStringLiteral("分类1"), QStringLiteral("分类2"), QStringLiteral("邮编"), QStringLiteral("地址")});
    printLoad("end");
    return 0;
}
