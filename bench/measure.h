#pragma once
// Small measuring helpers shared by the benchmarks.

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

// The median; of an even count the mean of the middle two.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2;
}

// The machine's load average over 1, 5 and 15 minutes ("0.52 0.58 0.59"):
// other work on the machine shows in every figure.
inline QByteArray loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.mid(0, 3).join(' ');
}

// Printed at the start and the end of every benchmark.
inline void printLoad(const char* when)
{
    std::printf("load average (%s): %s\n", when, loadAverage().constData());
    std::fflush(stdout);
}

// Milliseconds `f` took.
template <class F>
double timed(F f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e6;
}

// The resident memory of this process in kB (VmRSS).
inline long residentKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(1).toLong() * 4;
}

// The longest gap between ticks of a 5 ms timer since start(): the longest
// time a window could not react.  Ticks come only while the event loop runs.
class StallMeter {
public:
    StallMeter()
    {
        tick_.setInterval(5);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, (now - last_) / 1e6);
            last_ = now;
        });
    }
    void start()
    {
        clock_.start();
        last_ = 0;
        worst_ = 0;
        tick_.start();
    }
    double worst() const { return worst_; }

private:
    QElapsedTimer clock_;
    QTimer tick_;
    qint64 last_ = 0;
    double worst_ = 0;
};

// The highest resident memory this process has had, in kB (VmHWM).
inline long peakResidentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

}  // namespace bench
