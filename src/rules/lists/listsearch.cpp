#include "rules/lists/listsearch.h"

#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"

namespace listsearch {

QString fieldSearch(const QString& table, const QString& field, const QString& text, const TextLike& like)
{
    // Telephone numbers are found however they were written.
    const QString phone = phoneFieldCondition(field, text);
    if (!phone.isEmpty())
        return QStringLiteral("select * from ") + table + QStringLiteral(" where ") + phone;
    const QString pattern = QStringLiteral("'%") + quotedValue(text) + QStringLiteral("%'");
    return QStringLiteral("select * from ") + table + QStringLiteral(" where ") +
           (like ? like(field, pattern) : field + QStringLiteral(" like ") + pattern);
}

QString dayText(int year, int month, int day)
{
    return QString::number(year) + QLatin1Char('-') + QString::number(month) + QLatin1Char('-') + QString::number(day);
}

QString dateSearch(int year, int month, int day)
{
    return QStringLiteral("select * from 来电数据 where 日期='") + dayText(year, month, day) +
           QLatin1Char('\'');
}

QStringList fieldChoiceLines(int index) { return {QString::number(index)}; }

bool parseFieldChoice(const QStringList& lines, int* index)
{
    if (lines.isEmpty())
        return false;
    bool ok = false;
    const int v = lines.first().trimmed().toInt(&ok);
    if (ok)
        *index = v;
    return ok;
}

}  // namespace listsearch
