#include "rules/transfer/spareprocessor.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QThread>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace spareprocessor {

namespace {

std::atomic<int> pretended{-1};  // -1: none, 0: no, 1: yes

// How long the machine is watched, and how long what was seen holds (the
// writers of one workbook ask one after another).
constexpr auto kLook = std::chrono::milliseconds(150);
constexpr auto kHolds = std::chrono::seconds(5);

std::mutex seenMutex;
std::chrono::steady_clock::time_point seenAt;
bool seenSpare = false;
bool seen = false;

// The processors' time in all and idle (waiting for the disk counts as
// idle) since the start, from the first line of /proc/stat.
bool processorTimes(qint64* total, qint64* idle)
{
    QFile f(QStringLiteral("/proc/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = f.readLine().simplified().split(' ');
    if (fields.size() < 6 || fields.first() != "cpu")
        return false;
    *total = 0;
    for (qsizetype i = 1; i < fields.size(); ++i)
        *total += fields[i].toLongLong();
    *idle = fields[4].toLongLong() + fields[5].toLongLong();
    return true;
}

// The processors nobody used while this thread slept for a moment: what
// the others (the rest of this program included) leave free now, which
// the load average, counting this program's own work of the last minute
// and every process waiting for the disk, does not tell.
bool lookAtTheMachine()
{
    const int processors = QThread::idealThreadCount();
    qint64 total0 = 0, idle0 = 0, total1 = 0, idle1 = 0;
    if (processors < 2 || !processorTimes(&total0, &idle0))
        return false;
    std::this_thread::sleep_for(kLook);
    if (!processorTimes(&total1, &idle1) || total1 <= total0)
        return false;
    const double idleProcessors = double(idle1 - idle0) / double(total1 - total0) * processors;
    return idleProcessors >= 1.0;
}

// The load of the last minute: what the window thread goes by, which must
// not sleep to look.
bool loadLeavesOne()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QThread::idealThreadCount() > 1;
    bool ok = false;
    const double load = f.readLine().split(' ').value(0).toDouble(&ok);
    return ok && load + 1.0 <= QThread::idealThreadCount();
}

bool onTheWindowThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

}  // namespace

bool available()
{
    const int p = pretended.load();
    if (p >= 0)
        return p == 1;
    std::lock_guard<std::mutex> hold(seenMutex);
    const auto now = std::chrono::steady_clock::now();
    if (!seen || now - seenAt > kHolds) {
        if (onTheWindowThread())
            return loadLeavesOne();
        seenSpare = lookAtTheMachine();
        seenAt = std::chrono::steady_clock::now();
        seen = true;
    }
    return seenSpare;
}

void pretend(std::optional<bool> answer) { pretended = answer ? int(*answer) : -1; }

}  // namespace spareprocessor
