#include "data/app/backgroundwork.h"

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
#include <QSqlDriver>
#include <sqlite3.h>

#include "data/app/connection.h"

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
    sqlite3* interruptible = nullptr;  // the worker's connection, while it may be interrupted
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

BackgroundWork::BackgroundWork(Connection* connection, const QString& what, Access access, Job job,
                               QObject* parent)
    : QObject(parent), connection_(connection), what_(what), access_(connection ? access : Access::None),
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
        if (access_ == Access::Write && connection_)
            connection_->releaseWrites();
    }
}

BackgroundWork* BackgroundWork::runningOn(const Connection* connection)
{
    for (BackgroundWork* w : runningWork())
        if (w->connection_ == connection)
            return w;
    return nullptr;
}

bool BackgroundWork::anyRunning() { return !runningWork().isEmpty(); }

void BackgroundWork::start()
{
    if (running_ || delivered_)
        return;
    running_ = true;
    runningWork().append(this);
    QString file;
    if (connection_ && access_ != Access::None)
        file = connection_->databaseFile();
    if (access_ == Access::Write)
        connection_->holdWrites(what_);

    auto shared = shared_;
    auto stopFlag = stop_;
    Job job = job_;
    QPointer<BackgroundWork> self(this);
    const Access access = access_;
    shared->sincePost.start();

    // Progress reaches the window at most every 50 ms, and the last always.
    auto post = [shared, self](bool force) {
        QMutexLocker lock(&shared->mutex);
        if (shared->progressPosted && !force)
            return;
        if (!force && shared->sincePost.elapsed() < 50)
            return;
        shared->progressPosted = true;
        shared->sincePost.restart();
        lock.unlock();
        QMetaObject::invokeMethod(
            self.data(),
            [shared, self] {
                if (!self)
                    return;
                qint64 done, total;
                QString text;
                {
                    QMutexLocker l(&shared->mutex);
                    shared->progressPosted = false;
                    done = shared->done;
                    total = shared->total;
                    text = shared->text;
                }
                if (text != self->text_) {
                    self->text_ = text;
                    emit self->textChanged(text);
                }
                if (done != self->done_ || total != self->total_) {
                    self->done_ = done;
                    self->total_ = total;
                    emit self->progressed(done, total);
                }
            },
            Qt::QueuedConnection);
    };

    thread_ = QThread::create([shared, stopFlag, job, file, access, post, self] {
        WorkContext cx;
        cx.stop_ = stopFlag;
        cx.file_ = file;
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
            const QVariant h = cx.db_.driver() ? cx.db_.driver()->handle() : QVariant();
            if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0) {
                QMutexLocker lock(&shared->mutex);
                shared->interruptible = *static_cast<sqlite3* const*>(h.data());
            }
        };
        WorkOutcome outcome;
        const QString name = QStringLiteral("work_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            try {
                if (access != Access::None) {
                    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                    db.setDatabaseName(file);
                    // Work waits longer than the window for a lock: it has
                    // nobody in front of it waiting for a painted window.
                    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
                    if (!db.open())
                        throw DbError(QStringLiteral("无法打开数据库：") + db.lastError().text());
                    Connection::prepareSession(db);
                    cx.db_ = db;
                }
                job(cx);
                outcome.ok = true;
            } catch (const WorkStopped&) {
                outcome.stopped = true;
            } catch (const std::exception& e) {
                // A statement interrupted by the stop fails with an error of its own.
                if (stopFlag->load()) {
                    outcome.stopped = true;
                    outcome.error.clear();
                } else {
                    outcome.error = QString::fromUtf8(e.what());
                }
                if (!outcome.stopped && outcome.error.isEmpty())
                    outcome.error = QStringLiteral("未知错误");
            } catch (...) {
                outcome.error = QStringLiteral("未知错误");
            }
            {
                QMutexLocker lock(&shared->mutex);
                shared->interruptible = nullptr;
            }
            if (cx.db_.isValid()) {
                if (cx.db_.isOpen())
                    cx.db_.rollback();  // a transaction the job left open is not kept
                cx.db_.close();
                cx.db_ = QSqlDatabase();
            }
        }
        if (access != Access::None)
            QSqlDatabase::removeDatabase(name);
        {
            QMutexLocker lock(&shared->mutex);
            shared->outcome = outcome;
        }
        cx.progress_ = nullptr;
    });
    connect(thread_, &QThread::finished, this, &BackgroundWork::deliver, Qt::QueuedConnection);
    thread_->start();
}

void BackgroundWork::stop()
{
    if (!stoppable_ || !running_)
        return;
    stop_->store(true);
    QMutexLocker lock(&shared_->mutex);
    if (shared_->interruptible)
        sqlite3_interrupt(shared_->interruptible);
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
    if (access_ == Access::Write && connection_)
        connection_->releaseWrites();
    if (!keep_)
        deleteLater();
}
