#include "data/dataset/dataset.h"

#include <QMetaObject>
#include <QSqlError>
#include <QSqlQuery>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"
#include "data/dataset/statementshape.h"
#include "rules/statements/statementtext.h"

namespace {

// Numbers the opens, so that held-back open events run in the order of the opens.
int nextOpening()
{
    static int openings = 0;
    return ++openings;
}

}  // namespace

DataSet::Shape DataSet::shape() const { return query_ ? shapeOf(*query_) : shapeOf(written_); }

void DataSet::setWorkerPauses(WorkerPauses p)
{
    BackgroundCount::setPauses(std::move(p.beforeView), std::move(p.beforeCount));
    KeyRead::setPauseAfterBatch(std::move(p.afterBatch));
    RowReader::setPauses(std::move(p.beforeRows), std::move(p.afterRows));
}

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

void DataSet::setStatement(const WrittenStatement& statement)
{
    if (isActive())
        close();
    query_.reset();
    written_ = statement;
    sql_ = statement.text;
}

void DataSet::setQuery(const Query& query)
{
    if (isActive())
        close();
    query_ = query;
    written_ = {};
    sql_ = query.text();
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

// --- open, reopen, close ------------------------------------------------------

void DataSet::open()
{
    if (isActive())
        return;
    if (!connection_)
        throw DbError(name_ + QStringLiteral(": Missing Connection or ConnectionString"));
    connection_->open();
    QSqlDatabase db = connection_->database();
    auto store = std::make_unique<DataSetRows>(kPageSize, maxPages_);

    const Shape sh = shape();
    if (readAtOnce_) {
        openAtOnce(*store, sh);
        finishOpen(std::move(store), false);
        return;
    }
    // Column names without reading a row: the engine stops before the first.
    QSqlQuery head(db);
    head.setForwardOnly(true);
    const bool nests = connection_->run(
        head, {connection_->engine().limited(QStringLiteral("select * from ") + nestedStatement(sh.whole.sql), 0),
               sh.whole.values});
    if (!nests) {
        if (connection_->isBusy(head.lastError()))
            throw connection_->failure(head);
        // Not something that can be wrapped: run it as it is.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!connection_->run(q, sh.whole))
            throw connection_->failure(q);
        if (!q.isSelect())
            throw DbError(name_ + QStringLiteral(": CommandText does not return a result set"));
        head = std::move(q);
    }
    fields_.clear();
    const QSqlRecord rec = head.record();
    const DatabaseEngine& engine = connection_->engine();
    for (int i = 0; i < rec.count(); ++i)
        fields_ << engine.columnName(rec.fieldName(i));
    head.finish();

    for (int i = 0; nests && i < fields_.size() && store->keyField < 0; ++i)
        if (fields_[i].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
            store->keyField = i;
    bool readGoesOn = false;
    try {
        if (store->keyField < 0 || !openKeyed(*store, sh, fields_[store->keyField], &readGoesOn))
            readWhole(*store, sh.whole);
    } catch (...) {
        fields_.clear();
        throw;
    }
    store->baseTable = sh.table;
    finishOpen(std::move(store), readGoesOn);
}

void DataSet::finishOpen(std::unique_ptr<DataSetRows> store, bool readGoesOn)
{
    store_ = std::move(store);
    ++generation_;
    openedAs_ = nextOpening();
    if (store_->countPending)
        startCount();
    if (readGoesOn)
        followRead();
    opened();
    if (readGoesOn)
        emit loadingChanged(true);
}

bool DataSet::openKeyed(DataSetRows& st, const Shape& sh, const QString& keyField, bool* readGoesOn)
{
    const QString key = quotedIdentifier(keyField);
    if (sh.order != KeyPaging::Order::None && sh.orderColumn.compare(keyField, Qt::CaseInsensitive) == 0) {
        // Ordered by the key: the first keys now, the rest as rows are
        // needed, read from whichever end is nearer.  A longer list is
        // counted on a connection of its own while the window goes on.
        auto paging = std::make_unique<KeyPaging>(*connection_, key, sh.base, sh.order);
        bool more = false;
        QSqlQuery failed(connection_->database());
        if (paging->readFirst(kFirstKeys, &more, &failed)) {
            // A whole table whose count the database keeps needs no count.
            if (more && sh.wholeTable) {
                const std::optional<qint64> kept = connection_->keptRowCount(sh.table);
                const std::optional<qint64> count = kept ? paging->countFromKept(*kept) : std::nullopt;
                if (count) {
                    paging->keys().setCount(int(*count));
                    more = false;
                }
            }
            st.paging = std::move(paging);
            st.countPending = more;
            return true;
        }
        if (connection_->isBusy(failed.lastError()))
            throw connection_->failure(failed);
        // The list still opens, read the other way; the operator hears why
        // it is slower than it should be.
        reportLater(name_ + QStringLiteral("：按记录号读取列表失败，改为逐条读取。\n") +
                    connection_->failure(failed).message());
    }
    // Any other order: every key (one pass, like a count), the first screen
    // of them at once, the rest by long work while the window goes on.
    st.paging = std::make_unique<KeyPaging>(*connection_, key, sh.whole, KeyPaging::Order::None);
    st.read = std::make_unique<KeyRead>(
        connection_, nestedStatement(QStringLiteral("select ") + key + QStringLiteral(" from "), sh.whole), kFirstKeys,
        kFirstWaitMs);
    st.paging->takeAll(st.read->take());
    if (st.read->complete())
        st.read.reset();
    else
        st.loading = *readGoesOn = true;
    return true;
}

void DataSet::readWhole(DataSetRows& st, const BoundStatement& statement)
{
    QSqlQuery q(connection_->database());
    q.setForwardOnly(true);
    if (!connection_->run(q, statement))
        throw connection_->failure(q);
    st.rows = readRemainingRows(q, int(fields_.size()));
}

// Every row the query has still to give, `n` values each; throws when the
// read fails.
QVector<QVector<QVariant>> DataSet::readRemainingRows(QSqlQuery& q, int n) const
{
    QVector<QVector<QVariant>> rows;
    while (q.next()) {
        QVector<QVariant> r(n);
        for (int i = 0; i < n; ++i)
            r[i] = q.value(i);
        rows.append(std::move(r));
    }
    if (q.lastError().isValid())
        throw connection_->failure(q);
    return rows;
}

// The rest of the keys comes in the background, with a progress window and
// a way to stop it.
void DataSet::followRead()
{
    BackgroundWork* work = store_->read->work();
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

void DataSet::opened()
{
    cur_ = store_->count() > 0 ? 0 : -1;
    bof_ = true;
    eof_ = store_->count() == 0;
    edit_.clear();
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
bool DataSet::reopen(const WrittenStatement& statement)
{
    if (!endPendingEdit())
        return false;
    close();
    setStatement(statement);
    open();
    return true;
}

bool DataSet::reopen()
{
    if (!endPendingEdit())
        return false;
    close();
    open();
    return true;
}

bool DataSet::reopen(const Query& query)
{
    if (!endPendingEdit())
        return false;
    close();
    setQuery(query);
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
    query_ = from.query_;
    written_ = from.written_;
    fields_ = from.fields_;
    store_ = std::move(from.store_);
    // The background reads were `from`'s: they would tell it, not this one.
    store_->reader.reset();
    store_->wanted.clear();
    from.store_ = std::make_unique<DataSetRows>(kPageSize, 1);
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
    edit_.clear();
    insertPos_ = -1;
    cur_ = -1;
    eof_ = bof_ = true;
    notifyLayout();
    emit stateChanged();
    if (wasLoading)
        emit loadingChanged(false);
}

// --- fields --- ---------------------------------------------------------------

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
        return edit_.value(field);
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
    edit_.set(field, v);
    notifyRow(currentRow());
    notifyRecord();
}


// --- rows ---------------------------------------------------------------------

bool DataSet::loadKeys(int index, QString* error) const { return store_->paging->load(index, name_, error); }

bool DataSet::fetchRow(int index, QVector<QVariant>* out, QString* error) const
{
    if (!store_ || index < 0 || index >= store_->count()) {
        *out = {};
        return true;
    }
    DataSetRows& st = *store_;
    if (!st.keyed()) {
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
    QString why;
    for (int i = from; i < to; ++i)
        if (!loadKeys(i, &why))
            return failed(why);
    QVector<QVector<QVariant>> rows;
    if (!st.paging->readRows(from, to, fields_, st.keyField, st.baseTable, &rows, &why))
        return failed(why);
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
    if (!store_->keyed() || store_->cache.contains(cur_))
        return true;
    QVector<QVariant> r;
    QString error;
    return fetchRow(cur_, &r, &error);
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

bool DataSet::editedValue(int* r, int field, QVariant* value) const
{
    if (state_ == State::Insert) {
        if (*r == insertPos_) {
            *value = edit_.value(field);
            return true;
        }
        if (*r > insertPos_)
            --*r;  // the stored rows after the one being inserted
    } else if (state_ == State::Edit && *r == cur_) {
        *value = edit_.value(field);
        return true;
    }
    return false;
}

QVariant DataSet::rowValue(int r, int field) const
{
    if (!isActive() || field < 0 || field >= fields_.size())
        return {};
    if (QVariant edited; editedValue(&r, field, &edited))
        return edited;
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
