// Dragging the call list's scroll bar into rows not read yet, as the
// operator feels it, and two reopens of a long list:
//  - a drag: the time the window thread is blocked by the paint of one
//    screen of rows at the place the thumb was let go (every cell of the
//    screen asked for the way the grid's paint asks, shownValue()), and
//    separately the time until the rows of that screen are in (read in the
//    background; each arrival is painted again, and the longest the event
//    loop could not run meanwhile is kept as the window's stall), beside a
//    bare read of the same screen with a plain statement (limit and offset
//    in the list's order) in the same run.  The drags go to places spread
//    over the list, far ones first, then a short one beside each.
//  - the customer list's empty search on 联系人 (every customer): the time
//    the reopen blocks, the stall until every key is read, and the time
//    until its first screen is in; bare: the first screen by a plain
//    statement, and every key of the search.
//  - the call list reopened as after a compact: the time the reopen
//    blocks and until its first screen is in; bare: the first screen.
//
//   bench_scroll [--large]   (the database is built on first use)
//
// The database is copied into a temporary folder: opening a list may note
// row counts in it.

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/lists/reopen.h"
#include "rules/lists/listsearch.h"

#include "benchdb.h"
#include "measure.h"

namespace {

using namespace bench;

constexpr int kScreen = 30;

// Every cell of the rows from `first` on, as a grid's paint asks for them.
double paintScreen(DataSet& list, int first)
{
    return timed([&] {
        const int last = std::min(first + kScreen, list.rowCount());
        for (int r = first; r < last; ++r)
            for (int f = 0; f < list.fieldCount(); ++f)
                list.shownValue(r, f);
    });
}

bool screenIn(DataSet& list, int first)
{
    const int last = std::min(first + kScreen, list.rowCount());
    for (int r = first; r < last; ++r)
        if (!list.rowAtHand(r))
            return false;
    return true;
}

struct Drag {
    double paint = 0;  // the window thread blocked by the first paint
    double in = 0;     // until the screen's rows are in
    double stall = 0;  // the longest the event loop could not run meanwhile (repaints included)
};

// A paint at `first`, then the event loop runs, each arrival painted again,
// until the rows of the screen are in.
Drag drag(DataSet& list, int first)
{
    Drag d;
    QElapsedTimer clock;
    clock.start();
    d.paint = paintScreen(list, first);
    StallMeter meter;
    meter.start();
    QEventLoop loop;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&list, &DataSet::rowsRead, &loop, [&] {
        d.stall = std::max(d.stall, paintScreen(list, first));
        if (screenIn(list, first))
            loop.quit();
    });
    giveUp.start(120000);
    if (!screenIn(list, first))
        loop.exec();
    d.in = clock.nsecsElapsed() / 1e6;
    d.stall = std::max({d.stall, meter.worst(), d.paint});
    return d;
}

double bareScreen(Connection& conn, const QString& sql, int first)
{
    return timed([&] {
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        q.exec(sql + QStringLiteral(" limit ") + QString::number(kScreen) + QStringLiteral(" offset ") +
               QString::number(first));
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
    const double worst = ours.empty() ? 0 : *std::max_element(ours.begin(), ours.end());
    const double bareWorst = bare.empty() ? 0 : *std::max_element(bare.begin(), bare.end());
    std::printf("%-40s median %8.1f ms  longest %8.1f ms   bare median %8.1f ms  longest %8.1f ms   (load %s)\n", what,
                median(ours), worst, median(bare), bareWorst, loadAverage().constData());
    std::fflush(stdout);
}

void drags(DataSet& list, Connection& bare)
{
    const QString sql = QStringLiteral("select * from 来电数据 order by ID desc");
    const int rows = list.rowCount();
    const double places[] = {0.5, 0.25, 0.75, 0.1, 0.9, 0.4, 0.6, 0.05, 0.95, 0.33};
    std::vector<double> paint, in, stall, near, nearIn, bareFar, bareNear;
    for (double place : places) {
        const int at = int(place * (rows - kScreen));
        const Drag far = drag(list, at);
        paint.push_back(far.paint);
        in.push_back(far.in);
        stall.push_back(far.stall);
        bareFar.push_back(bareScreen(bare, sql, at));
        const int beside = std::min(at + 5 * kScreen, rows - kScreen);
        const Drag short_ = drag(list, beside);
        near.push_back(short_.paint);
        nearIn.push_back(short_.in);
        stall.push_back(short_.stall);
        bareNear.push_back(bareScreen(bare, sql, beside));
        std::printf("  drag to row %9d: paint %6.2f ms, rows in %8.1f ms, stall %6.1f ms (bare %7.1f ms); "
                    "a screen further: paint %6.2f ms, in %7.1f ms (bare %7.1f ms)\n",
                    at, far.paint, far.in, far.stall, bareFar.back(), short_.paint, short_.in, bareNear.back());
    }
    line("drag far: paint (window blocked)", paint, bareFar);
    line("drag far: until the rows are in", in, bareFar);
    line("drag near: paint (window blocked)", near, bareNear);
    line("drag near: until the rows are in", nearIn, bareNear);
    line("drags: longest stall of the window", stall, bareFar);
}

// Reopens `list` with `reopen` and waits for its first screen and for the
// end of any background read; the longest stall meanwhile.
Drag reopened(DataSet& list, const std::function<void()>& reopen)
{
    Drag d;
    QElapsedTimer clock;
    clock.start();
    d.paint = timed(reopen) + paintScreen(list, 0);
    StallMeter meter;
    meter.start();
    QEventLoop loop;
    auto check = [&] {
        if (d.in == 0 && screenIn(list, 0))
            d.in = clock.nsecsElapsed() / 1e6;
        d.stall = std::max(d.stall, paintScreen(list, 0));
        if (d.in > 0 && !list.loading() && !list.countPending())
            loop.quit();
    };
    QObject::connect(&list, &DataSet::rowsRead, &loop, check);
    QObject::connect(&list, &DataSet::rowsAppended, &loop, check);
    QObject::connect(&list, &DataSet::loadingChanged, &loop, check);
    QTimer poll;  // a count that arrives tells nobody here
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(20);
    check();
    if (d.in == 0 || list.loading() || list.countPending())
        loop.exec();
    d.stall = std::max({d.stall, meter.worst(), d.paint});
    return d;
}

void reopens(Connection& conn, Connection& bare)
{
    DataSet customers(&conn, QStringLiteral("customers"));
    customers.setStatement(wholeList(QStringLiteral("客户数据")));
    customers.open();
    customers.waitForCount();
    const QString empty = listsearch::fieldSearch(QStringLiteral("客户数据"), QStringLiteral("联系人"), QString(),
                                                  textLikeOf(customers));
    std::vector<double> blocked, in, stall, bareFirst, bareAll;
    for (int i = 0; i < 3; ++i) {
        const Drag d = reopened(customers, [&] {
            customers.reopen(WrittenStatement::of(empty, QStringLiteral("客户数据")));
        });
        blocked.push_back(d.paint);
        in.push_back(d.in);
        stall.push_back(d.stall);
        bareFirst.push_back(bareScreen(bare, empty, 0));
        bareAll.push_back(bareKeys(bare, empty));
        std::printf("  empty 联系人 search, %d rows: blocked %6.1f ms, first screen in %6.1f ms, longest stall %6.1f ms\n",
                    customers.recordCount(), d.paint, d.in, d.stall);
        customers.reopen(wholeList(QStringLiteral("客户数据")));
        customers.waitForCount();
    }
    line("empty search: reopen + paint (blocked)", blocked, bareFirst);
    line("empty search: first screen in", in, bareFirst);
    line("empty search: longest stall (vs all keys)", stall, bareAll);

    DataSet calls(&conn, QStringLiteral("calls"));
    calls.setStatement(wholeList(QStringLiteral("来电数据")));
    calls.open();
    calls.waitForCount();
    blocked.clear(), in.clear(), stall.clear(), bareFirst.clear();
    for (int i = 0; i < 3; ++i) {
        const Drag d = reopened(calls, [&] { calls.reopen(); });
        blocked.push_back(d.paint);
        in.push_back(d.in);
        stall.push_back(d.stall);
        bareFirst.push_back(bareScreen(bare, QStringLiteral("select * from 来电数据 order by ID desc"), 0));
    }
    line("call list reopened: reopen + paint", blocked, bareFirst);
    line("call list reopened: first screen in", in, bareFirst);
    line("call list reopened: longest stall", stall, bareFirst);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    // The cached database as it is, never opened in place (it is shared).
    const QString source = cachedDatabase(size);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("web.mdb"));
    if (!QFile::copy(source, file)) {
        std::printf("cannot copy %s\n", qPrintable(source));
        return 1;
    }
    std::printf("%s\n", qPrintable(sizeText(size)));

    Connection conn(QStringLiteral("calls"));
    conn.setLocation(DatabaseLocation::ofFile(file));
    auto bare = bareConnection(file);
    {
        DataSet list(&conn, QStringLiteral("calls"));
        list.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        const double open = timed([&] { list.open(); });
        const int rows = list.waitForCount();
        std::printf("the call list opens in %.1f ms with %d rows\n", open, rows);
        drags(list, *bare);
    }
    reopens(conn, *bare);
    printLoad("end");
    return 0;
}
