// The region of a calling number (号码归属地) is looked up in process while
// the call is announced: how long the first look-up takes (the geocoder's
// data is read then), and the median of the next ones, beside the number's
// clean-up alone as the bare reference.

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "measure.h"
#include "rules/calls/callrules.h"
#include "rules/calls/numberregion.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::printLoad("start");
    const QStringList numbers{QStringLiteral("057187654321"), QStringLiteral("+86 138-1234-5678"),
                              QStringLiteral("01012345678"),  QStringLiteral("02087654321"),
                              QStringLiteral("18600001111"),  QStringLiteral("95588"),
                              QStringLiteral("87654321"),     QStringLiteral("0512-26898751")};
    QString sink;
    const double first = bench::timed([&] { sink = numberRegion(numbers.first()); });
    constexpr int kRounds = 2000;
    std::vector<double> region, bare;
    for (int round = 0; round < kRounds; ++round) {
        const QString& n = numbers[round % numbers.size()];
        region.push_back(bench::timed([&] { sink = numberRegion(n); }));
        bare.push_back(bench::timed([&] { sink = numberDigits(n); }));
    }
    std::printf("first look-up (reads the geocoder's data): %.2f ms\n", first);
    std::printf("look-up median of %d: %.4f ms   (bare clean-up of the number: %.4f ms)\n", kRounds,
                bench::median(region), bench::median(bare));
    std::printf("resident memory after the look-ups: %ld kB\n", bench::residentKb());
    bench::printLoad("end");
    return 0;
}
