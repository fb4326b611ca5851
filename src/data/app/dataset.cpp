#include "data/app/dataset.h"

#include "rules/app/statementtext.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "rules/app/errorreport.h"
#include "data/app/backgroundwork.h"
#include "data/app/connection.h"
#include "data/app/keylist.h"
#include "data/app/rowcache.h"

namespace {

// Numbers the opens, so that held-back open events run in the order of the opens.
int nextOpening()
{
    static int openings = 0;
    return ++openings;
}

QString quoteIdent(const QString& name) { return quotedIdentifier(name); }

// A statement as the source of another one: "(<statement>)" on lines of its own.
QString nested(const QString& sql) { return QStringLiteral("(\r\n") + sql + QStringLiteral("\r\n)"); }

std::mutex& pausesMutex()
{
    static std::mutex m;
    return m;
}

DataSet::WorkerPauses& pauses()
{
    static DataSet::WorkerPauses p;
    return p;
}

DataSet::WorkerPauses currentPauses()
{
    std::lock_guard<std::mutex> lock(pausesMutex());
    return pauses();
}

// The table a "select ... from <table> ..." statement reads.
QString baseTableOf(const QString& sql)
{
    static const QRegularExpression re(
        QStringLiteral(R"(\bfrom\s+(\[[^\]]+\]|"[^"]+"|`[^`]+`|[^\s,;()]+))"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(sql);
    if (!m.hasMatch())
        return {};
    QString t = m.captured(1);
    if (t.size() >= 2 && (t.front() == QLatin1Char('[') || t.front() == QLatin1Char('"') ||
                          t.front() == QLatin1Char('`')))
        t = t.mid(1, t.size() - 2);
    return t;
}

enum class KeyOrder { None, Ascending, Descending };

// Whether the statement ends with "order by <key> [asc|desc]" and nothing
// else orders, groups or limits it; `base` gets the statement without it.
KeyOrder orderByKey(const QString& sql, const QString& key, QString* base)
{
    static const QRegularExpression tail(
        QStringLiteral(R"(\border\s+by\s+(\[[^\]]+\]|"[^"]+"|`[^`]+`|\w+)\s*(asc|desc)?\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression unsafe(
        QStringLiteral(R"(\b(limit|union|intersect|except|group\s+by|order\s+by|distinct)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = tail.match(sql);
    if (!m.hasMatch())
        return KeyOrder::None;
    QString col = m.captured(1);
    if (col.size() >= 2 && !col.front().isLetterOrNumber() && col.front() != QLatin1Char('_'))
        col = col.mid(1, col.size() - 2);
    if (col.compare(key, Qt::CaseInsensitive) != 0)
        return KeyOrder::None;
    const QString rest = sql.left(m.capturedStart());
    // The order must belong to the whole statement, not to a part of it.
    if (rest.count(QLatin1Char('(')) != rest.count(QLatin1Char(')')) || unsafe.match(rest).hasMatch())
        return KeyOrder::None;
    *base = rest;
    return m.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0 ? KeyOrder::Descending
                                                                                  : KeyOrder::Ascending;
}

QString errorText(const QSqlError& e) { return e.databaseText().isEmpty() ? e.text() : e.databaseText(); }

DbError queryError(const QSqlQuery& q) { return DbError(errorText(q.lastError())); }

}  // namespace

void DataSet::setWorkerPauses(WorkerPauses p)
{
    std::lock_guard<std::mutex> lock(pausesMutex());
    pauses() = std::move(p);
}

// A count run on a connection of its own.
struct DataSet::CountJob {
    std::thread thread;
    qint64 count = -1;  // -1: failed
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable fixed;
    bool viewFixed = false;  // the count's view of the database is taken
};

// Keys read in the background, handed to the window thread in batches.
struct DataSet::LoadBuffer {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<qint64> keys;  // read and not taken yet
    bool done = false;  // the read ended, whichever way
};

// Where the rows of an open data set live.
struct DataSet::Storage {
    using Order = KeyOrder;
    bool keyed = false;
    int keyField = -1;
    QString keyName;                   // quoted
    Order order = Order::None;         // keyed: the statement's order by its key
    QString base;                      // keyed: the statement without that order
    KeyList keys;                      // keyed: the key of every row, in order
    // The last key read from the database at each end (the key order of the
    // statement); rows stored here later do not move them.
    std::optional<qint64> frontCursor, backCursor;
    // The highest key when the list was opened: records stored later have
    // higher keys and are never taken for rows of the list.
    std::optional<qint64> limitKey;
    bool countPending = false;
    std::shared_ptr<CountJob> countJob;
    // What was stored and deleted here while the count was under way: the
    // count sees the list as it was opened.
    int storedMeanwhile = 0;   // rows added to the list (net)
    int removedMeanwhile = 0;  // rows of the list as opened that were deleted
    // A background read: its work, its keys, and the keys stored or deleted
    // here meanwhile (the read may still come across them).
    bool loading = false;
    bool partial = false;
    QPointer<BackgroundWork> loader;
    std::shared_ptr<LoadBuffer> loaded;
    QSet<qint64> seenHere;
    QVector<QVector<QVariant>> rows;   // not keyed: every row
    RowCache cache;                    // keyed: fetched rows
    // A page whose read failed is not read again for a moment, so that a
    // locked database does not cost a wait for every cell painted.
    int failedPage = -1;
    QElapsedTimer failedAt;
    QString baseTable;
    QStringList baseColumns;  // lower case; read at the first store
    bool baseColumnsRead = false;

    explicit Storage(int pages) : cache(DataSet::kPageSize, pages) {}
    int count() const { return keyed ? keys.size() : int(rows.size()); }
    // Rows still to come (a count or a read): new rows stored here go after them.
    bool openEnded() const { return countPending || loading; }
    void readBaseColumns(const QSqlDatabase& db)
    {
        if (baseColumnsRead)
            return;
        const QSqlRecord rec = db.record(baseTable);
        for (int i = 0; i < rec.count(); ++i)
            baseColumns << rec.fieldName(i).toLower();
        baseColumnsRead = true;
    }
};

DataSet::DataSet(Connection* connection, const QString& name, QObject* parent)
    : QObject(parent), connection_(connection), name_(name)
{
    if (connection_)
        connection_->attach(this);
}

DataSet::~DataSet()
{
    endCount();
    endLoad();
    if (connection_)
        connection_->detach(this);
}

void DataSet::connectionGone()
{
    close();
    connection_ = nullptr;
}

void DataSet::setCommandText(const QString& sql)
{
    if (isActive())
        close();
    sql_ = sql;
}

void DataSet::requireActive() const
{
    if (!isActive())
        throw DbError(name_ + QStringLiteral(": Cannot perform this operation on a closed dataset"));
}

void DataSet::requireEditing() const
{
    if (state_ != State::Edit && state_ != State::Insert)
        throw DbError(name_ + QStringLiteral(": Dataset not in edit or insert mode"));
}

bool DataSet::run(QSqlQuery& q, const QString& sql) const
{
    const bool ok = q.exec(sql);
    if (connection_)
        connection_->noteOutcome(q.lastError());
    return ok;
}

bool DataSet::run(QSqlQuery& q) const
{
    const bool ok = q.exec();
    if (connection_)
        connection_->noteOutcome(q.lastError());
    return ok;
}

std::vector<qint64> DataSet::readKeys(QSqlQuery& q) const
{
    std::vector<qint64> keys;
    while (q.next())
        keys.push_back(q.value(0).toLongLong());
    if (q.lastError().isValid())
        throw failure(q);
    return keys;
}

DbError DataSet::failure(const QSqlQuery& q) const
{
    if (connection_->isBusy(q.lastError()))
        return DbError(QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍后再试。\n") +
                       q.lastError().databaseText());
    return queryError(q);
}

void DataSet::open()
{
    if (isActive())
        return;
    if (!connection_)
        throw DbError(name_ + QStringLiteral(": Missing Connection or ConnectionString"));
    connection_->open();
    QSqlDatabase db = connection_->database();
    auto store = std::make_unique<Storage>(maxPages_);

    // Column names without reading a row: the engine stops before the first.
    QSqlQuery head(db);
    head.setForwardOnly(true);
    const DatabaseEngine& engine = connection_->engine();
    const bool nests = run(head, engine.limited(QStringLiteral("select * from ") + nested(sql_), 0));
    if (!nests) {
        if (connection_->isBusy(head.lastError()))
            throw failure(head);
        // Not something that can be wrapped: run it as it is.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!run(q, sql_))
            throw failure(q);
        if (!q.isSelect())
            throw DbError(name_ + QStringLiteral(": CommandText does not return a result set"));
        head = std::move(q);
    }
    QStringList fields;
    const QSqlRecord rec = head.record();
    for (int i = 0; i < rec.count(); ++i)
        fields << rec.fieldName(i);
    head.finish();

    int keyField = -1;
    for (int i = 0; nests && i < fields.size(); ++i)
        if (fields[i].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) {
            keyField = i;
            break;
        }

    bool loadGoesOn = false;
    if (keyField >= 0) {
        store->keyField = keyField;
        store->keyName = quoteIdent(fields[keyField]);
        const QString& key = store->keyName;
        QString base;
        const auto order = orderByKey(sql_, fields[keyField], &base);
        if (order != Storage::Order::None) {
            // Ordered by the key: the first keys now, the rest as rows are
            // needed, read from whichever end is nearer.  A longer list is
            // counted on a connection of its own while the window goes on.
            const QString dir = order == Storage::Order::Descending ? QStringLiteral(" desc") : QStringLiteral(" asc");
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (run(q, engine.limited(QStringLiteral("select ") + key + QStringLiteral(" from ") + nested(base) +
                                          QStringLiteral(" order by ") + key + dir,
                                      kFirstKeys + 1))) {
                std::vector<qint64> first = readKeys(q);
                store->keyed = true;
                store->order = order;
                store->base = base;
                const bool more = int(first.size()) > kFirstKeys;
                if (more)
                    first.pop_back();
                if (!first.empty()) {
                    store->frontCursor = first.back();
                    store->limitKey = order == Storage::Order::Descending ? first.front() : first.back();
                }
                if (more && order == Storage::Order::Ascending) {
                    QSqlQuery top(db);
                    top.setForwardOnly(true);
                    if (!run(top, engine.limited(QStringLiteral("select ") + key + QStringLiteral(" from ") +
                                                     nested(base) + QStringLiteral(" order by ") + key +
                                                     QStringLiteral(" desc"),
                                                 1)) ||
                        !top.next())
                        throw failure(top);
                    store->limitKey = top.value(0).toLongLong();
                }
                store->keys.resetKnown(std::move(first));
                store->countPending = more;
            } else if (connection_->isBusy(q.lastError())) {
                throw failure(q);
            } else {
                // The list still opens, read the other way; the operator
                // hears why it is slower than it should be.
                reportLater(name_ + QStringLiteral("：按记录号读取列表失败，改为逐条读取。\n") + failure(q).message());
            }
        }
        if (!store->keyed) {
            // Any other order: every key (one pass, like a count).
            store->keyed = true;
            store->base = sql_;
            loadGoesOn = !startLoad(*store, QStringLiteral("select ") + key + QStringLiteral(" from ") + nested(sql_));
        }
    }
    if (!store->keyed) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!run(q, sql_))
            throw failure(q);
        const int n = int(fields.size());
        while (q.next()) {
            QVector<QVariant> r(n);
            for (int i = 0; i < n; ++i)
                r[i] = q.value(i);
            store->rows.append(std::move(r));
        }
        if (q.lastError().isValid())
            throw failure(q);
    }
    store->baseTable = baseTableOf(sql_);

    store_ = std::move(store);
    ++generation_;
    openedAs_ = nextOpening();
    if (store_->countPending)
        startCount();
    fields_ = fields;
    if (loadGoesOn) {
        // The rest of the keys comes in the background, with a progress
        // window and a way to stop it.
        BackgroundWork* work = store_->loader;
        const int generation = generation_;
        connect(work, &BackgroundWork::progressed, this, [this, generation] {
            if (generation == generation_)
                takeLoaded();
        });
        connect(work, &BackgroundWork::finished, this, [this, generation](const WorkOutcome& outcome) {
            if (generation == generation_)
                loadEnded(outcome);
        });
        connection_->startWork(work);
    }
    opened();
    if (loadGoesOn)
        emit loadingChanged(true);
}

bool DataSet::startLoad(Storage& st, const QString& sql)
{
    auto buffer = std::make_shared<LoadBuffer>();
    const QString noun = QStringLiteral("查找数据");
    auto* work = new BackgroundWork(connection_, noun, BackgroundWork::Access::Read, [buffer, sql, noun](WorkContext& cx) {
        // However the read ends, the window is told that nothing more comes.
        struct Ended {
            LoadBuffer& b;
            ~Ended()
            {
                {
                    std::lock_guard<std::mutex> lock(b.mutex);
                    b.done = true;
                }
                b.arrived.notify_all();
            }
        } ended{*buffer};
        const WorkerPauses pause = currentPauses();
        cx.interruptOnStop();
        QSqlQuery q(cx.db());
        q.setForwardOnly(true);
        if (!q.exec(sql)) {
            cx.checkStop();
            throw queryError(q);
        }
        std::vector<qint64> batch;
        qint64 found = 0;
        std::size_t batchSize = 100;  // small at first: the first screen comes soon
        QElapsedTimer sinceHanded, sinceSaid;
        sinceHanded.start();
        sinceSaid.start();
        auto hand = [&] {
            {
                std::lock_guard<std::mutex> lock(buffer->mutex);
                buffer->keys.insert(buffer->keys.end(), batch.begin(), batch.end());
            }
            buffer->arrived.notify_all();
            batch.clear();
            sinceHanded.restart();
            cx.progress(found, 0);
            if (sinceSaid.elapsed() >= 250) {
                cx.setText(QStringLiteral("正在") + noun + QStringLiteral("：已找到 ") + QString::number(found) +
                           QStringLiteral(" 条记录……"));
                sinceSaid.restart();
            }
            if (pause.afterBatch)
                pause.afterBatch(found);
            batchSize = std::min<std::size_t>(batchSize * 2, 10000);
        };
        while (q.next()) {
            batch.push_back(q.value(0).toLongLong());
            ++found;
            if (batch.size() >= batchSize || sinceHanded.elapsed() >= 50)
                hand();
            cx.checkStop();
        }
        if (q.lastError().isValid()) {
            cx.checkStop();
            throw queryError(q);
        }
        hand();
    });

    work->start();
    std::vector<qint64> first;
    bool done = false;
    {
        std::unique_lock<std::mutex> lock(buffer->mutex);
        buffer->arrived.wait_for(lock, std::chrono::milliseconds(kFirstWaitMs), [&] {
            return buffer->done || buffer->keys.size() >= std::size_t(kFirstKeys);
        });
        first.swap(buffer->keys);
        done = buffer->done;
    }
    st.keys.resetKnown(std::move(first));
    if (done) {
        // Read within the moment: the list opens complete (or not at all).
        WorkOutcome outcome;
        connect(work, &BackgroundWork::finished, work, [&outcome](const WorkOutcome& o) { outcome = o; });
        work->wait();
        if (!outcome.ok)
            throw DbError(outcome.error);
        return true;
    }
    st.loading = true;
    st.loader = work;
    st.loaded = buffer;
    return false;
}

void DataSet::takeLoaded()
{
    if (!store_ || !store_->loading)
        return;
    Storage& st = *store_;
    std::vector<qint64> keys;
    {
        std::lock_guard<std::mutex> lock(st.loaded->mutex);
        keys.swap(st.loaded->keys);
    }
    const int at = st.keys.frontKnown();
    int n = 0;
    for (qint64 key : keys) {
        // Stored or deleted here after the read began: already where it belongs.
        if (st.seenHere.contains(key))
            continue;
        st.keys.appendFront(key);
        ++n;
    }
    rowsArrived(at, n);
}

void DataSet::rowsArrived(int at, int n)
{
    if (n <= 0)
        return;
    Storage& st = *store_;
    const bool behind = st.keys.backKnown() > 0;  // rows stored here stand after them
    if (behind) {
        st.cache.invalidateFrom(at);
        if (cur_ >= at)
            cur_ += n;
        if (insertPos_ >= at)
            insertPos_ += n;
    }
    if (cur_ < 0 && state_ == State::Browse) {
        // The first rows of a list that opened empty: the first is current.
        cur_ = 0;
        eof_ = false;
        if (behind || disabled_) {
            notifyLayout();
        } else {
            emit rowsAppended(at, n);
        }
        notifyRecord();
        return;
    }
    if (behind)
        notifyLayout();
    else if (disabled_)
        pendingLayout_ = true;
    else
        emit rowsAppended(at, n);
}

void DataSet::loadEnded(const WorkOutcome& outcome)
{
    if (!store_ || !store_->loading)
        return;
    takeLoaded();
    Storage& st = *store_;
    st.loading = false;
    st.loader = nullptr;
    st.loaded.reset();
    st.seenHere.clear();
    if (!outcome.ok) {
        st.partial = true;
        if (!outcome.stopped)
            reportLater(name_ + QStringLiteral("：没有读完，只列出了已找到的记录。\n") + outcome.error);
    }
    if (st.count() == 0)
        eof_ = bof_ = true;
    runHeldEvents();
    emit loadingChanged(false);
}

void DataSet::endLoad()
{
    if (!store_ || !store_->loader)
        return;
    const QPointer<BackgroundWork> work = store_->loader;
    store_->loader = nullptr;
    store_->loading = false;
    if (!work)
        return;
    work->stop();
    // Stopped where it reads: the thread ends within a moment.
    work->wait();
}

void DataSet::finishLoad() const
{
    if (!store_ || !store_->loading || !store_->loader)
        return;
    // Its end arrives through finished(), at once.
    store_->loader->wait();
}

void DataSet::stopLoading()
{
    if (store_ && store_->loader)
        store_->loader->stop();
}

bool DataSet::loading() const { return store_ && store_->loading; }

bool DataSet::partial() const { return store_ && store_->partial; }

bool DataSet::readsByKey() const { return store_ && store_->keyed; }

bool DataSet::eventsHeld() const { return store_ && store_->openEnded(); }

void DataSet::opened()
{
    cur_ = store_->count() > 0 ? 0 : -1;
    bof_ = true;
    eof_ = store_->count() == 0;
    buffer_.clear();
    changed_.clear();
    modified_ = false;
    insertPos_ = -1;
    state_ = State::Browse;
    notifyLayout();
    emit stateChanged();
    if (eventsHeld()) {
        // The open's events report the count: they run when it is known.
        notifyRecord();
        return;
    }
    if (afterOpen_)
        afterOpen_(*this);
    doAfterScroll();
}

void DataSet::runHeldEvents()
{
    if (!isActive() || eventsHeld())
        return;
    // The open's events, held back until now, in the order of the opens.
    if (connection_)
        connection_->finishCountsBefore(openedAs_);
    if (afterOpen_)
        afterOpen_(*this);
    doAfterScroll();
}

void DataSet::startCount()
{
    Storage& st = *store_;
    auto job = std::make_shared<CountJob>();
    st.countJob = job;
    st.storedMeanwhile = st.removedMeanwhile = 0;
    const QString file = connection_->database().databaseName();
    const std::shared_ptr<const DatabaseEngine> engine = connection_->sharedEngine();
    // The rows of the list as it was opened: those stored later (by this
    // program or another) have higher keys than its highest and are left out.
    QString sql = QStringLiteral("select count(*) from ") + nested(st.base);
    if (st.limitKey)
        sql = QStringLiteral("select (") + sql + QStringLiteral(") - (select count(*) from ") + nested(st.base) +
              QStringLiteral(" where ") + st.keyName + QStringLiteral(" > ") + QString::number(*st.limitKey) +
              QLatin1Char(')');
    const int generation = generation_;
    DataSet* self = this;  // waits for the thread before it goes
    job->thread = std::thread([job, file, sql, self, generation, engine] {
        const WorkerPauses pause = currentPauses();
        auto viewTaken = [&job] {
            {
                std::lock_guard<std::mutex> lock(job->mutex);
                job->viewFixed = true;
            }
            job->fixed.notify_all();
        };
        const QString name = QStringLiteral("count_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = engine->connection(name, file, Connection::kBusyTimeoutMs,
                                                 DatabaseEngine::Access::ReadOnly);
            if (db.open()) {
                // One read transaction: the count sees the database as it
                // is now, whatever the window stores from here on.
                const bool fixedView = db.transaction() && engine->fixView(db);
                viewTaken();
                if (fixedView) {
                    if (pause.beforeCount)
                        pause.beforeCount();
                    // A close stops the count where it is.
                    engine->stopWhenSet(db, &job->stop);
                    QSqlQuery q(db);
                    q.setForwardOnly(true);
                    if (!job->stop && q.exec(sql) && q.next())
                        job->count = q.value(0).toLongLong();
                    q.finish();
                    engine->stopWhenSet(db, nullptr);
                    db.commit();
                }
            }
            viewTaken();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!job->stop)
            QMetaObject::invokeMethod(
                self, [self, generation] { self->countArrived(generation); }, Qt::QueuedConnection);
    });
    // Whatever is stored from now on comes after the count's view.
    std::unique_lock<std::mutex> lock(job->mutex);
    job->fixed.wait_for(lock, std::chrono::seconds(2), [&job] { return job->viewFixed; });
}

void DataSet::endCount()
{
    if (!store_ || !store_->countJob)
        return;
    std::shared_ptr<CountJob> job = std::move(store_->countJob);
    job->stop = true;
    if (job->thread.joinable())
        job->thread.join();
}

void DataSet::countArrived(int generation)
{
    if (generation == generation_)
        finishCount();
}

void DataSet::finishCount() const
{
    if (!store_ || !store_->countPending)
        return;
    settleCount(true);
    const_cast<DataSet*>(this)->runHeldEvents();
}

void DataSet::settleCount(bool announce) const
{
    auto* self = const_cast<DataSet*>(this);
    Storage& st = *store_;
    st.countPending = false;
    std::shared_ptr<CountJob> job = std::move(st.countJob);
    if (job && job->thread.joinable())
        job->thread.join();
    qint64 count = job ? job->count : -1;
    if (count >= 0) {
        count += st.storedMeanwhile - st.removedMeanwhile;
    } else {
        // The count's own connection failed: count here instead, the rows
        // as they are now.
        QSqlQuery q(connection_->database());
        q.setForwardOnly(true);
        QString sql = QStringLiteral("select count(*) from ") + nested(st.base);
        if (st.limitKey)
            sql += QStringLiteral(" where ") + st.keyName + QStringLiteral(" <= ") + QString::number(*st.limitKey);
        if (run(q, sql) && q.next())
            count = q.value(0).toLongLong() + st.storedMeanwhile;
        else
            self->reportLater(failure(q).message());
    }
    st.storedMeanwhile = st.removedMeanwhile = 0;
    const int known = st.keys.size();
    if (count > known) {
        // The rows not known yet stand between those read from the front
        // and those stored here meanwhile.
        const int at = known - st.keys.backKnown();
        st.keys.setCount(int(count));
        if (!announce)
            return;
        self->rowsArrived(at, int(count) - known);
    }
}

bool DataSet::countPending() const { return store_ && store_->countPending; }

int DataSet::openedAs() const { return openedAs_; }

bool DataSet::endPendingEdit()
{
    if (state_ != State::Edit && state_ != State::Insert)
        return true;
    try {
        checkBrowseMode();
        return true;
    } catch (const std::exception& e) {
        errorreport::report(QStringLiteral("当前记录的修改没有保存（已保留在卡片上）：") +
                            QString::fromUtf8(e.what()));
        return false;
    }
}

bool DataSet::reopen(const QString& sql)
{
    if (!endPendingEdit())
        return false;
    close();
    setCommandText(sql);
    open();
    return true;
}

bool DataSet::reopenWith(DataSet& from)
{
    from.requireActive();
    if (!endPendingEdit())
        return false;
    from.checkBrowseMode();
    // Rows still being read are taken complete.
    from.finishLoad();
    close();
    sql_ = from.sql_;
    fields_ = from.fields_;
    store_ = std::move(from.store_);
    from.store_ = std::make_unique<Storage>(1);
    from.close();
    ++generation_;
    openedAs_ = nextOpening();
    // The rows' count may still be on its way to `from`: take it here.
    if (store_->countPending)
        settleCount(false);
    opened();
    return true;
}

void DataSet::close()
{
    if (!isActive())
        return;
    state_ = State::Inactive;
    ++generation_;
    endCount();
    const bool wasLoading = store_ && store_->loading;
    endLoad();
    store_.reset();
    fields_.clear();
    buffer_.clear();
    changed_.clear();
    modified_ = false;
    insertPos_ = -1;
    cur_ = -1;
    eof_ = bof_ = true;
    notifyLayout();
    emit stateChanged();
    if (wasLoading)
        emit loadingChanged(false);
}

// --- fields ---------------------------------------------------------------

int DataSet::findField(const QString& name) const
{
    for (int i = 0; i < fields_.size(); ++i)
        if (fields_[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int DataSet::fieldIndex(const QString& name) const
{
    const int i = findField(name);
    if (i < 0)
        throw DbError(QStringLiteral("%1: Field '%2' not found").arg(name_, name));
    return i;
}

QVariant DataSet::value(int field) const
{
    requireActive();
    if (field < 0 || field >= fields_.size())
        throw DbError(QStringLiteral("%1: Field index out of range").arg(name_));
    if (state_ == State::Edit || state_ == State::Insert)
        return buffer_[field];
    if (cur_ < 0)
        return {};
    return row(cur_)[field];
}

QString DataSet::text(int field) const
{
    const QVariant v = value(field);
    return v.isNull() ? QString() : v.toString();
}

void DataSet::setValue(int field, const QVariant& v)
{
    requireActive();
    requireEditing();
    if (field < 0 || field >= fields_.size())
        throw DbError(QStringLiteral("%1: Field index out of range").arg(name_));
    QVariant stored = v;
    if (v.typeId() == QMetaType::QString && v.toString().isEmpty())
        stored = QVariant();
    buffer_[field] = stored;
    changed_[field] = true;
    modified_ = true;
    notifyRow(currentRow());
    notifyRecord();
}

// --- rows -------------------------------------------------------------------

bool DataSet::loadKeys(int index, QString* error) const
{
    Storage& st = *store_;
    KeyList& keys = st.keys;
    while (!keys.isKnown(index)) {
        // From the nearer end, a good stretch at a time.
        const int fromFront = index - keys.frontKnown() + 1;
        const int fromBack = keys.size() - keys.backKnown() - index;
        const bool front = fromFront <= fromBack;
        const int want = std::min(keys.unknown(), std::max(front ? fromFront : fromBack, 2000));
        // Front rows come in the statement's order, back rows in reverse.
        const bool descending = (st.order == Storage::Order::Descending) == front;
        const auto& near = front ? st.frontCursor : st.backCursor;
        const auto& far = front ? st.backCursor : st.frontCursor;
        QStringList where;
        if (near)
            where << st.keyName + (descending ? QStringLiteral(" < ") : QStringLiteral(" > ")) +
                         QString::number(*near);
        if (far)
            where << st.keyName + (descending ? QStringLiteral(" > ") : QStringLiteral(" < ")) +
                         QString::number(*far);
        if (st.limitKey)
            where << st.keyName + QStringLiteral(" <= ") + QString::number(*st.limitKey);
        const QString sql =
            QStringLiteral("select ") + st.keyName + QStringLiteral(" from ") + nested(st.base) +
            (where.isEmpty() ? QString() : QStringLiteral(" where ") + where.join(QStringLiteral(" and "))) +
            QStringLiteral(" order by ") + st.keyName + (descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
        QSqlQuery q(connection_->database());
        q.setForwardOnly(true);
        if (!run(q, connection_->engine().limited(sql, want))) {
            *error = failure(q).message();
            return false;
        }
        int got = 0;
        while (q.next()) {
            const qint64 key = q.value(0).toLongLong();
            if (front) {
                keys.pushFront(key);
                st.frontCursor = key;
            } else {
                keys.pushBack(key);
                st.backCursor = key;
            }
            if (++got == want)
                break;
        }
        if (q.lastError().isValid()) {
            *error = failure(q).message();
            return false;
        }
        if (got == 0) {
            *error = name_ + QStringLiteral(": 记录已被其他程序删除，请重新打开列表。");
            return false;
        }
    }
    return true;
}

bool DataSet::fetchRow(int index, QVector<QVariant>* out, QString* error) const
{
    if (!store_ || index < 0 || index >= store_->count()) {
        *out = {};
        return true;
    }
    Storage& st = *store_;
    if (!st.keyed) {
        *out = st.rows[index];
        return true;
    }
    if (auto hit = st.cache.find(index)) {
        *out = std::move(*hit);
        return true;
    }

    const int page = st.cache.pageOf(index);
    if (page == st.failedPage && st.failedAt.isValid() && st.failedAt.elapsed() < 2000) {
        *error = failedText_;
        return false;
    }
    auto failed = [&](const QString& text) {
        st.failedPage = page;
        st.failedAt.start();
        failedText_ = text;
        *error = text;
        return false;
    };

    const int from = st.cache.firstRowOf(page);
    const int to = std::min(from + kPageSize, st.count());
    for (int i = from; i < to; ++i) {
        QString why;
        if (!loadKeys(i, &why))
            return failed(why);
    }
    const int n = int(fields_.size());
    QHash<qint64, QVector<QVariant>> got;
    QStringList ids;
    for (int i = from; i < to; ++i)
        ids << QString::number(st.keys.at(i));
    QSqlDatabase db = connection_->database();
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        const QString sql = QStringLiteral("select * from ") + nested(st.base) + QStringLiteral(" where ") +
                            st.keyName + QStringLiteral(" in (") + ids.join(QLatin1Char(',')) + QLatin1Char(')');
        if (!run(q, sql))
            return failed(failure(q).message());
        while (q.next()) {
            QVector<QVariant> r(n);
            for (int i = 0; i < n; ++i)
                r[i] = q.value(i);
            got.insert(r[st.keyField].toLongLong(), std::move(r));
        }
        if (q.lastError().isValid())
            return failed(failure(q).message());
    }
    if (got.size() < to - from && !st.baseTable.isEmpty()) {
        // Records stored through this data set that its statement does not
        // select (a call appended to a filtered list): read them by key.
        QStringList missing;
        for (int i = from; i < to; ++i)
            if (!got.contains(st.keys.at(i)))
                missing << QString::number(st.keys.at(i));
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!run(q, QStringLiteral("select * from ") + quoteIdent(st.baseTable) + QStringLiteral(" where ") +
                        st.keyName + QStringLiteral(" in (") + missing.join(QLatin1Char(',')) + QLatin1Char(')'))) {
            if (connection_->isBusy(q.lastError()))
                return failed(failure(q).message());
        } else {
            const QSqlRecord rec = q.record();
            QVector<int> map(n, -1);
            for (int i = 0; i < n; ++i)
                map[i] = rec.indexOf(fields_[i]);
            while (q.next()) {
                QVector<QVariant> r(n);
                for (int i = 0; i < n; ++i)
                    if (map[i] >= 0)
                        r[i] = q.value(map[i]);
                got.insert(r[st.keyField].toLongLong(), std::move(r));
            }
            if (q.lastError().isValid())
                return failed(failure(q).message());
        }
    }
    QVector<QVector<QVariant>> rows;
    rows.reserve(to - from);
    for (int i = from; i < to; ++i) {
        auto g = got.find(st.keys.at(i));
        if (g != got.end()) {
            rows.append(g.value());
        } else {
            // Gone from the table since the list was opened.
            QVector<QVariant> r(n);
            r[st.keyField] = st.keys.at(i);
            rows.append(r);
        }
    }
    if (st.failedPage == page)
        st.failedPage = -1;
    *out = rows[index - from];
    st.cache.putPage(page, std::move(rows));
    return true;
}

QVector<QVariant> DataSet::row(int index) const
{
    QVector<QVariant> r;
    QString error;
    if (!fetchRow(index, &r, &error))
        throw DbError(error);
    return r;
}

void DataSet::reportLater(const QString& text) const
{
    if (reportPending_)
        return;
    reportPending_ = true;
    QMetaObject::invokeMethod(
        const_cast<DataSet*>(this),
        [this, text] {
            reportPending_ = false;
            errorreport::report(text);
        },
        Qt::QueuedConnection);
}

bool DataSet::recordReadable() const
{
    if (!isActive() || state_ != State::Browse || cur_ < 0)
        return true;
    if (!store_->keyed || store_->cache.contains(cur_))
        return true;
    QVector<QVariant> r;
    QString error;
    return fetchRow(cur_, &r, &error);
}

int DataSet::recordCount() const
{
    finishCount();
    finishLoad();
    return store_ ? store_->count() : 0;
}

int DataSet::countReaching(int row) const
{
    if (store_ && store_->openEnded() && row >= store_->count()) {
        finishCount();
        finishLoad();
    }
    return store_ ? store_->count() : 0;
}

int DataSet::recNo() const
{
    if (!isActive() || state_ == State::Insert || cur_ < 0)
        return -1;
    return cur_ + 1;
}

int DataSet::rowCount() const
{
    // While the count is still coming, the rows known so far.
    return (store_ ? store_->count() : 0) + (state_ == State::Insert ? 1 : 0);
}

int DataSet::currentRow() const
{
    if (state_ == State::Insert)
        return insertPos_;
    return cur_;
}

bool DataSet::isInsertRow(int r) const { return state_ == State::Insert && r == insertPos_; }

QVariant DataSet::rowValue(int r, int field) const
{
    if (!isActive() || field < 0 || field >= fields_.size())
        return {};
    if (state_ == State::Insert) {
        if (r == insertPos_)
            return buffer_[field];
        if (r > insertPos_)
            --r;
    } else if (state_ == State::Edit && r == cur_) {
        return buffer_[field];
    }
    // A grid asks while painting: a failed read shows nothing and is
    // reported once the painting is over.
    QVector<QVariant> values;
    QString error;
    if (!fetchRow(r, &values, &error)) {
        reportLater(error);
        return {};
    }
    return values.value(field);
}

// --- moves ------------------------------------------------------------------

void DataSet::checkBrowseMode()
{
    requireActive();
    if (state_ == State::Edit || state_ == State::Insert) {
        if (modified_)
            post();
        else
            cancel();
    }
}

void DataSet::doAfterScroll()
{
    notifyRecord();
    // While the list is counted or read, the position is told once it is known.
    if (afterScroll_ && !eventsHeld())
        afterScroll_(*this);
}

void DataSet::scrollTo(int index)
{
    const int old = cur_;
    cur_ = index;
    // The new current record is read now; a failed read is reported (the
    // move itself stands) and the record cannot be edited until a read
    // succeeds.
    if (store_ && store_->keyed && cur_ >= 0) {
        store_->failedPage = -1;
        QVector<QVariant> r;
        QString error;
        if (!fetchRow(cur_, &r, &error))
            reportLater(error);
    }
    if (old != cur_) {
        notifyRow(old);
        notifyRow(cur_);
    }
    doAfterScroll();
}

void DataSet::first()
{
    checkBrowseMode();
    const int n = countReaching(0);
    bof_ = true;
    eof_ = n == 0;
    scrollTo(n > 0 ? 0 : -1);
}

void DataSet::last()
{
    checkBrowseMode();
    const int n = recordCount();
    eof_ = true;
    bof_ = n == 0;
    scrollTo(n - 1);
}

void DataSet::moveBy(int distance)
{
    checkBrowseMode();
    if ((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0)
        return;
    // Rows not known yet are waited for only when the move goes past the known ones.
    const int n = countReaching(int(std::clamp<long>(long(cur_) + distance, 0, INT_MAX)));
    long target = long(cur_) + distance;
    if (target >= n) {
        target = n - 1;
        eof_ = true;
    } else {
        eof_ = false;
    }
    if (target < 0) {
        target = n > 0 ? 0 : -1;
        bof_ = true;
    } else {
        bof_ = false;
    }
    if (n == 0)
        eof_ = bof_ = true;
    scrollTo(int(target));
}

void DataSet::next() { moveBy(1); }
void DataSet::prior() { moveBy(-1); }

void DataSet::moveTo(int r)
{
    requireActive();
    if (state_ == State::Insert) {
        if (r == insertPos_)
            return;  // already there
        int index = r > insertPos_ ? r - 1 : r;
        const int pos = insertPos_;
        const bool storing = modified_;
        checkBrowseMode();
        if (storing && index >= pos)
            ++index;  // the stored record now stands at its place
        r = index;
    } else {
        checkBrowseMode();
    }
    const int n = countReaching(r);
    if (n == 0)
        return;
    r = std::clamp(r, 0, n - 1);
    if (r == cur_)
        return;
    moveBy(r - cur_);
}

// --- editing ----------------------------------------------------------------

void DataSet::setState(State s)
{
    if (state_ == s)
        return;
    state_ = s;
    emit stateChanged();
}

void DataSet::enterInsert(int position)
{
    buffer_ = QVector<QVariant>(fields_.size());
    changed_ = QVector<bool>(fields_.size(), false);
    modified_ = false;
    insertPos_ = position;
    setState(State::Insert);
    notifyInserted(position);
    if (afterInsert_)
        afterInsert_(*this);
    doAfterScroll();
}

void DataSet::append()
{
    checkBrowseMode();
    // After the last row known; rows still to come are placed before it.
    enterInsert(knownCount());
}

void DataSet::insert()
{
    checkBrowseMode();
    if (cur_ >= 0 && store_->keyed) {
        QString error;
        if (!loadKeys(cur_, &error))
            throw DbError(error);
    }
    enterInsert(cur_ < 0 ? 0 : cur_);
}

void DataSet::edit()
{
    requireActive();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (knownCount() == 0) {
        insert();
        return;
    }
    if (store_->keyed)
        store_->failedPage = -1;  // an edit always tries the read again
    buffer_ = row(cur_);
    changed_ = QVector<bool>(fields_.size(), false);
    modified_ = false;
    setState(State::Edit);
    notifyRecord();
}

void DataSet::cancel()
{
    requireActive();
    if (state_ == State::Edit) {
        buffer_.clear();
        modified_ = false;
        setState(State::Browse);
        notifyRow(cur_);
        notifyRecord();
    } else if (state_ == State::Insert) {
        const int pos = insertPos_;
        buffer_.clear();
        modified_ = false;
        insertPos_ = -1;
        setState(State::Browse);
        const int n = knownCount();
        cur_ = n == 0 ? -1 : std::min(pos, n - 1);
        if (n == 0)
            eof_ = bof_ = true;
        notifyRemoved(pos);
        doAfterScroll();
    }
}

void DataSet::post()
{
    requireActive();
    if (state_ == State::Insert)
        storeInsert();
    else if (state_ == State::Edit)
        storeEdit();
}

void DataSet::storeInsert()
{
    // A count or background read of this list or another goes on beside
    // the store: each reads the database as it was when it began.
    Storage& st = *store_;
    QSqlDatabase db = connection_->database();
    if (st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    st.readBaseColumns(db);
    QStringList cols, marks;
    QVector<QVariant> vals;
    for (int i = 0; i < fields_.size(); ++i) {
        if (!changed_[i] || (st.keyed && i == st.keyField))
            continue;
        if (!st.baseColumns.contains(fields_[i].toLower()))
            continue;
        cols << quoteIdent(fields_[i]);
        marks << QStringLiteral("?");
        vals << buffer_[i];
    }
    QSqlQuery q(db);
    const QString table = quoteIdent(st.baseTable);
    const QString sql = cols.isEmpty() ? QStringLiteral("insert into ") + table + QStringLiteral(" default values")
                                       : QStringLiteral("insert into ") + table + QStringLiteral(" (") +
                                             cols.join(QLatin1Char(',')) + QStringLiteral(") values (") +
                                             marks.join(QLatin1Char(',')) + QLatin1Char(')');
    if (!q.prepare(sql))
        throw failure(q);
    for (const QVariant& v : vals)
        q.addBindValue(v);
    if (!run(q))
        throw failure(q);

    const int pos = insertPos_;
    if (st.keyed) {
        const qint64 id = q.lastInsertId().toLongLong();
        if (st.openEnded() && pos == st.keys.size())
            st.keys.appendBack(id);  // the last row, after those still to come
        else
            st.keys.insert(pos, id);
        st.cache.invalidateFrom(pos);
        noteStored(id);
    } else {
        st.rows.insert(pos, buffer_);
    }
    buffer_.clear();
    modified_ = false;
    insertPos_ = -1;
    cur_ = pos;
    eof_ = bof_ = false;
    setState(State::Browse);
    notifyRow(pos);
    // The stored record is now the current one: its position is known.
    doAfterScroll();
}

void DataSet::storeEdit()
{
    Storage& st = *store_;
    if (!modified_) {
        buffer_.clear();
        setState(State::Browse);
        notifyRecord();
        return;
    }
    if (!st.keyed || st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    QSqlDatabase db = connection_->database();
    st.readBaseColumns(db);
    QStringList sets;
    QVector<QVariant> vals;
    for (int i = 0; i < fields_.size(); ++i) {
        if (!changed_[i] || i == st.keyField || !st.baseColumns.contains(fields_[i].toLower()))
            continue;
        sets << quoteIdent(fields_[i]) + QStringLiteral(" = ?");
        vals << buffer_[i];
    }
    if (!sets.isEmpty()) {
        QSqlQuery q(db);
        if (!q.prepare(QStringLiteral("update ") + quoteIdent(st.baseTable) + QStringLiteral(" set ") +
                       sets.join(QStringLiteral(", ")) + QStringLiteral(" where ") + st.keyName +
                       QStringLiteral(" = ?")))
            throw failure(q);
        for (const QVariant& v : vals)
            q.addBindValue(v);
        q.addBindValue(st.keys.at(cur_));
        if (!run(q))
            throw failure(q);
    }
    // Keep the stored values in the fetched page.
    st.cache.update(cur_, buffer_);
    buffer_.clear();
    modified_ = false;
    setState(State::Browse);
    notifyRow(cur_);
    notifyRecord();
}

bool DataSet::remove()
{
    requireActive();
    if (state_ == State::Insert) {
        cancel();
        return true;
    }
    if (knownCount() == 0)
        throw DbError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (beforeDelete_ && !beforeDelete_(*this))
        return false;
    Storage& st = *store_;
    if (!st.keyed || st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    QString error;
    if (!loadKeys(cur_, &error))
        throw DbError(error);
    QSqlQuery q(connection_->database());
    if (!q.prepare(QStringLiteral("delete from ") + quoteIdent(st.baseTable) + QStringLiteral(" where ") +
                   st.keyName + QStringLiteral(" = ?")))
        throw failure(q);
    const qint64 key = st.keys.at(cur_);
    q.addBindValue(key);
    if (!run(q))
        throw failure(q);
    // An edit in progress goes with the record.
    buffer_.clear();
    modified_ = false;
    setState(State::Browse);
    const int gone = cur_;
    st.keys.remove(gone);
    st.cache.invalidateFrom(gone);
    noteRemoved(key);
    const int n = knownCount();
    cur_ = n == 0 ? -1 : std::min(gone, n - 1);
    eof_ = bof_ = n == 0;
    notifyRemoved(gone);
    doAfterScroll();
    return true;
}

void DataSet::noteStored(qint64 key)
{
    Storage& st = *store_;
    if (st.countPending)
        ++st.storedMeanwhile;
    if (st.loading)
        st.seenHere.insert(key);
}

void DataSet::noteRemoved(qint64 key)
{
    Storage& st = *store_;
    if (st.countPending) {
        if (st.limitKey && key > *st.limitKey)
            --st.storedMeanwhile;  // stored here after the open
        else
            ++st.removedMeanwhile;
    }
    if (st.loading)
        st.seenHere.insert(key);
}

// --- notifications ----------------------------------------------------------

void DataSet::disableControls() { ++disabled_; }

void DataSet::enableControls()
{
    if (disabled_ > 0 && --disabled_ == 0) {
        if (pendingLayout_)
            emit layoutChanged();
        if (pendingLayout_ || pendingRecord_)
            emit recordChanged();
        pendingLayout_ = pendingRecord_ = false;
    }
}

void DataSet::notifyLayout()
{
    if (disabled_) {
        pendingLayout_ = true;
        return;
    }
    emit layoutChanged();
}

void DataSet::notifyRecord()
{
    if (disabled_) {
        pendingRecord_ = true;
        return;
    }
    emit recordChanged();
}

void DataSet::notifyRow(int r)
{
    if (r < 0)
        return;
    if (disabled_) {
        pendingRecord_ = true;
        return;
    }
    emit rowChanged(r);
}

void DataSet::notifyInserted(int r)
{
    if (disabled_) {
        pendingLayout_ = true;
        return;
    }
    emit rowInserted(r);
}

void DataSet::notifyRemoved(int r)
{
    if (disabled_) {
        pendingLayout_ = true;
        return;
    }
    emit rowRemoved(r);
}
