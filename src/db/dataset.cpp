#include "db/dataset.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <list>
#include <vector>

#include "app/errorreport.h"
#include "db/connection.h"

namespace {

QString quoteIdent(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
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

DbError queryError(const QSqlQuery& q)
{
    QString text = q.lastError().databaseText();
    if (text.isEmpty())
        text = q.lastError().text();
    return DbError(text);
}

}  // namespace

// Where the rows of an open data set live.
struct DataSet::Storage {
    bool keyed = false;
    int keyField = -1;
    std::vector<qint64> keys;          // keyed: the key of every row, in order
    QVector<QVector<QVariant>> rows;   // not keyed: every row
    // keyed: pages of fetched rows, least recently used first
    mutable QHash<int, QVector<QVector<QVariant>>> pages;
    mutable std::list<int> lru;
    QString baseTable;
    mutable QStringList baseColumns;  // lower case; read at the first store
    mutable bool baseColumnsRead = false;

    int count() const { return keyed ? int(keys.size()) : int(rows.size()); }
    void readBaseColumns(const QSqlDatabase& db)
    {
        if (baseColumnsRead)
            return;
        const QSqlRecord rec = db.record(baseTable);
        for (int i = 0; i < rec.count(); ++i)
            baseColumns << rec.fieldName(i).toLower();
        baseColumnsRead = true;
    }
    void dropPages()
    {
        pages.clear();
        lru.clear();
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
    if (connection_)
        connection_->detach(this);
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

void DataSet::open()
{
    if (isActive())
        return;
    if (!connection_)
        throw DbError(QStringLiteral("%1: Missing Connection or ConnectionString").arg(name_));
    connection_->open();
    QSqlDatabase db = connection_->database();
    auto store = std::make_unique<Storage>();

    // Column names without reading a row: the engine stops before the first.
    QSqlQuery head(db);
    head.setForwardOnly(true);
    if (!head.exec(QStringLiteral("select * from (\r\n%1\r\n) limit 0").arg(sql_))) {
        // Not something that can be wrapped: run it as it is.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql_))
            throw queryError(q);
        if (!q.isSelect())
            throw DbError(QStringLiteral("%1: CommandText does not return a result set").arg(name_));
        head = q;
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
        // Only the keys are read now; rows are fetched a page at a time.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (q.exec(QStringLiteral("select %1 from (\r\n%2\r\n)").arg(quoteIdent(fields[keyField]), sql_))) {
            store->keyed = true;
            store->keyField = keyField;
            while (q.next())
                store->keys.push_back(q.value(0).toLongLong());
        }
    }
    if (!store->keyed) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(sql_))
            throw queryError(q);
        const int n = int(fields.size());
        while (q.next()) {
            QVector<QVariant> r(n);
            for (int i = 0; i < n; ++i)
                r[i] = q.value(i);
            store->rows.append(std::move(r));
        }
    }
    store->baseTable = baseTableOf(sql_);

    store_ = std::move(store);
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
    sql_ = sql;
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
    from.store_ = std::make_unique<Storage>();
    from.close();
    opened();
    return true;
}

void DataSet::close()
{
    if (!isActive())
        return;
    state_ = State::Inactive;
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

const QVector<QVariant>& DataSet::row(int index) const
{
    static const QVector<QVariant> none;
    if (!store_ || index < 0 || index >= store_->count())
        return none;
    if (!store_->keyed)
        return store_->rows[index];

    Storage& st = *store_;
    const int page = index / kPageSize;
    auto it = st.pages.find(page);
    if (it != st.pages.end()) {
        st.lru.remove(page);
        st.lru.push_back(page);
        return it.value()[index - page * kPageSize];
    }

    const int from = page * kPageSize;
    const int to = std::min(from + kPageSize, st.count());
    const int n = int(fields_.size());
    QHash<qint64, QVector<QVariant>> got;
    QStringList ids;
    for (int i = from; i < to; ++i)
        ids << QString::number(st.keys[i]);
    QSqlDatabase db = connection_->database();
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        const QString sql = QStringLiteral("select * from (\r\n%1\r\n) where %2 in (%3)")
                                .arg(sql_, quoteIdent(fields_[st.keyField]), ids.join(QLatin1Char(',')));
        if (q.exec(sql)) {
            while (q.next()) {
                QVector<QVariant> r(n);
                for (int i = 0; i < n; ++i)
                    r[i] = q.value(i);
                got.insert(r[st.keyField].toLongLong(), std::move(r));
            }
        }
    }
    if (got.size() < to - from && !st.baseTable.isEmpty()) {
        // Records stored through this data set that its statement does not
        // select (a call appended to a filtered list): read them by key.
        QStringList missing;
        for (int i = from; i < to; ++i)
            if (!got.contains(st.keys[i]))
                missing << QString::number(st.keys[i]);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (q.exec(QStringLiteral("select * from %1 where %2 in (%3)")
                       .arg(quoteIdent(st.baseTable), quoteIdent(fields_[st.keyField]),
                            missing.join(QLatin1Char(','))))) {
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
        }
    }
    QVector<QVector<QVariant>> rows;
    rows.reserve(to - from);
    for (int i = from; i < to; ++i) {
        auto g = got.find(st.keys[i]);
        if (g != got.end()) {
            rows.append(g.value());
        } else {
            QVector<QVariant> r(n);
            r[st.keyField] = st.keys[i];
            rows.append(r);
        }
    }
    while (int(st.lru.size()) >= std::max(1, maxPages_)) {
        st.pages.remove(st.lru.front());
        st.lru.pop_front();
    }
    st.lru.push_back(page);
    return st.pages.insert(page, std::move(rows)).value()[index - from];
}

int DataSet::recordCount() const { return store_ ? store_->count() : 0; }

int DataSet::recNo() const
{
    if (!isActive() || state_ == State::Insert || cur_ < 0)
        return -1;
    return cur_ + 1;
}

int DataSet::rowCount() const
{
    return recordCount() + (state_ == State::Insert ? 1 : 0);
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
    return row(r).value(field);
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
        throw queryError(q);
    for (const QVariant& v : vals)
        q.addBindValue(v);
    if (!q.exec())
        throw queryError(q);

    const int pos = insertPos_;
    if (st.keyed) {
        const qint64 id = q.lastInsertId().toLongLong();
        st.keys.insert(st.keys.begin() + pos, id);
        st.dropPages();
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
                           .arg(quoteIdent(st.baseTable), sets.join(QStringLiteral(", ")),
                                quoteIdent(fields_[st.keyField]))))
            throw queryError(q);
        for (const QVariant& v : vals)
            q.addBindValue(v);
        q.addBindValue(st.keys[cur_]);
        if (!q.exec())
            throw queryError(q);
    }
    // Keep the stored values in the fetched page.
    const int page = cur_ / kPageSize;
    auto it = st.pages.find(page);
    if (it != st.pages.end())
        it.value()[cur_ - page * kPageSize] = buffer_;
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
    QSqlQuery q(connection_->database());
    if (!q.prepare(QStringLiteral("delete from %1 where %2 = ?")
                       .arg(quoteIdent(st.baseTable), quoteIdent(fields_[st.keyField]))))
        throw queryError(q);
    q.addBindValue(st.keys[cur_]);
    if (!q.exec())
        throw queryError(q);
    // An edit in progress goes with the record.
    buffer_.clear();
    modified_ = false;
    setState(State::Browse);
    const int gone = cur_;
    st.keys.erase(st.keys.begin() + gone);
    st.dropPages();
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
