#include "data/calls/fileflusher.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMetaObject>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "data/engine/filestore.h"

FileFlusher::FileFlusher(QObject* parent) : QObject(parent), flushFn_(&FileFlusher::flushFile)
{
    thread_ = std::thread([this] { run(); });
}

FileFlusher::~FileFlusher() { finish(); }

bool FileFlusher::flushFile(const QString& path, QString* why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;  // a log not made yet, or moved into its file
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const bool ok = ::fdatasync(fd) == 0;
    if (!ok)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return ok;
}

void FileFlusher::setFlushFunction(FlushFunction f)
{
    std::lock_guard<std::mutex> hold(mutex_);
    flushFn_ = f ? std::move(f) : FlushFunction(&FileFlusher::flushFile);
}

void FileFlusher::foldLogs(const QString& database, qint64 atBytes)
{
    std::lock_guard<std::mutex> hold(mutex_);
    folds_.insert(database + QStringLiteral("-wal"), {database, atBytes});
}

void FileFlusher::flush(const QStringList& files, Done done)
{
    if (!thread_.joinable()) {  // finished: flushed here
        std::vector<Request> one;
        one.push_back({files, std::move(done)});
        follow(flushBatch(std::move(one)));
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        queue_.push_back({files, std::move(done)});
    }
    wake_.notify_one();
}

// Each file once, however many asked for it; each request learns how its
// own files went.
std::vector<FileFlusher::Outcome> FileFlusher::flushBatch(std::vector<Request> batch)
{
    FlushFunction fn;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        fn = flushFn_;
    }
    QHash<QString, QString> failed;
    QSet<QString> done;
    std::vector<Outcome> out;
    for (Request& r : batch) {
        Outcome o;
        for (const QString& f : r.files) {
            if (!done.contains(f)) {
                done.insert(f);
                QString why;
                if (!fn(f, &why))
                    failed.insert(f, QStringLiteral("“") + f + QStringLiteral("”：") + why);
            }
            if (o.ok && failed.contains(f)) {
                o.ok = false;
                o.why = failed.value(f);
            }
        }
        o.done = std::move(r.done);
        out.push_back(std::move(o));
    }
    QSet<QString> flushed = done;
    for (auto it = failed.cbegin(); it != failed.cend(); ++it)
        flushed.remove(it.key());
    foldGrownLogs(flushed);
    return out;
}

// A checkpoint that fails (a reader holding the log, a full disk) leaves
// the log as it was, every commit in it already on disk; a later flush
// tries again.
void FileFlusher::foldGrownLogs(const QSet<QString>& flushed)
{
    std::vector<Fold> due;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        for (const QString& log : flushed) {
            const auto it = folds_.constFind(log);
            if (it != folds_.cend() && QFileInfo(log).size() >= it->atBytes)
                due.push_back(*it);
        }
    }
    for (const Fold& f : due)
        FileStore::standard().flushLog(f.database, false, nullptr);
}

void FileFlusher::follow(std::vector<Outcome> outcomes)
{
    for (const Outcome& o : outcomes)
        if (o.done)
            o.done(o.ok, o.why);
}

void FileFlusher::followFlushed()
{
    std::vector<Outcome> ready;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        ready.swap(flushed_);
    }
    follow(std::move(ready));
}

void FileFlusher::run()
{
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return;  // stopped, and nothing left
        std::vector<Request> batch;
        batch.swap(queue_);
        hold.unlock();
        std::vector<Outcome> outcomes = flushBatch(std::move(batch));
        hold.lock();
        for (Outcome& o : outcomes)
            flushed_.push_back(std::move(o));
        QMetaObject::invokeMethod(this, &FileFlusher::followFlushed, Qt::QueuedConnection);
    }
}

void FileFlusher::finish()
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // What the thread flushed follows here (the event it posted finds
    // nothing left), then what it did not get to.
    followFlushed();
    std::vector<Request> rest;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        rest.swap(queue_);
    }
    if (!rest.empty())
        follow(flushBatch(std::move(rest)));
}
