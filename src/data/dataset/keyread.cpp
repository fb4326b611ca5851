#include "data/dataset/keyread.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "data/engine/dberror.h"

namespace {

std::mutex& pauseMutex()
{
    static std::mutex m;
    return m;
}

std::function<void(qint64)>& pauseAfterBatch()
{
    static std::function<void(qint64)> pause;
    return pause;
}

std::function<void(qint64)> currentPause()
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    return pauseAfterBatch();
}

DbError queryError(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    return DbError(e.databaseText().isEmpty() ? e.text() : e.databaseText());
}

const QString kNoun = QStringLiteral("查找数据");

}  // namespace

// Keys read in the background, handed to the window thread in batches.
struct KeyRead::Buffer {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<qint64> keys;  // read and not taken yet
    bool done = false;         // the read ended, whichever way
};

namespace {

// The read on the worker: batches small at first (the first screen comes
// soon), then larger; the window hears of them at most every 50 ms.
class Reader {
public:
    Reader(KeyRead::Buffer& buffer, WorkContext& cx) : buffer_(buffer), cx_(cx), pause_(currentPause())
    {
        sinceHanded_.start();
        sinceSaid_.start();
    }

    void read(const BoundStatement& sql)
    {
        cx_.interruptOnStop();
        QSqlQuery q(cx_.db());
        q.setForwardOnly(true);
        bool ran = q.prepare(sql.sql);
        for (const QVariant& v : sql.values)
            q.addBindValue(v);
        if (!ran || !q.exec()) {
            cx_.checkStop();
            throw queryError(q);
        }
        while (q.next()) {
            batch_.push_back(q.value(0).toLongLong());
            ++found_;
            if (batch_.size() >= batchSize_ || sinceHanded_.elapsed() >= 50)
                hand();
            cx_.checkStop();
        }
        if (q.lastError().isValid()) {
            cx_.checkStop();
            throw queryError(q);
        }
        hand();
    }

private:
    void hand()
    {
        {
            std::lock_guard<std::mutex> lock(buffer_.mutex);
            buffer_.keys.insert(buffer_.keys.end(), batch_.begin(), batch_.end());
        }
        buffer_.arrived.notify_all();
        batch_.clear();
        sinceHanded_.restart();
        cx_.progress(found_, 0);
        if (sinceSaid_.elapsed() >= 250) {
            cx_.setText(QStringLiteral("正在") + kNoun + QStringLiteral("：已找到 ") + QString::number(found_) +
                        QStringLiteral(" 条记录……"));
            sinceSaid_.restart();
        }
        if (pause_)
            pause_(found_);
        batchSize_ = std::min<std::size_t>(batchSize_ * 2, 10000);
    }

    KeyRead::Buffer& buffer_;
    WorkContext& cx_;
    const std::function<void(qint64)> pause_;
    std::vector<qint64> batch_;
    qint64 found_ = 0;
    std::size_t batchSize_ = 100;
    QElapsedTimer sinceHanded_, sinceSaid_;
};

}  // namespace

void KeyRead::setPauseAfterBatch(std::function<void(qint64)> pause)
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    pauseAfterBatch() = std::move(pause);
}

KeyRead::KeyRead(WorkSite* site, const BoundStatement& sql, int firstKeys, int firstWaitMs)
    : buffer_(std::make_shared<Buffer>())
{
    auto buffer = buffer_;
    auto* work = new BackgroundWork(site, kNoun, BackgroundWork::Access::Read, [buffer, sql](WorkContext& cx) {
        // However the read ends, the window is told that nothing more comes.
        struct Ended {
            Buffer& b;
            ~Ended()
            {
                {
                    std::lock_guard<std::mutex> lock(b.mutex);
                    b.done = true;
                }
                b.arrived.notify_all();
            }
        } ended{*buffer};
        Reader(*buffer, cx).read(sql);
    });
    work->start();
    bool done = false;
    {
        std::unique_lock<std::mutex> lock(buffer->mutex);
        buffer->arrived.wait_for(lock, std::chrono::milliseconds(firstWaitMs), [&] {
            return buffer->done || buffer->keys.size() >= std::size_t(firstKeys);
        });
        done = buffer->done;
    }
    if (!done) {
        work_ = work;
        return;
    }
    // Read within the moment: the list opens complete (or not at all).
    WorkOutcome outcome;
    QObject::connect(work, &BackgroundWork::finished, work, [&outcome](const WorkOutcome& o) { outcome = o; });
    work->wait();
    if (!outcome.ok)
        throw DbError(outcome.error);
}

std::vector<qint64> KeyRead::take()
{
    std::vector<qint64> keys;
    std::lock_guard<std::mutex> lock(buffer_->mutex);
    keys.swap(buffer_->keys);
    return keys;
}
