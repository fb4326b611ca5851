#include "data/connection/serverstallguard.h"

#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

unsigned long inodeOf(int socket)
{
    struct stat st {};
    if (socket < 0 || fstat(socket, &st) != 0 || !S_ISSOCK(st.st_mode))
        return 0;
    return st.st_ino;
}

std::atomic<int> callsOnTheirWay{0};

}  // namespace

CallOnItsWay::CallOnItsWay() { ++callsOnTheirWay; }
CallOnItsWay::~CallOnItsWay() { --callsOnTheirWay; }
bool CallOnItsWay::any() { return callsOnTheirWay.load() > 0; }

ServerStallGuard::ServerStallGuard(int deadlineMs, QObject* parent)
    : QObject(parent), deadlineMs_(deadlineMs), lastBeat_(nowMs())
{
    // The window thread beats while its event loop runs.
    heartbeat_.setInterval(qMax(20, deadlineMs / 7));
    connect(&heartbeat_, &QTimer::timeout, this, [this] { lastBeat_ = nowMs(); });
    heartbeat_.start();
    watcher_ = std::thread([this] { run(); });
}

ServerStallGuard::~ServerStallGuard()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    watcher_.join();
}

void ServerStallGuard::watch(int socket)
{
    std::lock_guard lock(mutex_);
    socket_ = socket;
    inode_ = inodeOf(socket);
    lastBeat_ = nowMs();
}

// A request went out and nothing came back since, for longer than the
// deadline (TCP); over a local socket: nothing waiting to be read.
bool ServerStallGuard::waitingForServer(int socket) const
{
    tcp_info info {};
    socklen_t size = sizeof info;
    if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && size >= sizeof info)
        return info.tcpi_last_data_sent < info.tcpi_last_data_recv &&
               info.tcpi_last_data_sent >= unsigned(deadlineMs_);
    int unread = 0;
    return ioctl(socket, FIONREAD, &unread) == 0 && unread == 0;
}

void ServerStallGuard::run()
{
    const auto step = std::chrono::milliseconds(qMax(10, deadlineMs_ / 7));
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, step);
        if (stop_ || socket_ < 0 || !CallOnItsWay::any() || nowMs() - lastBeat_ < deadlineMs_)
            continue;
        // The same socket still (its number may have been given to another).
        if (inodeOf(socket_) != inode_ || !waitingForServer(socket_))
            continue;
        ::shutdown(socket_, SHUT_RDWR);
        socket_ = -1;
        QMetaObject::invokeMethod(this, &ServerStallGuard::cutOff, Qt::QueuedConnection);
    }
}
