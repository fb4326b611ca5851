#pragma once
// A server that stops answering while its connections stay open (its
// processes stopped, a machine frozen under load) would hold the window
// thread inside a statement for as long as the operating system keeps the
// connection: minutes.  The guard watches from a thread of its own.  When
// the window thread has not come back to its event loop for `deadline`
// while the connection has sent the server a request and heard nothing
// since, the connection's socket is shut down: the statement fails at once,
// the connection counts as lost, and the program carries on as with a
// server gone away (calls kept in the journal, the connection opened anew
// off the window thread).

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

class ServerStallGuard : public QObject {
    Q_OBJECT
public:
    explicit ServerStallGuard(int deadlineMs, QObject* parent = nullptr);
    ~ServerStallGuard() override;

    // Watches the connection on this socket (-1: none).  The socket is
    // told apart from a later one with the same number.
    void watch(int socket);
    int deadlineMs() const { return deadlineMs_; }

signals:
    // The socket was shut down (queued to the window thread).
    void cutOff();

private:
    void run();
    bool waitingForServer(int socket) const;

    const int deadlineMs_;
    QTimer heartbeat_;
    std::atomic<qint64> lastBeat_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    int socket_ = -1;
    unsigned long inode_ = 0;
    std::thread watcher_;
};

// How long a statement on a call's way may go unanswered by a server.
inline constexpr int kServerAnswerWaitMs = 700;

// Marks the statements of a call's way (its lookup, its store): only these
// are cut off.  A long statement the operator asked for (a search over
// millions of rows) is left to finish.
class CallOnItsWay {
public:
    CallOnItsWay();
    ~CallOnItsWay();
    CallOnItsWay(const CallOnItsWay&) = delete;
    CallOnItsWay& operator=(const CallOnItsWay&) = delete;
    static bool any();
};
