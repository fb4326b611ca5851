#include "data/dataset/rowreader.h"

#include <QMetaObject>
#include <QUuid>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "data/connection/connection.h"
#include "data/engine/engine.h"

namespace {

std::mutex& pauseMutex()
{
    static std::mutex m;
    return m;
}

struct Pauses {
    std::function<void()> beforeRead, afterRead;
};

Pauses& pauses()
{
    static Pauses p;
    return p;
}

Pauses currentPauses()
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    return pauses();
}

}  // namespace

struct RowReader::Shared {
    std::shared_ptr<const DatabaseEngine> engine;
    DatabaseLocation where;
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable wake;
    Read next;  // the read waiting for the thread
    std::function<void()> post;  // and how the window is told it has run
};

namespace {

// The reader's thread: its connection opened with the first read, closed at the end.
void serve(const std::shared_ptr<RowReader::Shared>& s)
{
    const QString name = QStringLiteral("rows_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db;
        for (;;) {
            RowReader::Read read;
            std::function<void()> post;
            {
                std::unique_lock<std::mutex> lock(s->mutex);
                s->wake.wait(lock, [&] { return s->stop || s->next; });
                if (s->stop)
                    break;
                read = std::move(s->next);
                post = std::move(s->post);
                s->next = nullptr;
            }
            const Pauses pause = currentPauses();
            if (pause.beforeRead)
                pause.beforeRead();
            if (!db.isValid()) {
                db = s->engine->connection(name, s->where, Connection::kBusyTimeoutMs,
                                           DatabaseEngine::Access::ReadOnly);
                if (db.open())
                    s->engine->stopWhenSet(db, &s->stop);
            }
            // A connection that did not open makes the read fail with its error.
            read(db);
            if (pause.afterRead)
                pause.afterRead();
            if (!s->stop)
                post();
        }
        if (db.isValid()) {
            if (db.isOpen())
                s->engine->stopWhenSet(db, nullptr);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace

void RowReader::setPauses(std::function<void()> beforeRead, std::function<void()> afterRead)
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    pauses() = {std::move(beforeRead), std::move(afterRead)};
}

RowReader::RowReader(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& where, QObject* context)
    : shared_(std::make_shared<Shared>()), context_(context)
{
    shared_->engine = std::move(engine);
    shared_->where = where;
}

RowReader::~RowReader()
{
    {
        // Set under the lock: a thread between its look at `stop` and its
        // wait would otherwise miss the wake-up and never end.
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->wake.notify_all();
    // Interrupted where it reads, the thread ends within a moment.
    if (shared_->thread.joinable())
        shared_->thread.join();
}

void RowReader::start(Read read, Done done)
{
    Q_ASSERT(!busy_);
    busy_ = true;
    const std::shared_ptr<Shared> s = shared_;
    QObject* target = context_;  // outlives the thread: the reader is destroyed first
    // `done` stays with the window thread; the reader's thread only says when.
    auto finished = std::make_shared<Done>([this, done = std::move(done)] {
        busy_ = false;
        done();
    });
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->next = std::move(read);
        s->post = [s, target, finished] {
            QMetaObject::invokeMethod(
                target,
                [s, finished] {
                    if (!s->stop)
                        (*finished)();
                },
                Qt::QueuedConnection);
        };
    }
    if (!s->thread.joinable())
        s->thread = std::thread(serve, s);
    s->wake.notify_all();
}
