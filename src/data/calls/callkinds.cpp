#include "data/calls/callkinds.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "data/engine/dberror.h"
#include "data/calls/callstatistics.h"
#include "rules/statements/statementtext.h"
#include "rules/statements/tablenames.h"

const QString outgoingCallsTable = QStringLiteral("去电数据");
const QString missedCallsTable = QStringLiteral("未接来电");

namespace {

const QString kMoment = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

[[noreturn]] void fail(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    throw DbError(e.databaseText().isEmpty() ? e.text() : e.databaseText());
}

QString id(const char* name) { return quotedIdentifier(QString::fromUtf8(name)); }

QSqlQuery run(QSqlDatabase db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        fail(q);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec())
        fail(q);
    return q;
}

bool exists(QSqlDatabase db, const QString& table) { return db.tables().contains(table); }

void make(QSqlDatabase db, const QString& table, const QString& extraColumns)
{
    if (exists(db, table))
        return;
    run(db, QStringLiteral("create table if not exists ") + quotedIdentifier(table) + QStringLiteral(" (") +
                id("电话号码") + QStringLiteral(" text, ") + id("日期") + QStringLiteral(" text, ") + id("时间") +
                QStringLiteral(" text, ") + id("时刻") + QStringLiteral(" text") + extraColumns + QStringLiteral(")"));
    run(db, QStringLiteral("create index if not exists ") + quotedIdentifier(table + QStringLiteral("_日期")) +
                QStringLiteral(" on ") + quotedIdentifier(table) + QStringLiteral(" (") + id("日期") +
                QStringLiteral(")"));
}

QVariantList moment(const QString& number, const QDateTime& when)
{
    return {number, storedDay(when.date()), when.time().toString(QStringLiteral("H:mm:ss")),
            when.toString(kMoment)};
}

QDateTime readMoment(const QVariant& v) { return QDateTime::fromString(v.toString(), kMoment); }

// How many rows of `table` fall on each of the days.
QHash<QString, qint64> perDay(QSqlDatabase db, const QString& table, const QStringList& days)
{
    QHash<QString, qint64> counts;
    if (!exists(db, table))
        return counts;
    constexpr int kSlice = 200;
    for (qsizetype from = 0; from < days.size(); from += kSlice) {
        const QStringList slice = days.mid(from, kSlice);
        QString marks;
        QVariantList values;
        for (const QString& d : slice) {
            marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(",?");
            values << d;
        }
        QSqlQuery q = run(db,
                          QStringLiteral("select ") + id("日期") + QStringLiteral(", count(*) from ") +
                              quotedIdentifier(table) + QStringLiteral(" where ") + id("日期") +
                              QStringLiteral(" in (") + marks + QStringLiteral(") group by ") + id("日期"),
                          values);
        while (q.next())
            counts[q.value(0).toString()] += q.value(1).toLongLong();
    }
    return counts;
}

}  // namespace

void logOutgoingCall(QSqlDatabase db, const OutgoingCall& call)
{
    make(db, outgoingCallsTable, QStringLiteral(", ") + id("联系人") + QStringLiteral(" text, ") + id("公司名称") +
                                     QStringLiteral(" text"));
    run(db,
        QStringLiteral("insert into ") + quotedIdentifier(outgoingCallsTable) + QStringLiteral(" (") + id("电话号码") +
            QStringLiteral(", ") + id("日期") + QStringLiteral(", ") + id("时间") + QStringLiteral(", ") + id("时刻") +
            QStringLiteral(", ") + id("联系人") + QStringLiteral(", ") + id("公司名称") +
            QStringLiteral(") values (?, ?, ?, ?, ?, ?)"),
        moment(call.number, call.when) + QVariantList{call.contact, call.company});
}

QList<OutgoingCall> outgoingCalls(QSqlDatabase db, int limit)
{
    QList<OutgoingCall> out;
    if (!exists(db, outgoingCallsTable))
        return out;
    QSqlQuery q = run(db, QStringLiteral("select ") + id("电话号码") + QStringLiteral(", ") + id("时刻") +
                              QStringLiteral(", ") + id("联系人") + QStringLiteral(", ") + id("公司名称") +
                              QStringLiteral(" from ") + quotedIdentifier(outgoingCallsTable) +
                              QStringLiteral(" order by ") + id("时刻") + QStringLiteral(" desc limit ?"),
                      {limit});
    while (q.next())
        out.append({q.value(0).toString(), readMoment(q.value(1)), q.value(2).toString(), q.value(3).toString()});
    return out;
}

void logMissedCall(QSqlDatabase db, const MissedCall& call)
{
    make(db, missedCallsTable, QStringLiteral(", ") + id("名称") + QStringLiteral(" text, ") + id("已看") +
                                   QStringLiteral(" integer not null default 0"));
    run(db,
        QStringLiteral("insert into ") + quotedIdentifier(missedCallsTable) + QStringLiteral(" (") + id("电话号码") +
            QStringLiteral(", ") + id("日期") + QStringLiteral(", ") + id("时间") + QStringLiteral(", ") + id("时刻") +
            QStringLiteral(", ") + id("名称") + QStringLiteral(", ") + id("已看") +
            QStringLiteral(") values (?, ?, ?, ?, ?, ?)"),
        moment(call.number, call.when) + QVariantList{call.name, call.seen ? 1 : 0});
}

QList<MissedCall> missedCalls(QSqlDatabase db, int limit)
{
    QList<MissedCall> out;
    if (!exists(db, missedCallsTable))
        return out;
    QSqlQuery q = run(db, QStringLiteral("select ") + id("电话号码") + QStringLiteral(", ") + id("时刻") +
                              QStringLiteral(", ") + id("名称") + QStringLiteral(", ") + id("已看") +
                              QStringLiteral(" from ") + quotedIdentifier(missedCallsTable) +
                              QStringLiteral(" order by ") + id("时刻") + QStringLiteral(" desc limit ?"),
                      {limit});
    while (q.next())
        out.append({q.value(0).toString(), readMoment(q.value(1)), q.value(2).toString(), q.value(3).toInt() != 0});
    return out;
}

int unseenMissedCalls(QSqlDatabase db)
{
    if (!exists(db, missedCallsTable))
        return 0;
    QSqlQuery q = run(db, QStringLiteral("select count(*) from ") + quotedIdentifier(missedCallsTable) +
                              QStringLiteral(" where ") + id("已看") + QStringLiteral(" = 0"));
    return q.next() ? q.value(0).toInt() : 0;
}

void markMissedCallsSeen(QSqlDatabase db)
{
    if (exists(db, missedCallsTable))
        run(db, QStringLiteral("update ") + quotedIdentifier(missedCallsTable) + QStringLiteral(" set ") + id("已看") +
                    QStringLiteral(" = 1 where ") + id("已看") + QStringLiteral(" = 0"));
}

QVector<CallKinds> callKindsPerDay(QSqlDatabase db, const QDate& first, const QDate& last)
{
    QVector<CallKinds> out;
    if (!first.isValid() || !last.isValid() || last < first)
        return out;
    QStringList days;
    for (QDate d = first; d <= last; d = d.addDays(1))
        days << storedDay(d);
    const QHash<QString, qint64> incoming = perDay(db, tables::calls(), days);
    const QHash<QString, qint64> missed = perDay(db, missedCallsTable, days);
    const QHash<QString, qint64> outgoing = perDay(db, outgoingCallsTable, days);
    for (const QString& d : days)
        out.append({incoming.value(d), missed.value(d), outgoing.value(d)});
    return out;
}
