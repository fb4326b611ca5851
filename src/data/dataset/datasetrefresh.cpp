// Reading a list anew while the program shows it.

#include "data/dataset/dataset.h"

#include <QSqlQuery>
#include <limits>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"

namespace {
// How far a record may have moved down (rows stored above it meanwhile)
// and still be found again.
constexpr int kMovedAtMost = 200;
}  // namespace

bool DataSet::refresh()
{
    if (state() != State::Browse)
        return false;
    if (takeInNewerRows())
        return true;
    const int key = findField(QStringLiteral("ID"));
    const int row = currentRow();
    const QVariant was = key >= 0 && row >= 0 ? rowValue(row, key) : QVariant();
    close();
    open();
    if (was.isNull())
        return true;
    const int last = std::min(rowCount(), row + kMovedAtMost + 1);
    for (int r = std::max(0, row - kMovedAtMost); r < last; ++r)
        if (rowValue(r, key) == was) {
            if (r != currentRow())
                moveTo(r);
            break;
        }
    return true;
}

// The rows of the statement stored since the list opened (keys above its
// highest then) that it does not hold yet, each put where the key order
// puts it: the current record stays current.  False when the list is not
// one that can be brought up to date this way.
bool DataSet::takeInNewerRows()
{
    if (!store_ || !store_->keyed() || store_->loading)
        return false;
    DataSetRows& st = *store_;
    KeyPaging& paging = *st.paging;
    if (paging.order() == KeyPaging::Order::None)
        return false;
    const qint64 after = paging.limitKey().value_or(std::numeric_limits<qint64>::min());
    const QString key = paging.keyName();
    BoundStatement newer = nestedStatement(QStringLiteral("select ") + key + QStringLiteral(" from "), paging.base(),
                                           QStringLiteral(" where ") + key + QStringLiteral(" > ? order by ") + key);
    newer.values << after;
    QSqlQuery q(connection_->database());
    q.setForwardOnly(true);
    if (!connection_->run(q, newer))
        throw connection_->failure(q);
    std::vector<qint64> found;
    while (q.next())
        if (const qint64 k = q.value(0).toLongLong(); !st.newer.contains(k))
            found.push_back(k);
    q.finish();
    const bool descending = paging.order() == KeyPaging::Order::Descending;
    KeyList& keys = st.keys();
    for (qint64 k : found) {
        // Descending: below the newer rows above it at the top; ascending:
        // after the rows below it at the end.
        int r = 0;
        if (descending) {
            while (r < keys.frontKnown() && keys.at(r) > k)
                ++r;
        } else {
            r = keys.size();
            while (keys.size() - r < keys.backKnown() && keys.at(r - 1) > k)
                --r;
        }
        keys.insert(r, k);
        st.newer.insert(k);
        if (st.countPending)
            ++st.storedMeanwhile;
        st.cache.invalidateFrom(r);
        if (cur_ >= r)
            ++cur_;
        notifyInserted(r);
    }
    if (found.empty())
        return true;
    if (cur_ < 0) {
        // A list that was empty: its first row is current.
        cur_ = 0;
        eof_ = bof_ = false;
    }
    notifyRecord();
    return true;
}
