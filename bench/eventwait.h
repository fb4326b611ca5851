#pragma once
// Running the event loop while a benchmark waits, without spinning.
//
// QCoreApplication::processEvents(flags, ms) never sleeps: it drops
// WaitForMoreEvents and returns at once when nothing is pending, so a loop
// around it keeps one of the machine's two cores busy and takes it from
// the worker threads being measured.  These helpers sleep in the event
// dispatcher until an event comes (a timer wakes them to look again).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace bench {

// Runs the event loop until `done()` or `limitMs` have passed; returns done().
template <class Done>
bool runUntil(Done done, qint64 limitMs = 600000)
{
    QTimer wake;  // looks at done() again at least this often
    wake.start(10);
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

// Runs the event loop for `ms`.
inline void runFor(qint64 ms)
{
    runUntil([] { return false; }, ms);
}

}  // namespace bench
