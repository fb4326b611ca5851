#include "lists/listsearch.h"

namespace listsearch {

QString quoted(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    return v;
}

QString fieldSearch(const QString& table, const QString& field, const QString& text)
{
    return QStringLiteral("select * from ") + table + QStringLiteral(" where ") + field +
           QStringLiteral(" like ") + QLatin1Char('\'') + QLatin1Char('%') + quoted(text) +
           QLatin1Char('%') + QLatin1Char('\'');
}

QString dayText(int year, int month, int day)
{
    return QStringLiteral("%1-%2-%3").arg(year).arg(month).arg(day);
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
