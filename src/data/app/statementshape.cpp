#include "data/app/statementshape.h"

#include <QRegularExpression>

namespace {

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

// A statement that ends with "order by <column> [asc|desc]" while nothing
// else orders, groups or limits it: the column, and in `base` the statement
// without that order.
KeyPaging::Order orderOf(const QString& sql, QString* column, QString* base)
{
    static const QRegularExpression tail(
        QStringLiteral(R"(\border\s+by\s+(\[[^\]]+\]|"[^"]+"|`[^`]+`|\w+)\s*(asc|desc)?\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression unsafe(
        QStringLiteral(R"(\b(limit|union|intersect|except|group\s+by|order\s+by|distinct)\b)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = tail.match(sql);
    if (!m.hasMatch())
        return KeyPaging::Order::None;
    QString col = m.captured(1);
    if (col.size() >= 2 && !col.front().isLetterOrNumber() && col.front() != QLatin1Char('_'))
        col = col.mid(1, col.size() - 2);
    const QString rest = sql.left(m.capturedStart());
    // The order must belong to the whole statement, not to a part of it.
    if (rest.count(QLatin1Char('(')) != rest.count(QLatin1Char(')')) || unsafe.match(rest).hasMatch())
        return KeyPaging::Order::None;
    *column = col;
    *base = rest;
    return m.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0 ? KeyPaging::Order::Descending
                                                                                  : KeyPaging::Order::Ascending;
}

// "select <columns> from <table>" and nothing more: every row of the table.
bool readsWholeTable(const QString& sql, const QString& table)
{
    static const QRegularExpression plain(
        QStringLiteral(R"(^\s*select\s+(?!distinct\b)[\w\s,.*\[\]"`]+?\s+from\s+(\[[^\]]+\]|"[^"]+"|`[^`]+`|[^\s,;()]+)\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return !table.isEmpty() && plain.match(sql).hasMatch();
}

}  // namespace

StatementShape shapeOf(const Query& query)
{
    StatementShape sh;
    sh.whole = query.render();
    sh.base = query.unordered().render();
    sh.table = query.table;
    sh.orderColumn = query.orderBy;
    if (!sh.orderColumn.isEmpty())
        sh.order = query.descending ? KeyPaging::Order::Descending : KeyPaging::Order::Ascending;
    sh.wholeTable = query.conditions.isEmpty();
    return sh;
}

StatementShape shapeOf(const QString& sql)
{
    StatementShape sh;
    sh.whole.sql = sql;
    sh.table = baseTableOf(sql);
    sh.order = orderOf(sql, &sh.orderColumn, &sh.base.sql);
    sh.wholeTable = readsWholeTable(sh.order == KeyPaging::Order::None ? sql : sh.base.sql, sh.table);
    return sh;
}
