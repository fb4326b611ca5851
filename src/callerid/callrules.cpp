#include "callerid/callrules.h"

#include "app/statementtext.h"

const QString numberIndexTable = QStringLiteral("客户号码");
const QString knownCallerText = QStringLiteral("老客户来电");
const QString newCallerText = QStringLiteral("新客户来电");

QString cleanNumber(const QString& number)
{
    static const QString dropped = QStringLiteral(" \t-.()（）[]－．　");
    QString n;
    n.reserve(number.size());
    for (const QChar c : number)
        if (!dropped.contains(c))
            n += c;
    int country = 0;
    if (n.startsWith(QLatin1String("+86")))
        country = 3;
    else if (n.startsWith(QLatin1String("0086")))
        country = 4;
    if (country > 0) {
        n.remove(0, country);
        // Dialled from abroad a fixed line drops its leading 0: put it back
        // so that the area code comes off as usual.  Mobiles are 11 digits from 13.
        const bool mobile = n.size() == 11 && n.at(0) == QLatin1Char('1') && n.at(1) >= QLatin1Char('3');
        if (!n.isEmpty() && !mobile && !n.startsWith(QLatin1Char('0')))
            n.prepend(QLatin1Char('0'));
    }
    return n;
}

QString localNumber(const QString& number)
{
    if (!number.startsWith(QLatin1Char('0')))
        return number;
    const bool shortCode = number.size() < 2 || number.at(1) <= QLatin1Char('2');
    return number.mid(shortCode ? 3 : 4);
}

QString lookupNumber(const QString& number) { return localNumber(cleanNumber(number)); }

QStringList lookupStatementLines(const QString& local)
{
    const QString pattern = QLatin1String("'%") + quotedValue(local) + QLatin1String("%'");
    return {QStringLiteral("select * from 客户数据"),
            QStringLiteral("where 手机 like ") + pattern,
            QStringLiteral("or 电话 like ") + pattern,
            QStringLiteral("or 宅电 like ") + pattern};
}

QString indexedLookupStatement(const QString& local)
{
    // The index finds a pattern only through a run of three characters.
    if (local.size() < 3)
        return statementText(lookupStatementLines(local));
    // The beginnings of numbers are shared by very many (139..., 0755...):
    // the index is asked for the last eight characters, which a number
    // holding the whole one holds as well.
    constexpr int kKey = 8;
    const QString pattern = QLatin1String("'%") + quotedValue(local) + QLatin1String("%'");
    const QString keyPattern =
        QLatin1String("'%") + quotedValue(local.right(kKey)) + QLatin1String("%'");
    const QString& index = numberIndexTable;
    QStringList parts;
    for (const char* column : {"手机", "电话", "宅电"})
        parts << QStringLiteral("select rowid from %1 where %2 like %3")
                     .arg(index, QString::fromUtf8(column), keyPattern);
    QString sql = QStringLiteral("select * from 客户数据 where ID in (\r\n%1\r\n)")
                      .arg(parts.join(QStringLiteral("\r\nunion ")));
    // The rows the index offers are checked with the plain statement's own
    // condition, so that they are exactly its rows whatever the index's idea
    // of case or of a shorter key.
    sql += QStringLiteral("\r\nand (手机 like %1 or 电话 like %1 or 宅电 like %1)").arg(pattern);
    // The plain statement reads the table in key order; so does this one.
    return sql + QStringLiteral(" order by ID\r\n");
}

CallRecord callRecord(const QString& number, const QDateTime& when)
{
    CallRecord r;
    if (number.startsWith(QLatin1Char('1')))
        r.shouji = number;
    else
        r.dianhua = number;
    r.riqi = when.date().toString(QStringLiteral("yyyy-M-d"));
    r.shijian = when.time().toString(QStringLiteral("H:mm:ss"));
    return r;
}
