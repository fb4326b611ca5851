#include "data/calls/callcourier.h"

#include <QThread>

#include "data/app/dberror.h"

namespace {
// A try gives up connecting after this long.
constexpr int kConnectWaitSeconds = 3;
}  // namespace

CallCourier::CallCourier(QObject* parent) : QObject(parent)
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &CallCourier::tryNow);
}

CallCourier::~CallCourier()
{
    stop_ = true;
    retry_.stop();
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
}

void CallCourier::setLocation(const DatabaseLocation& where)
{
    const bool moved = !(where == where_);
    where_ = where;
    if (!serves() || moved) {
        // Another database: whether it answers is found anew.  A file has no
        // server to wait for; the queue then waits for the next one.
        retry_.stop();
        if (away_) {
            away_ = false;
            emit changed();
        }
    }
}

void CallCourier::setQueuePath(const QString& path)
{
    queuePath_ = path;
    queue_.reset();
}

QString CallCourier::queuePath() const { return queuePath_.isEmpty() ? CallQueue::standardPath() : queuePath_; }

void CallCourier::setRetryDelays(int firstMs, int longestMs)
{
    firstDelayMs_ = delayMs_ = firstMs;
    longestDelayMs_ = longestMs;
}

void CallCourier::keep(const CallRecord& call, bool unsure)
{
    if (!queue_)
        queue_ = std::make_unique<CallQueue>(queuePath());
    queue_->add(call, unsure);
    ++waiting_;
    emit changed();
    // Kept while the server answers (a delivery under way): it follows.
    if (!away_ && !thread_)
        tryNow();
}

void CallCourier::serverLost()
{
    if (!serves())
        return;
    if (!away_) {
        away_ = true;
        delayMs_ = firstDelayMs_;
        emit changed();
    }
    if (!thread_ && !retry_.isActive())
        retryLater();
}

void CallCourier::deliverLeftovers()
{
    if (!serves())
        return;
    recount();
    if (waiting_ > 0)
        tryNow();
}

void CallCourier::recount()
{
    int n = waiting_;
    try {
        if (!queue_)
            queue_ = std::make_unique<CallQueue>(queuePath());
        n = queue_->count();
    } catch (const DbError& e) {
        emit deliveryFailed(e.message());
    }
    if (n != waiting_) {
        waiting_ = n;
        emit changed();
    }
}

void CallCourier::tryNow()
{
    if (thread_ || !serves())
        return;
    retry_.stop();
    auto result = std::make_shared<callqueue::Delivery>();
    const QString path = queuePath();
    const DatabaseLocation where = where_;
    thread_ = QThread::create([result, path, where, this] {
        *result = callqueue::deliver(path, where, kConnectWaitSeconds, &stop_);
    });
    connect(thread_, &QThread::finished, this, [this, result] {
        thread_->deleteLater();
        thread_ = nullptr;
        tried(*result);
    });
    thread_->start();
}

void CallCourier::tried(const callqueue::Delivery& d)
{
    delivered_ += d.delivered;
    recount();
    if (stop_)
        return;
    if (!d.reached || d.lost) {
        serverLost();
        return;
    }
    if (!d.error.isEmpty()) {
        // The server answers but refuses a call: said, and tried again later.
        emit deliveryFailed(d.error);
        retryLater();
        return;
    }
    if (waiting_ > 0) {  // calls came during the try
        tryNow();
        return;
    }
    const int delivered = delivered_;
    delivered_ = 0;
    delayMs_ = firstDelayMs_;
    away_ = false;
    emit changed();
    emit serverBack(delivered);
}

void CallCourier::retryLater()
{
    retry_.start(delayMs_);
    delayMs_ = qMin(delayMs_ * 2, longestDelayMs_);
}
