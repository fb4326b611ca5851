#include "data/work/backgroundwork.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "data/engine/worksite.h"

namespace {

QList<BackgroundWork*>& runningWork()
{
    static QList<BackgroundWork*> list;
    return list;
}

const int kOutcomeType = qRegisterMetaType<WorkOutcome>("WorkOutcome");

}  // namespace

// What the worker hands back to the window thread.
struct BackgroundWork::Shared {
    QMutex mutex;
    qint64 done = 0, total = 0;
    bool progressPosted = false;
    QElapsedTimer sincePost;
    QString text;
    WorkOutcome outcome;
    std::function<void()> interrupt;  // of the worker's statement, while it may be interrupted
};

void WorkContext::checkStop() const
{
    if (stopRequested())
        throw WorkStopped();
}

void WorkContext::progress(qint64 done, qint64 total)
{
    if (progress_)
        progress_(done, total, false);
}

void WorkContext::interruptOnStop()
{
    if (interruptible_)
        interruptible_();
}

void WorkContext::setText(const QString& text)
{
    if (text_)
        text_(text);
}

BackgroundWork::BackgroundWork(WorkSite* site, const QString& what, Access access, Job job, QObject* parent)
    : QObject(parent), site_(site), what_(what), access_(site ? access : Access::None),
      job_(std::move(job)), stop_(std::make_shared<std::atomic<bool>>(false)),
      shared_(std::make_shared<Shared>())
{
    Q_UNUSED(kOutcomeType);
}

BackgroundWork::~BackgroundWork()
{
    if (thread_) {
        stop();
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
    if (running_) {
        runningWork().removeAll(this);
        if (access_ == Access::Write && site_)
            site_->releaseWrites();
    }
}

BackgroundWork* BackgroundWork::runningOn(const WorkSite* site)
{
    for (BackgroundWork* w : runningWork())
        if (w->site_ == site)
            return w;
    return nullptr;
}

bool BackgroundWork::anyRunning() { return !runningWork().isEmpty(); }

QList<BackgroundWork*> BackgroundWork::allRunning() { return runningWork(); }

void BackgroundWork::start()
{
    if (running_ || delivered_)
        return;
    running_ = true;
    runningWork().append(this);
    DatabaseLocation file;
    std::shared_ptr<const DatabaseEngine> engine;
    if (site_ && access_ != Access::None) {
        file = site_->location();
        engine = site_->sharedEngine();
    }
    if (access_ == Access::Write)
        site_->holdWrites(what_);

    auto shared = shared_;
    shared->sincePost.start();
    WorkerSetup setup{shared, stop_, job_, file, engine, poster()};
    thread_ = QThread::create([setup] { runOnWorker(setup); });
    connect(thread_, &QThread::finished, this, &BackgroundWork::deliver, Qt::QueuedConnection);
    thread_->start();
}

std::function<void(bool)> BackgroundWork::poster()
{
    auto shared = shared_;
    QPointer<BackgroundWork> self(this);
    // Progress reaches the window at most every 50 ms, and the last always.
    return [shared, self](bool force) {
        QMutexLocker lock(&shared->mutex);
        if (shared->progressPosted && !force)
            return;
        if (!force && shared->sincePost.elapsed() < 50)
            return;
        shared->progressPosted = true;
        shared->sincePost.restart();
        lock.unlock();
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->takeProgress(); }, Qt::QueuedConnection);
    };
}

void BackgroundWork::takeProgress()
{
    qint64 done, total;
    QString text;
    {
        QMutexLocker l(&shared_->mutex);
        shared_->progressPosted = false;
        done = shared_->done;
        total = shared_->total;
        text = shared_->text;
    }
    if (text != text_) {
        text_ = text;
        emit textChanged(text);
    }
    if (done != done_ || total != total_) {
        done_ = done;
        total_ = total;
        emit progressed(done, total);
    }
}

void BackgroundWork::runOnWorker(const WorkerSetup& setup)
{
    const auto& shared = setup.shared;
    const auto& post = setup.post;
    WorkContext cx;
    cx.stop_ = setup.stop;
    cx.file_ = setup.file;
    cx.engine_ = setup.engine;
    cx.progress_ = [shared, post](qint64 done, qint64 total, bool force) {
        {
            QMutexLocker lock(&shared->mutex);
            shared->done = done;
            shared->total = total;
        }
        post(force);
    };
    cx.text_ = [shared, post](const QString& text) {
        {
            QMutexLocker lock(&shared->mutex);
            shared->text = text;
        }
        post(true);
    };
    cx.interruptible_ = [shared, &cx] {
        std::function<void()> interrupt = cx.engine_->interrupter(cx.db_);
        QMutexLocker lock(&shared->mutex);
        shared->interrupt = std::move(interrupt);
    };
    const QString name = QStringLiteral("work_") + QUuid::createUuid().toString(QUuid::Id128);
    const WorkOutcome outcome = runJob(cx, setup, name);
    if (setup.engine)
        QSqlDatabase::removeDatabase(name);
    {
        QMutexLocker lock(&shared->mutex);
        shared->outcome = outcome;
    }
    cx.progress_ = nullptr;
}

WorkOutcome BackgroundWork::runJob(WorkContext& cx, const WorkerSetup& setup, const QString& name)
{
    WorkOutcome outcome;
    try {
        if (setup.engine) {
            // Work waits longer than the window for a lock: it has nobody
            // in front of it waiting for a painted window.
            QSqlDatabase db = setup.engine->connection(name, setup.file, 5000);
            if (!db.open())
                throw DbError(QStringLiteral("无法打开数据库：") + db.lastError().text());
            setup.engine->prepareSession(db);
            cx.db_ = db;
        }
        setup.job(cx);
        outcome.ok = true;
    } catch (const WorkStopped&) {
        outcome.stopped = true;
    } catch (const std::exception& e) {
        // A statement interrupted by the stop fails with an error of its own.
        if (setup.stop->load())
            outcome.stopped = true;
        else
            outcome.error = QString::fromUtf8(e.what());
        if (!outcome.stopped && outcome.error.isEmpty())
            outcome.error = QStringLiteral("未知错误");
    } catch (...) {
        outcome.error = QStringLiteral("未知错误");
    }
    {
        QMutexLocker lock(&setup.shared->mutex);
        setup.shared->interrupt = nullptr;
    }
    if (cx.db_.isValid()) {
        if (cx.db_.isOpen())
            cx.db_.rollback();  // a transaction the job left open is not kept
        cx.db_.close();
        cx.db_ = QSqlDatabase();
    }
    return outcome;
}

void BackgroundWork::stop()
{
    if (!running_)
        return;
    stop_->store(true);
    QMutexLocker lock(&shared_->mutex);
    if (shared_->interrupt)
        shared_->interrupt();
}

bool BackgroundWork::wait(int msecs)
{
    if (!thread_)
        return delivered_;
    const bool ended = msecs < 0 ? thread_->wait() : thread_->wait(QDeadlineTimer(msecs));
    if (ended)
        deliver();
    return ended;
}

void BackgroundWork::deliver()
{
    if (delivered_ || !thread_ || !thread_->isFinished())
        return;
    delivered_ = true;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    WorkOutcome outcome;
    {
        QMutexLocker lock(&shared_->mutex);
        outcome = shared_->outcome;
        if (shared_->done != done_ || shared_->total != total_) {
            done_ = shared_->done;
            total_ = shared_->total;
            emit progressed(done_, total_);
        }
    }
    running_ = false;
    runningWork().removeAll(this);
    // Those who wait for the end hear of it first (a restore puts its file
    // in place); the writes held back follow, into the database as it then is.
    emit finished(outcome);
    if (access_ == Access::Write && site_)
        site_->releaseWrites();
    if (!keep_)
        deleteLater();
}
