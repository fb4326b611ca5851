#include "data/transfer/rowhandoff.h"

RowHandoff::RowHandoff(std::function<void(const QStringList&)> write) : write_(std::move(write))
{
    batch_.reserve(kBatchRows);
    thread_ = std::thread([this] { run(); });
}

RowHandoff::~RowHandoff()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void RowHandoff::add(QStringList& row)
{
    batch_.push_back(std::move(row));
    if (reuse_.empty()) {
        row = QStringList();
    } else {
        row = std::move(reuse_.back());
        reuse_.pop_back();
    }
    if (int(batch_.size()) >= kBatchRows)
        hand(false);
}

void RowHandoff::finish()
{
    hand(true);
    thread_.join();
    if (failure_)
        std::rethrow_exception(failure_);
}

void RowHandoff::hand(bool last)
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // A full queue is let drain to half before the reading goes on: on
        // a busy machine every wake-up waits its turn for a processor, and
        // one per batch would add up.
        if (int(waiting_.size()) >= kWaitingBatches)
            changed_.wait(lock, [this] { return int(waiting_.size()) <= kWaitingBatches / 2 || failure_; });
        if (!batch_.empty() && !failure_)
            waiting_.push_back(std::move(batch_));
        last_ = last;
        while (!written_.empty() && reuse_.size() < 2 * size_t(kBatchRows)) {
            for (QStringList& row : written_.back())
                reuse_.push_back(std::move(row));
            written_.pop_back();
        }
    }
    changed_.notify_all();
    batch_ = std::vector<QStringList>();
    batch_.reserve(kBatchRows);
}

void RowHandoff::run()
{
    for (;;) {
        bool drained = false;
        std::vector<QStringList> rows;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !waiting_.empty() || last_ || dropped_; });
            if (dropped_ || waiting_.empty())
                return;
            rows = std::move(waiting_.front());
            waiting_.pop_front();
            drained = int(waiting_.size()) == kWaitingBatches / 2;
        }
        if (drained)
            changed_.notify_all();
        try {
            for (const QStringList& row : rows)
                write_(row);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::current_exception();
            waiting_.clear();
        }
        {
            // The rows go back to be filled again: no texts allocated here
            // and freed there for every row.
            std::lock_guard<std::mutex> lock(mutex_);
            if (int(written_.size()) < kWaitingBatches)
                written_.push_back(std::move(rows));
        }
        if (failure_)
            break;
    }
    changed_.notify_all();
}
