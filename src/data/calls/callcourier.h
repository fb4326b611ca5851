#pragma once
// Brings the calls kept on this computer (callqueue.h) to the shared server
// once it can be reached again.  Each try connects on a thread of its own
// with a short connect wait, so that a server that does not answer never
// holds the window; while tries fail they come less often (1 s, 2, 4 … up to
// 30 s).  Not long work of the operator's: no progress window, nothing held.

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <memory>

#include "data/calls/callqueue.h"

class QThread;

class CallCourier : public QObject {
    Q_OBJECT
public:
    explicit CallCourier(QObject* parent = nullptr);
    ~CallCourier() override;  // waits for a try under way (a few seconds at most)

    // The server the calls go to; a file location switches the courier off.
    void setLocation(const DatabaseLocation& where);
    bool serves() const { return where_.isServer(); }
    // The queue file (CallQueue::standardPath() unless set).
    void setQueuePath(const QString& path);
    QString queuePath() const;
    // The delay of the first try after a failure and the longest one.
    void setRetryDelays(int firstMs, int longestMs);

    // Whether the server was found unreachable and has not answered since.
    bool away() const { return away_; }
    // Calls in the queue (a count of the file, kept).
    int waiting() const { return waiting_; }
    // A call goes into the queue (unsure: it may already be on the server).
    // DbError when even the file on this computer cannot take it.
    void keep(const CallRecord& call, bool unsure);
    // The server was found gone: tries begin.
    void serverLost();
    // Delivers what the queue holds from an earlier run, if anything.
    void deliverLeftovers();
    bool trying() const { return thread_ != nullptr; }

signals:
    // The number of calls in the queue changed, or the server was found
    // gone or back (away()).
    void changed();
    // A try reached the server and left the queue empty; `delivered` calls
    // were written by the tries since the server went away.
    void serverBack(int delivered);
    // A try reached the server but could not write a call (kept for the next).
    void deliveryFailed(const QString& why);

private:
    void tryNow();
    void tried(const callqueue::Delivery& d);
    void retryLater();
    void recount();

    DatabaseLocation where_;
    QString queuePath_;
    std::unique_ptr<CallQueue> queue_;
    QTimer retry_;
    QThread* thread_ = nullptr;
    std::atomic<bool> stop_{false};
    int firstDelayMs_ = 1000;
    int longestDelayMs_ = 30000;
    int delayMs_ = 1000;
    int waiting_ = 0;
    int delivered_ = 0;
    bool away_ = false;
};
