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
    row = QStringList();
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
        changed_.wait(lock, [this] { return int(waiting_.size()) < kWaitingBatches || failure_; });
        if (!batch_.empty() && !failure_)
            waiting_.push_back(std::move(batch_));
        last_ = last;
    }
    changed_.notify_all();
    batch_ = std::vector<QStringList>();
    batch_.reserve(kBatchRows);
}

void RowHandoff::run()
{
    for (;;) {
        std::vector<QStringList> rows;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !waiting_.empty() || last_ || dropped_; });
            if (dropped_ || waiting_.empty())
                return;
            rows = std::move(waiting_.front());
            waiting_.pop_front();
        }
        changed_.notify_all();
        try {
            for (const QStringList& row : rows)
                write_(row);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            failure_ = std::current_exception();
            waiting_.clear();
        }
        if (failure_)
            break;
    }
    changed_.notify_all();
}
