#include "data/numbers/callhistory.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <limits>

#include "data/engine/dberror.h"
#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"
#include "rules/statements/tablenames.h"

namespace {


[[noreturn]] void fail(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    throw DbError(e.databaseText().isEmpty() ? e.text() : e.databaseText());
}

// "(?,?,…)" for n values.
QString marks(qsizetype n)
{
    QString text = QStringLiteral("(");
    for (qsizetype i = 0; i < n; ++i)
        text += i ? QStringLiteral(",?") : QStringLiteral("?");
    return text + QLatin1Char(')');
}

}  // namespace

// The indexes hold only the calls with a number in the column (partial
// indexes).  A search of the call list ("电话 like '%0755%'") therefore
// still reads the table in its own order instead of scanning one of them,
// and the history's statement names the indexes' condition to use them.
void ensureCallHistoryIndexes(QSqlDatabase db)
{
    for (const QString& column : {QStringLiteral("手机"), QStringLiteral("电话")}) {
        QSqlQuery q(db);
        const QString sql = QStringLiteral("create index if not exists ") +
                            quotedIdentifier(tables::calls() + QLatin1Char('_') + column) + QStringLiteral(" on ") +
                            quotedIdentifier(tables::calls()) + QStringLiteral(" (") + quotedIdentifier(column) +
                            QStringLiteral(") where ") + quotedIdentifier(column) + QStringLiteral(" > ''");
        if (!q.exec(sql))
            fail(q);
    }
}

QStringList historySpellings(const QStringList& numbers)
{
    QStringList out;
    for (const QString& n : numbers) {
        const QString trimmed = n.trimmed();
        for (const QString& s : {trimmed, numberDigits(trimmed)})
            if (!s.isEmpty() && !out.contains(s))
                out << s;
    }
    return out;
}

CallHistory earlierCalls(QSqlDatabase db, const QStringList& numbers, qint64 beforeId, int limit)
{
    CallHistory history;
    const QStringList spellings = historySpellings(numbers);
    if (spellings.isEmpty())
        return history;
    // "(手机 in (…) and 手机 > '') or (电话 in (…) and 电话 > '')": each
    // branch through its column's index.
    auto branch = [&](const QString& column) {
        const QString c = quotedIdentifier(column);
        return QStringLiteral("(") + c + QStringLiteral(" in ") + marks(spellings.size()) + QStringLiteral(" and ") +
               c + QStringLiteral(" > '')");
    };
    const QString where = QStringLiteral(" where (") + branch(QStringLiteral("手机")) + QStringLiteral(" or ") +
                          branch(QStringLiteral("电话")) + QStringLiteral(") and ") +
                          quotedIdentifier(QStringLiteral("ID")) + QStringLiteral(" < ?");
    auto bindAll = [&](QSqlQuery& q) {
        for (int pass = 0; pass < 2; ++pass)
            for (const QString& s : spellings)
                q.addBindValue(s);
        q.addBindValue(beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max());
    };

    QSqlQuery count(db);
    count.setForwardOnly(true);
    if (!count.prepare(QStringLiteral("select count(*) from ") + quotedIdentifier(tables::calls()) + where))
        fail(count);
    bindAll(count);
    if (!count.exec() || !count.next())
        fail(count);
    history.count = count.value(0).toLongLong();

    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    QStringList columns;
    for (const char* c : {"ID", "日期", "时间", "事项", "答复"})
        columns << quotedIdentifier(QString::fromUtf8(c));
    if (!rows.prepare(QStringLiteral("select ") + columns.join(QLatin1Char(',')) + QStringLiteral(" from ") +
                      quotedIdentifier(tables::calls()) + where +
                      QStringLiteral(" order by ID desc limit ?")))
        fail(rows);
    bindAll(rows);
    rows.addBindValue(limit);
    if (!rows.exec())
        fail(rows);
    while (rows.next())
        history.calls.append(EarlierCall{rows.value(0).toLongLong(), rows.value(1).toString(),
                                         rows.value(2).toString(), rows.value(3).toString(),
                                         rows.value(4).toString()});
    if (rows.lastError().isValid())
        fail(rows);
    return history;
}

QString callOrdinalText(qint64 earlier)
{
    return QStringLiteral("第 ") + QString::number(earlier + 1) + QStringLiteral(" 次来电");
}
