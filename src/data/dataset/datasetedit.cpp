// Moving through a data set, and editing and storing its records.

#include "data/dataset/dataset.h"

#include <QSqlQuery>
#include <algorithm>
#include <climits>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"
#include "rules/statements/statementtext.h"

void DataSet::checkBrowseMode()
{
    requireActive();
    if (state_ == State::Edit || state_ == State::Insert) {
        if (edit_.modified())
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
    if (store_ && store_->keyed() && cur_ >= 0) {
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
    const int n = waitForCount();
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
        const bool storing = edit_.modified();
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
    edit_.startEmpty(int(fields_.size()));
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
    if (cur_ >= 0 && store_->keyed()) {
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
    if (store_->keyed())
        store_->failedPage = -1;  // an edit always tries the read again
    edit_.start(row(cur_));
    setState(State::Edit);
    notifyRecord();
}

void DataSet::cancel()
{
    requireActive();
    if (state_ == State::Edit) {
        edit_.clear();
        setState(State::Browse);
        notifyRow(cur_);
        notifyRecord();
    } else if (state_ == State::Insert) {
        const int pos = insertPos_;
        edit_.clear();
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
    if (state_ == State::Insert) {
        // A new record with nothing in it (a letter typed and erased, then
        // the tab changed or a call came) is no record: dropped, not stored.
        if (insertIsBlank())
            cancel();
        else
            storeInsert();
    } else if (state_ == State::Edit) {
        storeEdit();
    }
}

bool DataSet::insertIsBlank() const
{
    const int key = store_ ? store_->keyField : -1;
    const QVector<QVariant>& values = edit_.values();
    for (int f = 0; f < values.size(); ++f)
        if (f != key && !values[f].isNull() && !values[f].toString().trimmed().isEmpty())
            return false;
    return true;
}

void DataSet::storeInsert()
{
    // A count or background read of this list or another goes on beside
    // the store: each reads the database as it was when it began.
    DataSetRows& st = *store_;
    QSqlDatabase db = connection_->database();
    if (st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    st.readBaseColumns(db);
    const EditBuffer::Statement insert =
        edit_.insertStatement(st.baseTable, fields_, st.baseColumns, st.keyed() ? st.keyField : -1);
    QSqlQuery q(db);
    const DatabaseEngine& engine = connection_->engine();
    if (!q.prepare(st.keyed() ? engine.insertGivingKey(insert.sql, fields_[st.keyField]) : insert.sql))
        throw connection_->failure(q);
    for (const QVariant& v : insert.values)
        q.addBindValue(v);
    if (!connection_->run(q))
        throw connection_->failure(q);

    const int pos = insertPos_;
    if (st.keyed()) {
        const qint64 id = engine.newKey(q).toLongLong();
        if (st.openEnded() && pos == st.keys().size())
            st.keys().appendBack(id);  // the last row, after those still to come
        else
            st.keys().insert(pos, id);
        st.cache.invalidateFrom(pos);
        noteStored(id);
    } else {
        st.rows.insert(pos, edit_.values());
    }
    edit_.clear();
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
    DataSetRows& st = *store_;
    if (!edit_.modified()) {
        edit_.clear();
        setState(State::Browse);
        notifyRecord();
        return;
    }
    if (!st.keyed() || st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    QSqlDatabase db = connection_->database();
    st.readBaseColumns(db);
    const EditBuffer::Statement update =
        edit_.updateStatement(st.baseTable, fields_, st.baseColumns, st.keyField, st.keys().at(cur_));
    if (!update.sql.isEmpty())
        storeUnlessChanged(st, update);  // datasetconflict.cpp
    // Keep the stored values in the fetched page.
    st.cache.update(cur_, edit_.values());
    edit_.clear();
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
    DataSetRows& st = *store_;
    if (!st.keyed() || st.baseTable.isEmpty())
        throw DbError(name_ + QStringLiteral(": 当前数据集不能更新"));
    QString error;
    if (!loadKeys(cur_, &error))
        throw DbError(error);
    QSqlQuery q(connection_->database());
    if (!q.prepare(QStringLiteral("delete from ") + quotedIdentifier(st.baseTable) + QStringLiteral(" where ") +
                   st.paging->keyName() + QStringLiteral(" = ?")))
        throw connection_->failure(q);
    const qint64 key = st.keys().at(cur_);
    q.addBindValue(key);
    const auto run = [&] { return connection_->run(q); };
    // A row of the list as it was opened, deleted while the list is
    // counted: the count hears of it and counts it once.
    const bool counted = st.counting && !st.isNewer(key);
    if (!(counted ? st.counting->removing(key, run) : run()))
        throw connection_->failure(q);
    // An edit in progress goes with the record.
    edit_.clear();
    setState(State::Browse);
    const int gone = cur_;
    st.keys().remove(gone);
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
    DataSetRows& st = *store_;
    if (st.isNewer(key))
        st.newer.insert(key);
    if (st.countPending)
        ++st.storedMeanwhile;
    if (st.loading)
        st.seenHere.insert(key);
}

void DataSet::noteRemoved(qint64 key)
{
    DataSetRows& st = *store_;
    if (st.isNewer(key))
        st.newer.insert(key);
    // Stored here after the open; the count leaves out the others itself.
    if (st.countPending && st.isNewer(key))
        --st.storedMeanwhile;
    if (st.loading)
        st.seenHere.insert(key);
}

