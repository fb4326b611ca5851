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

KeyPaging::KeyStep KeyPaging::stepToward(int index, int most) const
{
    KeyStep step;
    const int fromFront = index - keys_.frontKnown() + 1;
    const int fromBack = keys_.size() - keys_.backKnown() - index;
    step.front = fromFront <= fromBack;
    // A good stretch at a time.
    step.want = std::min(keys_.unknown(), std::max(step.front ? fromFront : fromBack, 2000));
    if (most > 0)
        step.want = std::min(step.want, most);
    // Front rows come in the statement's order, back rows in reverse.
    const bool descending = (order_ == Order::Descending) == step.front;
    step.near = step.front ? frontCursor_ : backCursor_;
    step.far = step.front ? backCursor_ : frontCursor_;
    QStringList where;
    if (step.near)
        where << keyName_ + (descending ? QStringLiteral(" < ") : QStringLiteral(" > ")) + QString::number(*step.near);
    if (step.far)
        where << keyName_ + (descending ? QStringLiteral(" > ") : QStringLiteral(" < ")) + QString::number(*step.far);
    if (limitKey_)
        where << keyName_ + QStringLiteral(" <= ") + QString::number(*limitKey_);
    const QString sql =
        QStringLiteral("select ") + keyName_ + QStringLiteral(" from ") + nestedStatement(base_.sql) +
        (where.isEmpty() ? QString() : QStringLiteral(" where ") + where.join(QStringLiteral(" and "))) +
        QStringLiteral(" order by ") + keyName_ + (descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
    step.statement = {connection_.engine().limited(sql, step.want), base_.values};
    return step;
}

bool KeyPaging::takeStep(const KeyStep& step, const std::vector<qint64>& keys)
{
    if (step.near != (step.front ? frontCursor_ : backCursor_) || step.far != (step.front ? backCursor_ : frontCursor_))
        return false;
    const std::size_t n = std::min<std::size_t>({keys.size(), std::size_t(step.want), std::size_t(keys_.unknown())});
    for (std::size_t i = 0; i < n; ++i) {
        if (step.front) {
            keys_.pushFront(keys[i]);
            frontCursor_ = keys[i];
        } else {
            keys_.pushBack(keys[i]);
            backCursor_ = keys[i];
        }
    }
    return true;
}

bool KeyPaging::load(int index, const QString& name, QString* error)
{
    while (!keys_.isKnown(index)) {
        const KeyStep step = stepToward(index);
        QSqlQuery q(connection_.database());
        q.setForwardOnly(true);
        if (!connection_.run(q, step.statement)) {
            *error = connection_.failure(q).message();
            return false;
        }
        std::vector<qint64> keys;
        while (int(keys.size()) < step.want && q.next())
            keys.push_back(q.value(0).toLongLong());
        if (q.lastError().isValid()) {
            *error = connection_.failure(q).message();
            return false;
        }
        if (keys.empty()) {
            *error = name + QStringLiteral(": 记录已被其他程序删除，请重新打开列表。");
            return false;
        }
        takeStep(step, keys);
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

KeyPaging::RowsByKey KeyPaging::rowsByKey(int from, int to, const QStringList& fields, int keyField,
                                          const QString& table) const
{
    RowsByKey what{keyName_, base_, fields, keyField, table, {}};
    for (int i = from; i < to; ++i)
        what.keys << keys_.at(i);
    return what;
}

bool KeyPaging::readRows(int from, int to, const QStringList& fields, int keyField, const QString& table,
                         QVector<QVector<QVariant>>* rows, QString* error)
{
    return readRowsByKey(
        connection_.database(), rowsByKey(from, to, fields, keyField, table),
        [this](QSqlQuery& q, const BoundStatement& st) { return connection_.run(q, st); },
        [this](const QSqlQuery& q) { return connection_.failure(q).message(); }, rows, error);
}

namespace {

// The rows of the query, `n` values each, by their key.
bool takeRows(QSqlQuery& q, const QVector<int>& map, int keyField, QHash<qint64, QVector<QVariant>>* got)
{
    const int n = int(map.size());
    while (q.next()) {
        QVector<QVariant> r(n);
        for (int i = 0; i < n; ++i)
            if (map[i] >= 0)
                r[i] = q.value(map[i]);
        got->insert(r[keyField].toLongLong(), std::move(r));
    }
    return !q.lastError().isValid();
}

}  // namespace

bool KeyPaging::readRowsByKey(const QSqlDatabase& db, const RowsByKey& what, const Run& run, const Failure& failure,
                              QVector<QVector<QVariant>>* rows, QString* error)
{
    const int n = int(what.fields.size());
    QHash<qint64, QVector<QVariant>> got;
    QVector<int> inOrder(n);
    for (int i = 0; i < n; ++i)
        inOrder[i] = i;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!run(q, nestedStatement(QStringLiteral("select * from "), what.base, whereKeyIn(what.keyName, what.keys))) ||
        !takeRows(q, inOrder, what.keyField, &got)) {
        *error = failure(q);
        return false;
    }
    if (got.size() < what.keys.size() && !what.table.isEmpty()) {
        // Records stored through this data set that its statement does not
        // select (a call appended to a filtered list): read them by key.
        QList<qint64> missing;
        for (qint64 k : what.keys)
            if (!got.contains(k))
                missing << k;
        QSqlQuery m(db);
        m.setForwardOnly(true);
        if (!run(m, {QStringLiteral("select * from ") + quotedIdentifier(what.table) +
                         whereKeyIn(what.keyName, missing),
                     {}})) {
            *error = failure(m);
            return false;
        }
        const QSqlRecord rec = m.record();
        QVector<int> map(n, -1);
        for (int i = 0; i < n; ++i)
            map[i] = rec.indexOf(what.fields[i]);
        if (!takeRows(m, map, what.keyField, &got)) {
            *error = failure(m);
            return false;
        }
    }
    rows->clear();
    rows->reserve(what.keys.size());
    for (qint64 k : what.keys) {
        auto g = got.find(k);
        if (g != got.end()) {
            rows->append(g.value());
        } else {
            // Gone from the table since the list was opened.
            QVector<QVariant> r(n);
            r[what.keyField] = k;
            rows->append(r);
        }
    }
    return true;
}
