#include "data/dataset/backgroundcount.h"

#include <QMetaObject>
#include <QPointer>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "data/connection/connection.h"
#include "data/engine/engine.h"

namespace {

struct Pauses {
    std::function<void()> beforeView, beforeCount;
};

std::mutex& pauseMutex()
{
    static std::mutex m;
    return m;
}

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

struct BackgroundCount::Token {
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    qint64 count = -1;  // -1: failed
    // Rows of the list deleted by the window while the count runs: those
    // handed over before the count looked at them, and how many came after.
    QList<qint64> removed;
    bool removedTaken = false;
    qint64 removedLater = 0;
};

namespace {

// The number of a one-row, one-number statement; -1 when it fails.
qint64 numberOf(QSqlDatabase& db, const BoundStatement& sql, const std::atomic<bool>& stop)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (stop || !q.prepare(sql.sql))
        return -1;
    for (const QVariant& v : sql.values)
        q.addBindValue(v);
    return q.exec() && q.next() ? q.value(0).toLongLong() : -1;
}

// The count in one read transaction, less the deleted rows its view held.
qint64 countInView(BackgroundCount::Token& token, QSqlDatabase& db, const DatabaseEngine& engine,
                   const BoundStatement& sql, const BackgroundCount::AmongStatement& among)
{
    const Pauses pause = currentPauses();
    if (pause.beforeView)
        pause.beforeView();
    // One read transaction: the count sees the database as it is now,
    // whatever the window stores from here on.
    if (!db.transaction() || !engine.fixView(db))
        return -1;
    if (pause.beforeCount)
        pause.beforeCount();
    // A cancel stops the count where it is.
    engine.stopWhenSet(db, &token.stop);
    qint64 count = numberOf(db, sql, token.stop);
    QList<qint64> removed;
    {
        std::lock_guard<std::mutex> lock(token.mutex);
        removed.swap(token.removed);
        token.removedTaken = true;
    }
    if (count >= 0 && !removed.isEmpty()) {
        const qint64 held = among ? numberOf(db, among(removed), token.stop) : -1;
        count = held < 0 ? -1 : count - held;
    }
    engine.stopWhenSet(db, nullptr);
    db.commit();
    return count;
}

qint64 countOnThread(BackgroundCount::Token& token, const DatabaseEngine& engine, const DatabaseLocation& where,
                     const BoundStatement& sql, const BackgroundCount::AmongStatement& among)
{
    qint64 count = -1;
    const QString name = QStringLiteral("count_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = engine.connection(name, where, Connection::kBusyTimeoutMs, DatabaseEngine::Access::ReadOnly);
        if (db.open())
            count = countInView(token, db, engine, sql, among);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

}  // namespace

void BackgroundCount::setPauses(std::function<void()> beforeView, std::function<void()> beforeCount)
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    pauses() = {std::move(beforeView), std::move(beforeCount)};
}

BackgroundCount::BackgroundCount(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& where,
                                 const BoundStatement& sql, QObject* context, std::function<void()> arrived,
                                 AmongStatement among)
    : token_(std::make_shared<Token>())
{
    const std::shared_ptr<Token> token = token_;
    QPointer<QObject> target(context);
    token->thread = std::thread([token, engine, where, sql, among, target, arrived] {
        const qint64 count = countOnThread(*token, *engine, where, sql, among);
        {
            std::lock_guard<std::mutex> lock(token->mutex);
            token->count = token->stop ? -1 : count;
            token->done = true;
        }
        token->changed.notify_all();
        if (!token->stop && target)
            QMetaObject::invokeMethod(
                target.data(),
                [token, arrived] {
                    if (!token->stop)
                        arrived();
                },
                Qt::QueuedConnection);
    });
}

bool BackgroundCount::removing(qint64 key, const std::function<bool()>& remove)
{
    // Held while the delete runs, so that the count takes the rows deleted
    // so far either before it (and looks for them in its view) or after it
    // (and its view, fixed before, held the row).
    std::lock_guard<std::mutex> lock(token_->mutex);
    if (!remove())
        return false;
    if (token_->removedTaken)
        ++token_->removedLater;
    else
        token_->removed << key;
    return true;
}

BackgroundCount::~BackgroundCount() { cancel(); }

qint64 BackgroundCount::wait()
{
    std::unique_lock<std::mutex> lock(token_->mutex);
    token_->changed.wait(lock, [this] { return token_->done; });
    return token_->count < 0 ? -1 : token_->count - token_->removedLater;
}

void BackgroundCount::cancel()
{
    token_->stop = true;
    // Interrupted where it counts, the thread ends within a moment.
    if (token_->thread.joinable())
        token_->thread.join();
}
