#include "db/dataset.h"

#include "app/statementtext.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "app/errorreport.h"
#include "db/connection.h"
#include "db/keylist.h"
#include "db/rowcache.h"

namespace {

// Numbers the opens, so that held-back open events run in the order of the opens.
int nextOpening()
{
    static int openings = 0;
    return ++openings;
}

QString quoteIdent(const QString& name) { return quotedIdentifier(name); }

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

DbError queryError(const QSqlQuery& q)
{
    QString text = q.lastError().databaseText();
    if (text.isEmpty())
        text = q.lastError().text();
    return DbError(text);
}

}  // namespace

// A count run on a connection of its own.
struct DataSet::CountJob {
    std::thread thread;
    qint64 count = -1;  // -1: failed
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
    if (store_ && store_->countJob && store_->countJob->thread.joinable())
        store_->countJob->thread.join();
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
        throw DbError(QStringLiteral("%1: Cannot perform this operation on a closed dataset").arg(name_));
}

void DataSet::requireEditing() const
{
    if (state_ != State::Edit && state_ != State::Insert)
        throw DbError(QStringLiteral("%1: Dataset not in edit or insert mode").arg(name_));
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
    if (Connection::isBusy(q.lastError()))
        return DbError(QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍后再试。\n%1")
                           .arg(q.lastError().databaseText()));
    return queryError(q);
}

void DataSet::open()
{
    if (isActive())
        return;
    if (!connection_)
        throw DbError(QStringLiteral("%1: Missing Connection or ConnectionString").arg(name_));
    connection_->open();
    QSqlDatabase db = connection_->database();
    auto store = std::make_unique<Storage>(maxPages_);

    // Column names without reading a row: the engine stops before the first.
    QSqlQuery head(db);
    head.setForwardOnly(true);
    if (!run(head, QStringLiteral("select * from (\r\n%1\r\n) limit 0").arg(sql_))) {
        if (Connection::isBusy(head.lastError()))
            throw failure(head);
        // Not something that can be wrapped: run it as it is.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!run(q, sql_))
            throw failure(q);
        if (!q.isSelect())
            throw DbError(QStringLiteral("%1: CommandText does not return a result set").arg(name_));
        head = std::move(q);
    }
    QStringList fields;
    const QSqlRecord rec = head.record();
    for (int i = 0; i < rec.count(); ++i)
        fields << rec.fieldName(i);
    head.finish();

    int keyField = -1;
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0) {
            keyField = i;
            break;
        }

    if (keyField >= 0) {
        store->keyField = keyField;
        store->keyName = quoteIdent(fields[keyField]);
        QString base;
        const auto order = orderByKey(sql_, fields[keyField], &base);
        if (order != Storage::Order::None) {
            // Ordered by the key: the first keys now, the rest as rows are
            // needed, read from whichever end is nearer.  A longer list is
            // counted on a connection of its own while the window goes on.
            const QString dir = order == Storage::Order::Descending ? QStringLiteral("desc") : QStringLiteral("asc");
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (run(q, QStringLiteral("select %1 from (\r\n%2\r\n) order by %1 %3 limit %4")
                           .arg(store->keyName, base, dir)
                           .arg(kFirstKeys + 1))) {
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
                    if (!run(top, QStringLiteral("select %1 from (\r\n%2\r\n) order by %1 desc limit 1")
                                      .arg(store->keyName, base)) ||
                        !top.next())
                        throw failure(top);
                    store->limitKey = top.value(0).toLongLong();
                }
                store->keys.resetKnown(std::move(first));
                store->countPending = more;
            } else if (Connection::isBusy(q.lastError())) {
                throw failure(q);
            }
        }
        if (!store->keyed) {
            // Any other order: every key now (one pass, like a count).
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (run(q, QStringLiteral("select %1 from (\r\n%2\r\n)").arg(store->keyName, sql_))) {
                std::vector<qint64> keys = readKeys(q);
                store->keyed = true;
                store->base = sql_;
                store->keys.resetKnown(std::move(keys));
            } else if (Connection::isBusy(q.lastError())) {
                throw failure(q);
            }
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
    opened();
}

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
    if (store_->countPending) {
        // The open's events report the count: they run when it is known.
        notifyRecord();
        return;
    }
    if (afterOpen_)
        afterOpen_(*this);
    doAfterScroll();
}

void DataSet::startCount()
{
    auto job = std::make_shared<CountJob>();
    store_->countJob = job;
    const QString file = connection_->database().databaseName();
    const QString sql = QStringLiteral("select count(*) from (\r\n%1\r\n)").arg(store_->base);
    const int generation = generation_;
    DataSet* self = this;  // waits for the thread before it goes
    job->thread = std::thread([job, file, sql, self, generation] {
        const QString name = QStringLiteral("count_") + QUuid::createUuid().toString(QUuid::Id128);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1")
                                     .arg(Connection::kBusyTimeoutMs));
            if (db.open()) {
                QSqlQuery q(db);
                q.setForwardOnly(true);
                if (q.exec(sql) && q.next())
                    job->count = q.value(0).toLongLong();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        QMetaObject::invokeMethod(
            self, [self, generation] { self->countArrived(generation); }, Qt::QueuedConnection);
    });
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
    auto* self = const_cast<DataSet*>(this);
    // The open's events, held back until now, in the order of the opens.
    if (connection_)
        connection_->finishCountsBefore(openedAs_);
    if (self->afterOpen_)
        self->afterOpen_(*self);
    self->doAfterScroll();
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
    if (count < 0) {
        // The count's own connection failed: count here instead.
        QSqlQuery q(connection_->database());
        q.setForwardOnly(true);
        if (run(q, QStringLiteral("select count(*) from (\r\n%1\r\n)").arg(st.base)) && q.next())
            count = q.value(0).toLongLong();
        else
            self->reportLater(failure(q).message());
    }
    const int known = st.keys.size();
    if (count > known) {
        st.keys.setCount(int(count));
        if (!announce)
            return;
        if (self->disabled_)
            self->pendingLayout_ = true;
        else
            emit self->rowsAppended(known, int(count) - known);
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
        errorreport::report(QStringLiteral("当前记录的修改没有保存（已保留在卡片上）：%1")
                                .arg(QString::fromUtf8(e.what())));
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
    if (store_ && store_->countJob && store_->countJob->thread.joinable())
        store_->countJob->thread.join();
    ++generation_;
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
            QStringLiteral("select %1 from (\r\n%2\r\n)%3 order by %1 %4 limit %5")
                .arg(st.keyName, st.base,
                     where.isEmpty() ? QString() : QStringLiteral(" where ") + where.join(QStringLiteral(" and ")),
                     descending ? QStringLiteral("desc") : QStringLiteral("asc"))
                .arg(want);
        QSqlQuery q(connection_->database());
        q.setForwardOnly(true);
        if (!run(q, sql)) {
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
            *error = QStringLiteral("%1: 记录已被其他程序删除，请重新打开列表。").arg(name_);
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
        const QString sql = QStringLiteral("select * from (\r\n%1\r\n) where %2 in (%3)")
                                .arg(st.base, st.keyName, ids.join(QLatin1Char(',')));
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
        if (!run(q, QStringLiteral("select * from %1 where %2 in (%3)")
                        .arg(quoteIdent(st.baseTable), st.keyName, missing.join(QLatin1Char(','))))) {
            if (Connection::isBusy(q.lastError()))
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
    if (afterScroll_)
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
    bof_ = true;
    eof_ = recordCount() == 0;
    scrollTo(recordCount() > 0 ? 0 : -1);
}

void DataSet::last()
{
    checkBrowseMode();
    eof_ = true;
    bof_ = recordCount() == 0;
    scrollTo(recordCount() - 1);
}

void DataSet::moveBy(int distance)
{
    checkBrowseMode();
    if ((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0)
        return;
    const int n = recordCount();
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
    const int n = recordCount();
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
    enterInsert(recordCount());
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
    if (recordCount() == 0) {
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
        const int n = recordCount();
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
    connection_->finishCounts();
    Storage& st = *store_;
    QSqlDatabase db = connection_->database();
    if (st.baseTable.isEmpty())
        throw DbError(QStringLiteral("%1: 当前数据集不能更新").arg(name_));
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
    const QString sql = cols.isEmpty()
                            ? QStringLiteral("insert into %1 default values").arg(quoteIdent(st.baseTable))
                            : QStringLiteral("insert into %1 (%2) values (%3)")
                                  .arg(quoteIdent(st.baseTable), cols.join(QLatin1Char(',')),
                                       marks.join(QLatin1Char(',')));
    if (!q.prepare(sql))
        throw failure(q);
    for (const QVariant& v : vals)
        q.addBindValue(v);
    if (!run(q))
        throw failure(q);

    const int pos = insertPos_;
    if (st.keyed) {
        const qint64 id = q.lastInsertId().toLongLong();
        st.keys.insert(pos, id);
        st.cache.invalidateFrom(pos);
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
        throw DbError(QStringLiteral("%1: 当前数据集不能更新").arg(name_));
    connection_->finishCounts();
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
        if (!q.prepare(QStringLiteral("update %1 set %2 where %3 = ?")
                           .arg(quoteIdent(st.baseTable), sets.join(QStringLiteral(", ")), st.keyName)))
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
    if (recordCount() == 0)
        throw DbError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    if (beforeDelete_ && !beforeDelete_(*this))
        return false;
    Storage& st = *store_;
    if (!st.keyed || st.baseTable.isEmpty())
        throw DbError(QStringLiteral("%1: 当前数据集不能更新").arg(name_));
    QString error;
    if (!loadKeys(cur_, &error))
        throw DbError(error);
    connection_->finishCounts();
    QSqlQuery q(connection_->database());
    if (!q.prepare(QStringLiteral("delete from %1 where %2 = ?").arg(quoteIdent(st.baseTable), st.keyName)))
        throw failure(q);
    q.addBindValue(st.keys.at(cur_));
    if (!run(q))
        throw failure(q);
    // An edit in progress goes with the record.
    buffer_.clear();
    modified_ = false;
    setState(State::Browse);
    const int gone = cur_;
    st.keys.remove(gone);
    st.cache.invalidateFrom(gone);
    const int n = recordCount();
    cur_ = n == 0 ? -1 : std::min(gone, n - 1);
    eof_ = bof_ = n == 0;
    notifyRemoved(gone);
    doAfterScroll();
    return true;
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
