#include "rules/statements/query.h"

#include "rules/statements/statementtext.h"

namespace {

// The statement with each value written by `value` (a mark or the value itself).
template <class Value>
QString compose(const Query& q, Value value)
{
    QStringList cols;
    for (const QString& c : q.columns)
        cols << quotedIdentifier(c);
    QString sql = QStringLiteral("select ") + (cols.isEmpty() ? QStringLiteral("*") : cols.join(QStringLiteral(", "))) +
                  QStringLiteral(" from ") + quotedIdentifier(q.table);
    QStringList where;
    for (const Query::Condition& c : q.conditions)
        where << quotedIdentifier(c.column) + QLatin1Char(' ') + c.compare + QLatin1Char(' ') + value(c.value);
    if (!where.isEmpty())
        sql += QStringLiteral(" where ") + where.join(QStringLiteral(" and "));
    if (!q.orderBy.isEmpty())
        sql += QStringLiteral(" order by ") + quotedIdentifier(q.orderBy) +
               (q.descending ? QStringLiteral(" desc") : QString());
    return sql;
}

}  // namespace

Query Query::ordered(const QString& table, const QString& key, bool descending)
{
    Query q;
    q.table = table;
    q.orderBy = key;
    q.descending = descending;
    return q;
}

BoundStatement Query::render() const
{
    BoundStatement out;
    out.sql = compose(*this, [&out](const QVariant& v) {
        out.values << v;
        return QStringLiteral("?");
    });
    return out;
}

QString Query::text() const
{
    return compose(*this, [](const QVariant& v) {
        if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
            return v.toString();
        return QLatin1Char('\'') + quotedValue(v.toString()) + QLatin1Char('\'');
    });
}

Query Query::unordered() const
{
    Query q = *this;
    q.orderBy.clear();
    q.descending = false;
    return q;
}
