#include "data/app/backgroundcount.h"

#include <QMetaObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "data/app/connection.h"
#include "data/app/engine.h"

namespace {

std::mutex& pauseMutex()
{
    static std::mutex m;
    return m;
}

std::function<void()>& pauseBeforeCount()
{
    static std::function<void()> pause;
    return pause;
}

std::function<void()> currentPause()
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    return pauseBeforeCount();
}

}  // namespace

struct BackgroundCount::Token {
    std::thread thread;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool viewFixed = false;  // the count's view of the database is taken
    bool done = false;
    qint64 count = -1;  // -1: failed

    void mark(bool Token::*flag)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            this->*flag = true;
        }
        changed.notify_all();
    }
};

namespace {

qint64 countOnThread(BackgroundCount::Token& token, const DatabaseEngine& engine, const DatabaseLocation& file,
                     const BoundStatement& sql)
{
    qint64 count = -1;
    const QString name = QStringLiteral("count_") + QUuid::createUuid().toString(QUuid::Id128);
    {
        QSqlDatabase db = engine.connection(name, file, Connection::kBusyTimeoutMs, DatabaseEngine::Access::ReadOnly);
        if (db.open()) {
            // One read transaction: the count sees the database as it is
            // now, whatever the window stores from here on.
            const bool fixedView = db.transaction() && engine.fixView(db);
            token.mark(&BackgroundCount::Token::viewFixed);
            if (fixedView) {
                if (const std::function<void()> pause = currentPause())
                    pause();
                // A cancel stops the count where it is.
                engine.stopWhenSet(db, &token.stop);
                QSqlQuery q(db);
                q.setForwardOnly(true);
                bool ran = false;
                if (!token.stop && q.prepare(sql.sql)) {
                    for (const QVariant& v : sql.values)
                        q.addBindValue(v);
                    ran = q.exec();
                }
                if (ran && q.next())
                    count = q.value(0).toLongLong();
                q.finish();
                engine.stopWhenSet(db, nullptr);
                db.commit();
            }
        }
        token.mark(&BackgroundCount::Token::viewFixed);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return count;
}

}  // namespace

void BackgroundCount::setPauseBeforeCount(std::function<void()> pause)
{
    std::lock_guard<std::mutex> lock(pauseMutex());
    pauseBeforeCount() = std::move(pause);
}

BackgroundCount::BackgroundCount(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& file,
                                 const BoundStatement& sql, QObject* context, std::function<void()> arrived)
    : token_(std::make_shared<Token>())
{
    const std::shared_ptr<Token> token = token_;
    QPointer<QObject> target(context);
    token->thread = std::thread([token, engine, file, sql, target, arrived] {
        const qint64 count = countOnThread(*token, *engine, file, sql);
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
    // Whatever is stored from now on comes after the count's view.
    std::unique_lock<std::mutex> lock(token->mutex);
    token->changed.wait_for(lock, std::chrono::seconds(2), [&token] { return token->viewFixed; });
}

BackgroundCount::~BackgroundCount() { cancel(); }

qint64 BackgroundCount::wait()
{
    std::unique_lock<std::mutex> lock(token_->mutex);
    token_->changed.wait(lock, [this] { return token_->done; });
    return token_->count;
}

void BackgroundCount::cancel()
{
    token_->stop = true;
    // Interrupted where it counts, the thread ends within a moment.
    if (token_->thread.joinable())
        token_->thread.join();
}
