// The rows a grid paints: what is at hand at once, the rest read in the
// background while the window goes on.
//
// One read at a time, the latest page painted first: a stretch of keys
// toward it where they are not known yet, then its rows by key.  What comes
// back is taken only where it still fits: the list not reopened, the keys
// still those the read was made for, and no record stored, deleted or read
// anew meanwhile (rows read before that may be older than those kept).

#include "data/dataset/dataset.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"

namespace {

// A statement on the reader's connection; false when it failed.
bool runOn(QSqlQuery& q, const BoundStatement& statement)
{
    if (!q.prepare(statement.sql))
        return false;
    for (const QVariant& v : statement.values)
        q.addBindValue(v);
    return q.exec();
}

QString failureOf(const QSqlDatabase& db, const QSqlQuery& q)
{
    const QSqlError e = db.isOpen() ? q.lastError() : db.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

struct KeysRead {
    std::vector<qint64> keys;
    QString error;
    bool ok = false;
};

struct RowsRead {
    QVector<QVector<QVariant>> rows;
    QString error;
    bool ok = false;
};

}  // namespace

bool DataSet::rowAtHand(int r) const
{
    if (!isActive() || isInsertRow(r))
        return isActive();
    if (state_ == State::Insert && r > insertPos_)
        --r;
    const DataSetRows& st = *store_;
    return !st.keyed() || r < 0 || r >= st.count() || st.cache.contains(r);
}

QVariant DataSet::shownValue(int r, int field) const
{
    if (!isActive() || field < 0 || field >= fields_.size())
        return {};
    if (QVariant edited; editedValue(&r, field, &edited))
        return edited;
    DataSetRows& st = *store_;
    if (r < 0 || r >= st.count())
        return {};
    if (!st.keyed())
        return st.rows[r].value(field);
    if (auto hit = st.cache.find(r))
        return hit->value(field);
    const int page = st.cache.pageOf(r);
    // A page whose read failed a moment ago shows nothing for a while.
    if (page != st.failedPage || !st.failedAt.isValid() || st.failedAt.elapsed() >= 2000)
        const_cast<DataSet*>(this)->wantPage(page);
    return {};
}

void DataSet::wantPage(int page)
{
    std::deque<int>& wanted = store_->wanted;
    if (!wanted.empty() && wanted.back() == page)
        return;
    dropWanted(page);
    wanted.push_back(page);
    while (int(wanted.size()) > kWantedPages)
        wanted.pop_front();
    readWanted();
}

void DataSet::dropWanted(int page)
{
    std::deque<int>& wanted = store_->wanted;
    wanted.erase(std::remove(wanted.begin(), wanted.end(), page), wanted.end());
}

void DataSet::readWanted()
{
    if (!store_ || !store_->keyed() || !connection_ || (store_->reader && store_->reader->busy()))
        return;
    DataSetRows& st = *store_;
    while (!st.wanted.empty()) {
        const int page = st.wanted.back();
        const int from = st.cache.firstRowOf(page);
        const int to = std::min(from + st.cache.pageSize(), st.count());
        if (from >= to || st.cache.contains(from)) {
            st.wanted.pop_back();
            continue;
        }
        if (!st.reader)
            st.reader = std::make_unique<RowReader>(connection_->sharedEngine(), connection_->location(), this);
        // The rows of the page whose keys are not known yet lie between
        // those known from either end.
        const KeyList& keys = st.keys();
        const int unknownFrom = std::max(from, keys.frontKnown());
        const int unknownTo = std::min(to, keys.size() - keys.backKnown());
        if (unknownFrom < unknownTo)
            readKeysToward(page, unknownFrom);
        else
            readPage(page, from, to);
        return;
    }
}

void DataSet::readKeysToward(int page, int row)
{
    const KeyPaging::KeyStep step = store_->paging->stepToward(row, kKeysPerRead);
    auto got = std::make_shared<KeysRead>();
    const int generation = generation_;
    store_->reader->start(
        [step, got](QSqlDatabase& db) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!runOn(q, step.statement)) {
                got->error = failureOf(db, q);
                return;
            }
            while (int(got->keys.size()) < step.want && q.next())
                got->keys.push_back(q.value(0).toLongLong());
            got->ok = !q.lastError().isValid();
            if (!got->ok)
                got->error = failureOf(db, q);
        },
        [this, step, got, page, generation] {
            if (generation != generation_ || !store_)
                return;
            if (got->ok && got->keys.empty())
                got->error = name_ + QStringLiteral(": 记录已被其他程序删除，请重新打开列表。");
            if (!got->error.isEmpty())
                pageFailed(page, got->error);
            else
                store_->paging->takeStep(step, got->keys);  // nothing taken when keys came meanwhile
            readWanted();
        });
}

void DataSet::readPage(int page, int from, int to)
{
    DataSetRows& st = *store_;
    const KeyPaging::RowsByKey what = st.paging->rowsByKey(from, to, fields_, st.keyField, st.baseTable);
    const int changes = st.cache.changes();
    auto got = std::make_shared<RowsRead>();
    const int generation = generation_;
    st.reader->start(
        [what, got](QSqlDatabase& db) {
            got->ok = KeyPaging::readRowsByKey(
                db, what, runOn, [&db](const QSqlQuery& q) { return failureOf(db, q); }, &got->rows, &got->error);
        },
        [this, what, got, page, from, changes, generation] {
            if (generation != generation_ || !store_)
                return;
            DataSetRows& st = *store_;
            if (!got->ok) {
                pageFailed(page, got->error);
            } else if (st.cache.contains(from)) {
                // Read meanwhile on the window's connection: that is as new.
                dropWanted(page);
            } else if (st.cache.changes() == changes && from + what.keys.size() <= st.count()) {
                bool same = true;
                for (int i = 0; same && i < what.keys.size(); ++i)
                    same = st.keys().isKnown(from + i) && st.keys().at(from + i) == what.keys[i];
                if (same) {
                    const int to = from + int(what.keys.size());
                    st.cache.putPage(page, std::move(got->rows));
                    if (st.failedPage == page)
                        st.failedPage = -1;
                    dropWanted(page);
                    announceRead(from, to);
                }
            }
            // Rows that no longer fit stay wanted: read again as they are now.
            readWanted();
        });
}

void DataSet::pageFailed(int page, const QString& error)
{
    DataSetRows& st = *store_;
    st.failedPage = page;
    st.failedAt.start();
    failedText_ = error;
    dropWanted(page);
    reportLater(error);
}

void DataSet::announceRead(int from, int to)
{
    // Grid rows: a new record standing among them is a row of its own.
    if (state_ == State::Insert) {
        if (insertPos_ <= from) {
            ++from;
            ++to;
        } else if (insertPos_ < to) {
            ++to;
        }
    }
    emit rowsRead(from, to - from);
}
