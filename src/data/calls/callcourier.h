#pragma once
// Moves the calls of the desk's journal (callqueue.h) into 来电数据: on the
// shared server once it can be reached again, in the database file once
// long work no longer holds it and it can be written.  Each try connects on
// a thread of its own with a short connect wait, so that a database that
// does not answer never holds the window; while tries fail they come less
// often (1 s, 2, 4 … up to 30 s).  Not long work of the operator's: no
// progress window, nothing held.

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <memory>

#include "data/calls/callqueue.h"
#include "data/calls/fileflusher.h"

class QThread;

class CallCourier : public QObject {
    Q_OBJECT
public:
    explicit CallCourier(QObject* parent = nullptr);
    ~CallCourier() override;  // waits for a try under way (a few seconds at most)

    // The database the calls go to, a server or a file.
    void setLocation(const DatabaseLocation& where);
    // Whether that is a shared server.
    bool serves() const { return where_.isServer(); }
    bool knowsDatabase() const;
    // Where the calls go: a file location without a file names data/web.mdb
    // of the program folder.
    DatabaseLocation target() const;
    // The queue file (CallQueue::standardPath() unless set).
    void setQueuePath(const QString& path);
    QString queuePath() const;
    // The delay of the first try after a failure and the longest one.
    void setRetryDelays(int firstMs, int longestMs);

    // Whether the server was found unreachable and has not answered since.
    bool away() const { return away_; }
    // Calls in the queue (a count of the file, kept).
    int waiting() const { return waiting_; }
    // A call goes into the journal (unsure: it may already be in 来电数据)
    // and gives its order; DbError when even the file on this computer
    // cannot take it.  Nothing is sent yet.
    qint64 journal(const CallRecord& call, bool unsure);
    // A journalled call was stored by the window: it leaves the journal.
    void stored(qint64 order);
    // The same for a store that returned before the disk had it: the call
    // leaves the journal once `files` (the database's) are flushed beside
    // the window; it no longer counts as waiting meanwhile.  Should the
    // flush fail it stays, and a delivery finds it in 来电数据.
    void storedBeforeFlush(qint64 order, const QStringList& files);
    // The flusher of the journal and of such stores (tests hold it).
    FileFlusher& flusher() { return flusher_; }
    // A journalled call was stored by the window on a server, committed at
    // this log position: kept until the server's standbys have replayed it.
    void committed(qint64 order, const QString& position, const QString& server);
    // Calls in 来电数据 that the standbys have not replayed yet.
    int awaitingStandbys() const { return awaiting_; }
    // Journals a call and sends it on (when nothing holds the database).
    void keep(const CallRecord& call, bool unsure);
    // Sends what the journal holds, now (unless held or already under way).
    void deliverNow();
    // The same on this thread, for a database file that long work has just
    // let go: its calls are in when this returns (unless it failed).
    void deliverHere();
    // While long work holds the database the journal keeps its calls.
    void setHeld(bool held);
    bool held() const { return held_; }
    // The server was found gone: tries begin.
    void serverLost();
    // The program starts on a server: nothing connects on the window thread
    // until a try of the courier's has reached it (away() meanwhile).
    void connectFirst();
    bool connecting() const { return connecting_; }
    // Waits up to `msecs` for the try under way and takes its outcome at
    // once (never an event loop); false when it still runs.
    bool waitForTry(int msecs);
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
    // The journal's file could not be taken to the disk (a call written
    // into it may be lost to a power cut).
    void journalNotFlushed(const QString& why);
    // Calls of the journal were moved into the database file (`moved` of
    // them), and the journal is empty.
    void movedIn(int moved);

private:
    void tryNow();
    void tried(const callqueue::Delivery& d);
    void retryLater();
    void recount();
    CallQueue& queue();
    void flushed(qint64 order, bool ok, const QString& why);

    DatabaseLocation where_;
    QString queuePath_;
    std::unique_ptr<CallQueue> queue_;
    FileFlusher flusher_;
    QSet<qint64> flushing_;  // stored, leaving the journal once flushed
    QTimer retry_;
    QThread* thread_ = nullptr;
    std::shared_ptr<callqueue::Delivery> result_;
    std::atomic<bool> stop_{false};
    int firstDelayMs_ = 1000;
    int longestDelayMs_ = 30000;
    int delayMs_ = 1000;
    int waiting_ = 0;
    int awaiting_ = 0;
    int standbyDelayMs_ = 1000;
    int delivered_ = 0;
    bool away_ = false;
    bool held_ = false;
    bool connecting_ = false;
};
