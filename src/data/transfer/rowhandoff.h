#pragma once
// Rows handed from the thread that reads them to a thread of its own that
// writes them, in batches: reading the database and writing the file go on
// at the same time, each on a core of its own.

#include <QStringList>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class RowHandoff {
public:
    // Rows a batch holds, and batches waiting at most: the reader waits when
    // the writer is that far behind.
    static constexpr int kBatchRows = 512;
    static constexpr int kWaitingBatches = 16;

    // `write` is called on the writing thread for every row, in order.
    explicit RowHandoff(std::function<void(const QStringList&)> write);
    // Without finish(): the rows not yet written are dropped and the
    // writing thread ends (a stop or a failure of the reading).
    ~RowHandoff();
    RowHandoff(const RowHandoff&) = delete;
    RowHandoff& operator=(const RowHandoff&) = delete;

    // Takes the row; `row` comes back as one written already (its texts'
    // memory to be filled again) or empty.  A row is given back only once
    // the writing thread is done with it.
    void add(QStringList& row);
    // Waits until every row is written; rethrows what the writing threw.
    void finish();

private:
    void hand(bool last);
    void run();

    std::function<void(const QStringList&)> write_;
    std::vector<QStringList> batch_;
    std::vector<QStringList> reuse_;  // written rows, for add() to give back
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<QStringList>> waiting_;
    std::vector<std::vector<QStringList>> written_;  // batches done, for the reading side
    bool last_ = false;     // no more batches come
    bool dropped_ = false;  // the rows left are not wanted
    std::exception_ptr failure_;
    std::thread thread_;
};
