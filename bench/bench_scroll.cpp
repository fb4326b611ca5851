// Dragging the call list's scroll bar into rows not read yet: the window
// thread paints a screen of rows at the place the thumb was let go, and
// stalls for as long as that paint reads.  Each drag is timed as the grid's
// paint asks for the rows (every cell of one screen through rowValue()),
// beside a bare read of the same screen with a plain statement (limit and
// offset in the list's order) in the same run.
//
// The drags go to places spread over the list, far ones first, then a
// short one beside each (rows whose keys are by then known).
//
//   bench_scroll [--large]   (the database is built on first use)
//
// The database is copied into a temporary folder: opening a list may note
// row counts in it.

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"

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
                list.rowValue(r, f);
    });
}

double bareScreen(Connection& conn, int first)
{
    return timed([&] {
        QSqlQuery q(conn.database());
        q.setForwardOnly(true);
        q.exec(QStringLiteral("select * from 来电数据 order by ID desc limit ") + QString::number(kScreen) +
               QStringLiteral(" offset ") + QString::number(first));
        readToEnd(q);
    });
}

void line(const char* what, const std::vector<double>& ours, const std::vector<double>& bare)
{
    const double worst = ours.empty() ? 0 : *std::max_element(ours.begin(), ours.end());
    const double bareWorst = bare.empty() ? 0 : *std::max_element(bare.begin(), bare.end());
    std::printf("%-34s median %8.1f ms  longest %8.1f ms   bare median %8.1f ms  longest %8.1f ms   (load %s)\n", what,
                median(ours), worst, median(bare), bareWorst, loadAverage().constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    printLoad("start");
    QStringList args = app.arguments().mid(1);
    const Size size = sizeFromArguments(&args);
    const QString source = database(size);
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
    DataSet list(&conn, QStringLiteral("calls"));
    list.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
    const double open = timed([&] { list.open(); });
    const int rows = list.waitForCount();
    std::printf("the call list opens in %.1f ms with %d rows\n", open, rows);

    const double places[] = {0.5, 0.25, 0.75, 0.1, 0.9, 0.4, 0.6, 0.05, 0.95, 0.33};
    std::vector<double> far, near, bareFar, bareNear;
    for (double place : places) {
        const int at = int(place * (rows - kScreen));
        far.push_back(paintScreen(list, at));
        bareFar.push_back(bareScreen(*bare, at));
        const int beside = std::min(at + 5 * kScreen, rows - kScreen);
        near.push_back(paintScreen(list, beside));
        bareNear.push_back(bareScreen(*bare, beside));
        std::printf("  drag to row %9d: %8.1f ms (bare %7.1f ms); a screen further: %6.1f ms (bare %7.1f ms)\n", at,
                    far.back(), bareFar.back(), near.back(), bareNear.back());
    }
    line("drag into rows not read yet", far, bareFar);
    line("drag a few screens further", near, bareNear);
    printLoad("end");
    return 0;
}
