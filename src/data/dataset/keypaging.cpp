#include "data/dataset/keypaging.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <limits>

#include "data/connection/connection.h"
#include "rules/statements/statementtext.h"

// Named, as every engine but SQLite wants a nested statement to be.
QString nestedStatement(const QString& sql) { return QStringLiteral("(\r\n") + sql + QStringLiteral("\r\n) as 行"); }

BoundStatement nestedStatement(const QString& head, const BoundStatement& st, const QString& tail)
{
    return {head + nestedStatement(st.sql) + tail, st.values};
}

namespace {

// The first column to the end; throws on a failed read.
std::vector<qint64> readKeys(Connection& connection, QSqlQuery& q)
{
    std::vector<qint64> keys;
    while (q.next())
        keys.push_back(q.value(0).toLongLong());
    if (q.lastError().isValid())
        throw connection.failure(q);
    return keys;
}

// " where <key> in (<keys>)"
QString whereKeyIn(const QString& keyName, const QList<qint64>& keys)
{
    QStringList ids;
    for (qint64 k : keys)
        ids << QString::number(k);
    return QStringLiteral(" where ") + keyName + QStringLiteral(" in (") + ids.join(QLatin1Char(',')) +
           QLatin1Char(')');
}

}  // namespace

KeyPaging::KeyPaging(Connection& connection, const QString& keyName, const BoundStatement& base, Order order)
    : connection_(connection), keyName_(keyName), base_(base), order_(order)
{
}

bool KeyPaging::readFirst(int n, bool* more, QSqlQuery* failed)
{
    const DatabaseEngine& engine = connection_.engine();
    const bool descending = order_ == Order::Descending;
    const QString keys = QStringLiteral("select ") + keyName_ + QStringLiteral(" from ") +
                         nestedStatement(base_.sql) + QStringLiteral(" order by ") + keyName_;
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!connection_.run(q, {engine.limited(keys + (descending ? QStringLiteral(" desc") : QStringLiteral(" asc")),
                                            n + 1),
                             base_.values})) {
        *failed = std::move(q);
        return false;
    }
    std::vector<qint64> first = readKeys(connection_, q);
    *more = int(first.size()) > n;
    if (*more)
        first.pop_back();
    if (!first.empty()) {
        frontCursor_ = first.back();
        limitKey_ = descending ? first.front() : first.back();
    }
    if (*more && !descending) {
        QSqlQuery top(connection_.database());
        top.setForwardOnly(true);
        if (!connection_.run(top, {engine.limited(keys + QStringLiteral(" desc"), 1), base_.values}) || !top.next())
            throw connection_.failure(top);
        limitKey_ = top.value(0).toLongLong();
    }
    keys_.resetKnown(std::move(first));
    return true;
}

bool KeyPaging::load(int index, const QString& name, QString* error)
{
    while (!keys_.isKnown(index)) {
        // From the nearer end, a good stretch at a time.
        const int fromFront = index - keys_.frontKnown() + 1;
        const int fromBack = keys_.size() - keys_.backKnown() - index;
        const bool front = fromFront <= fromBack;
        const int want = std::min(keys_.unknown(), std::max(front ? fromFront : fromBack, 2000));
        // Front rows come in the statement's order, back rows in reverse.
        const bool descending = (order_ == Order::Descending) == front;
        const auto& near = front ? frontCursor_ : backCursor_;
        const auto& far = front ? backCursor_ : frontCursor_;
        QStringList where;
        if (near)
            where << keyName_ + (descending ? QStringLiteral(" < ") : QStringLiteral(" > ")) + QString::number(*near);
        if (far)
            where << keyName_ + (descending ? QStringLiteral(" > ") : QStringLiteral(" < ")) + QString::number(*far);
        if (limitKey_)
            where << keyName_ + QStringLiteral(" <= ") + QString::number(*limitKey_);
        const QString sql =
            QStringLiteral("select ") + keyName_ + QStringLiteral(" from ") + nestedStatement(base_.sql) +
            (where.isEmpty() ? QString() : QStringLiteral(" where ") + where.join(QStringLiteral(" and "))) +
            QStringLiteral(" order by ") + keyName_ + (descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
        QSqlQuery q(connection_.database());
        q.setForwardOnly(true);
        if (!connection_.run(q, {connection_.engine().limited(sql, want), base_.values})) {
            *error = connection_.failure(q).message();
            return false;
        }
        int got = 0;
        while (got < want && q.next()) {
            const qint64 key = q.value(0).toLongLong();
            if (front) {
                keys_.pushFront(key);
                frontCursor_ = key;
            } else {
                keys_.pushBack(key);
                backCursor_ = key;
            }
            ++got;
        }
        if (q.lastError().isValid()) {
            *error = connection_.failure(q).message();
            return false;
        }
        if (got == 0) {
            *error = name + QStringLiteral(": 记录已被其他程序删除，请重新打开列表。");
            return false;
        }
    }
    return true;
}

BoundStatement KeyPaging::countStatement() const
{
    // The rows of the list as it was opened: those stored later (by this
    // program or another) have higher keys than its highest and are left out.
    const QString all = QStringLiteral("select count(*) from ") + nestedStatement(base_.sql);
    if (!limitKey_)
        return {all, base_.values};
    return {QStringLiteral("select (") + all + QStringLiteral(") - (select count(*) from ") +
                nestedStatement(base_.sql) + QStringLiteral(" where ") + keyName_ + QStringLiteral(" > ") +
                QString::number(*limitKey_) + QLatin1Char(')'),
            base_.values + base_.values};
}

std::optional<qint64> KeyPaging::countFromKept(qint64 kept)
{
    qint64 later = 0;
    if (limitKey_) {
        QSqlQuery q(connection_.database());
        q.setForwardOnly(true);
        const BoundStatement st =
            nestedStatement(QStringLiteral("select count(*) from "), base_,
                            QStringLiteral(" where ") + keyName_ + QStringLiteral(" > ") + QString::number(*limitKey_));
        if (!connection_.run(q, st) || !q.next())
            return std::nullopt;
        later = q.value(0).toLongLong();
    }
    const qint64 count = kept - later;
    // Fewer rows than already read: the count is not to be trusted.
    if (count < keys_.size() || count > std::numeric_limits<int>::max())
        return std::nullopt;
    return count;
}

BoundStatement KeyPaging::countNowStatement() const
{
    BoundStatement st = nestedStatement(QStringLiteral("select count(*) from "), base_);
    if (limitKey_)
        st.sql += QStringLiteral(" where ") + keyName_ + QStringLiteral(" <= ") + QString::number(*limitKey_);
    return st;
}

std::function<BoundStatement(const QList<qint64>&)> KeyPaging::amongStatement() const
{
    return [keyName = keyName_, base = base_, limit = limitKey_](const QList<qint64>& keys) {
        QString where = whereKeyIn(keyName, keys);
        if (limit)
            where += QStringLiteral(" and ") + keyName + QStringLiteral(" <= ") + QString::number(*limit);
        return nestedStatement(QStringLiteral("select count(*) from "), base, where);
    };
}

QString KeyPaging::keysIn(const QList<qint64>& keys) const { return whereKeyIn(keyName_, keys); }

bool KeyPaging::readRows(int from, int to, const QStringList& fields, int keyField, const QString& table,
                         QVector<QVector<QVariant>>* rows, QString* error)
{
    const int n = int(fields.size());
    QList<qint64> wanted;
    for (int i = from; i < to; ++i)
        wanted << keys_.at(i);
    QHash<qint64, QVector<QVariant>> got;
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!connection_.run(q, nestedStatement(QStringLiteral("select * from "), base_, keysIn(wanted)))) {
        *error = connection_.failure(q).message();
        return false;
    }
    while (q.next()) {
        QVector<QVariant> r(n);
        for (int i = 0; i < n; ++i)
            r[i] = q.value(i);
        got.insert(r[keyField].toLongLong(), std::move(r));
    }
    if (q.lastError().isValid()) {
        *error = connection_.failure(q).message();
        return false;
    }
    if (got.size() < wanted.size() && !table.isEmpty()) {
        // Records stored through this data set that its statement does not
        // select (a call appended to a filtered list): read them by key.
        QList<qint64> missing;
        for (qint64 k : wanted)
            if (!got.contains(k))
                missing << k;
        if (!readMissing(missing, fields, keyField, table, &got, error))
            return false;
    }
    rows->clear();
    rows->reserve(wanted.size());
    for (qint64 k : wanted) {
        auto g = got.find(k);
        if (g != got.end()) {
            rows->append(g.value());
        } else {
            // Gone from the table since the list was opened.
            QVector<QVariant> r(n);
            r[keyField] = k;
            rows->append(r);
        }
    }
    return true;
}

bool KeyPaging::readMissing(const QList<qint64>& missing, const QStringList& fields, int keyField,
                            const QString& table, QHash<qint64, QVector<QVariant>>* got, QString* error)
{
    const int n = int(fields.size());
    QSqlQuery q(connection_.database());
    q.setForwardOnly(true);
    if (!connection_.run(q, QStringLiteral("select * from ") + quotedIdentifier(table) + keysIn(missing))) {
        *error = connection_.failure(q).message();
        return false;
    }
    const QSqlRecord rec = q.record();
    QVector<int> map(n, -1);
    for (int i = 0; i < n; ++i)
        map[i] = rec.indexOf(fields[i]);
    while (q.next()) {
        QVector<QVariant> r(n);
        for (int i = 0; i < n; ++i)
            if (map[i] >= 0)
                r[i] = q.value(map[i]);
        got->insert(r[keyField].toLongLong(), std::move(r));
    }
    if (q.lastError().isValid()) {
        *error = connection_.failure(q).message();
        return false;
    }
    return true;
}
