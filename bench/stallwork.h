#pragma once
// The longest stall of the window thread, and how much of it the thread
// spent working.  A stall the thread worked through is the program's own;
// one in which it hardly ran is the machine's (the thread waited for a core
// or for a lock), and shows what the load on the machine adds.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <ctime>

namespace bench {

class StallWork {
public:
    StallWork()
    {
        tick_.setInterval(5);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const double now = clock_.nsecsElapsed() / 1e6, cpu = threadCpuMs();
            if (now - last_ > worst_) {
                worst_ = now - last_;
                worked_ = cpu - lastCpu_;
            }
            last_ = now;
            lastCpu_ = cpu;
        });
    }
    void start()
    {
        clock_.start();
        last_ = 0;
        lastCpu_ = threadCpuMs();
        worst_ = worked_ = 0;
        tick_.start();
    }
    double worst() const { return worst_; }   // ms
    double worked() const { return worked_; }  // ms of it the thread ran

    // Processor time of the calling thread so far, in ms.
    static double threadCpuMs()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    }

private:
    QElapsedTimer clock_;
    QTimer tick_;
    double last_ = 0, lastCpu_ = 0, worst_ = 0, worked_ = 0;
};

}  // namespace bench
