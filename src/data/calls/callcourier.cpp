#include "data/calls/callcourier.h"

#include <QDir>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QTemporaryDir>
#include <iterator>
#include <memory>
#include <QThread>

#include "rules/files/paths.h"

#include "data/engine/dberror.h"

namespace {
// A try gives up connecting after this long.
constexpr int kConnectWaitSeconds = 3;
// How often the standbys' replay is looked at while calls wait for it.
constexpr int kStandbyCheckMs = 1000;
// The journal's log is moved into the journal beside the window once it
// is this long (a few dozen calls).
constexpr qint64 kFoldJournalAtBytes = 1 << 20;
}  // namespace

namespace {

// The journal of data/ belongs to one courier at a time: a second desk in
// the same process (tests run several), or a desk without a program folder,
// keeps a journal of its own in a private temporary folder.
QMutex journalsMutex;
QHash<QString, const CallCourier*> claimedJournals;
QHash<const CallCourier*, std::shared_ptr<QTemporaryDir>> privateJournals;

}  // namespace

CallCourier::CallCourier(QObject* parent) : QObject(parent)
{
    {
        QMutexLocker lock(&journalsMutex);
        const QString standard = programFolder().isEmpty() ? QString() : CallQueue::standardPath();
        if (!standard.isEmpty() && !claimedJournals.contains(standard)) {
            claimedJournals.insert(standard, this);
        } else {
            auto dir = std::make_shared<QTemporaryDir>();
            privateJournals.insert(this, dir);
            queuePath_ = dir->filePath(QStringLiteral("来电队列.db"));
        }
    }
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &CallCourier::tryNow);
}

CallCourier::~CallCourier()
{
    stop_ = true;
    retry_.stop();
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
    // Stores whose flush is under way leave the journal as they would have.
    flusher_.finish();
    queue_.reset();
    QMutexLocker lock(&journalsMutex);
    for (auto it = claimedJournals.begin(); it != claimedJournals.end();)
        it = it.value() == this ? claimedJournals.erase(it) : std::next(it);
    privateJournals.remove(this);
}

void CallCourier::setLocation(const DatabaseLocation& where)
{
    const bool moved = !(where == where_);
    where_ = where;
    if (moved) {
        // Another database: whether it answers is found anew.
        retry_.stop();
        if (away_) {
            away_ = false;
            emit changed();
        }
    }
}

bool CallCourier::knowsDatabase() const { return serves() || !target().file.isEmpty(); }

DatabaseLocation CallCourier::target() const
{
    if (serves() || !where_.file.isEmpty() || programFolder().isEmpty())
        return where_;
    return DatabaseLocation::ofFile(QDir::cleanPath(programFolder() + QStringLiteral("data/web.mdb")));
}

void CallCourier::setQueuePath(const QString& path)
{
    queuePath_ = path;
    queue_.reset();
}

QString CallCourier::queuePath() const { return queuePath_.isEmpty() ? CallQueue::standardPath() : queuePath_; }

void CallCourier::setRetryDelays(int firstMs, int longestMs)
{
    firstDelayMs_ = delayMs_ = firstMs;
    longestDelayMs_ = longestMs;
}

CallQueue& CallCourier::queue()
{
    if (!queue_) {
        queue_ = std::make_unique<CallQueue>(queuePath());
        flusher_.foldLogs(queue_->path(), kFoldJournalAtBytes);
    }
    return *queue_;
}

// Written without waiting for the disk, and flushed beside at once.
qint64 CallCourier::journal(const CallRecord& call, bool unsure)
{
    const qint64 order = queue().add(call, unsure);
    flusher_.flush(queue().flushFiles(), [this](bool ok, const QString& why) {
        if (!ok)
            emit journalNotFlushed(why);
    });
    ++waiting_;
    // A call about to be stored at once is not said to wait (its store
    // follows in a moment, or says otherwise).
    if (!unsure)
        emit changed();
    return order;
}

void CallCourier::stored(qint64 order)
{
    queue().remove(order);
    waiting_ = qMax(0, waiting_ - 1);
    emit changed();
}

void CallCourier::storedBeforeFlush(qint64 order, const QStringList& files)
{
    flushing_.insert(order);
    waiting_ = qMax(0, waiting_ - 1);
    emit changed();
    flusher_.flush(files, [this, order](bool ok, const QString& why) { flushed(order, ok, why); });
}

void CallCourier::flushed(qint64 order, bool ok, const QString& why)
{
    flushing_.remove(order);
    if (!ok) {
        // Kept (marked unsure): counted as waiting again and moved in by a
        // delivery, which finds its row and flushes before letting it go.
        emit deliveryFailed(QStringLiteral("数据库文件写不进磁盘：") + why);
        recount();
        retryLater();
        return;
    }
    try {
        queue().remove(order);
    } catch (const DbError& e) {
        emit deliveryFailed(e.message());
        recount();
    }
}

void CallCourier::committed(qint64 order, const QString& position, const QString& server)
{
    queue().noteCommitted(order, position, server);
    waiting_ = qMax(0, waiting_ - 1);
    ++awaiting_;
    emit changed();
    // Let go of once the standbys have it (or at once without any).
    standbyDelayMs_ = kStandbyCheckMs;
    if (!away_ && !thread_ && !retry_.isActive())
        retry_.start(kStandbyCheckMs);
}

void CallCourier::keep(const CallRecord& call, bool unsure)
{
    journal(call, unsure);
    // Kept while the database answers (a delivery under way): it follows.
    if (!away_)
        deliverNow();
}

void CallCourier::deliverNow()
{
    if (!thread_ && !held_)
        tryNow();
}

void CallCourier::deliverHere()
{
    if (thread_ || held_ || !knowsDatabase())
        return;
    recount();
    if (waiting_ == 0)
        return;
    retry_.stop();
    tried(callqueue::deliver(queuePath(), target(), kConnectWaitSeconds, &stop_));
}

void CallCourier::setHeld(bool held)
{
    held_ = held;
    if (held)
        retry_.stop();
    else if (waiting_ > 0 && !away_ && serves())
        deliverNow();
    else if (waiting_ > 0 && !away_)
        deliverHere();  // a file: at once, the work's end is the moment
    else if (waiting_ > 0)
        retryLater();
}

void CallCourier::serverLost()
{
    if (!serves())
        return;
    if (!away_) {
        away_ = true;
        delayMs_ = firstDelayMs_;
        emit changed();
    }
    if (!thread_ && !retry_.isActive())
        retryLater();
}

void CallCourier::connectFirst()
{
    if (!serves())
        return;
    connecting_ = true;
    away_ = true;
    delayMs_ = firstDelayMs_;
    recount();
    emit changed();
    tryNow();
}

void CallCourier::deliverLeftovers()
{
    if (!knowsDatabase())
        return;
    recount();
    // A file's are moved in when the program opens it (DataModule).
    if (waiting_ > 0 && serves())
        deliverNow();
}

void CallCourier::recount()
{
    int n = waiting_;
    try {
        n = queue().count(flushing_);
        awaiting_ = queue_->awaitingStandbys();
    } catch (const DbError& e) {
        emit deliveryFailed(e.message());
    }
    if (n != waiting_) {
        waiting_ = n;
        emit changed();
    }
}

void CallCourier::tryNow()
{
    if (thread_ || !knowsDatabase() || held_)
        return;
    retry_.stop();
    auto result = std::make_shared<callqueue::Delivery>();
    const QString path = queuePath();
    const DatabaseLocation where = target();
    QThread* t = QThread::create([result, path, where, this] {
        *result = callqueue::deliver(path, where, kConnectWaitSeconds, &stop_);
    });
    thread_ = t;
    result_ = result;
    connect(t, &QThread::finished, this, [this, t] {
        t->deleteLater();
        if (thread_ != t)
            return;  // taken by waitForTry()
        thread_ = nullptr;
        tried(*result_);
    });
    t->start();
}

bool CallCourier::waitForTry(int msecs)
{
    if (!thread_)
        return true;
    if (!thread_->wait(msecs))
        return false;
    thread_ = nullptr;
    tried(*result_);
    return true;
}

void CallCourier::tried(const callqueue::Delivery& d)
{
    delivered_ += d.delivered;
    const int awaitingBefore = awaiting_;
    recount();
    if (stop_)
        return;
    if (!d.reached || d.lost) {
        if (connecting_) {
            // The first connect failed: from now on the server is away.
            connecting_ = false;
            emit changed();
        }
        if (serves())
            serverLost();
        else
            retryLater();
        return;
    }
    if (!d.error.isEmpty()) {
        if (connecting_) {
            // The server answers but the desk cannot work on it yet (no
            // tables, no rights): the window's own connect says why.
            connecting_ = false;
            away_ = false;
            emit changed();
        }
        // The database answers but refuses a call: said, and tried again later.
        emit deliveryFailed(d.error);
        retryLater();
        return;
    }
    if (waiting_ > 0) {  // calls came during the try
        deliverNow();
        return;
    }
    const int delivered = delivered_;
    delivered_ = 0;
    delayMs_ = firstDelayMs_;
    // Calls the standbys have not replayed yet are looked at again shortly
    // (less often while they do not move on).
    standbyDelayMs_ = awaiting_ < awaitingBefore ? kStandbyCheckMs : qMin(standbyDelayMs_ * 2, 30000);
    if (awaiting_ > 0 && !retry_.isActive())
        retry_.start(standbyDelayMs_);
    if (!away_) {
        // Calls that waited for long work (or for a file that could not be
        // written) are in.
        emit movedIn(delivered);
        return;
    }
    away_ = false;
    emit changed();
    emit serverBack(delivered);
    connecting_ = false;
}

void CallCourier::retryLater()
{
    if (held_)
        return;  // tried again when the work lets go
    retry_.start(delayMs_);
    delayMs_ = qMin(delayMs_ * 2, longestDelayMs_);
}
