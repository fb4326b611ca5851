#include "data/calls/callstatistics.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QSqlQuery>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <QVariant>
#include <QUuid>
#include <memory>

#include "data/engine/dberror.h"
#include "data/engine/engine.h"
#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"
#include "rules/statements/tablenames.h"

namespace {

// Days per statement: the IN list of one statement stays short.
constexpr int kDaysPerStatement = 200;

[[noreturn]] void fail(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    throw DbError(e.databaseText().isEmpty() ? e.text() : e.databaseText());
}

QString column(const char* name) { return quotedIdentifier(QString::fromUtf8(name)); }

QString marks(qsizetype n)
{
    QString text = QStringLiteral("(");
    for (qsizetype i = 0; i < n; ++i)
        text += i ? QStringLiteral(",?") : QStringLiteral("?");
    return text + QLatin1Char(')');
}

// Runs `sql` (whose last placeholders are the days) for each slice of days.
template <class Row>
void forDaySlices(QSqlDatabase db, const QStringList& days, const QString& sql, Row row)
{
    for (qsizetype from = 0; from < days.size(); from += kDaysPerStatement) {
        const QStringList slice = days.mid(from, kDaysPerStatement);
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(QString(sql).replace(QStringLiteral("(@days)"), marks(slice.size()))))
            fail(q);
        for (const QString& d : slice)
            q.addBindValue(d);
        if (!q.exec())
            fail(q);
        while (q.next())
            row(q);
        if (q.lastError().isValid())
            fail(q);
    }
}

// The hour of a time's first three characters: one or two digits before a
// colon ("9:0", "09:"), 0 to 23; -1 for anything else.
int hourOf(const QString& start)
{
    const qsizetype colon = start.indexOf(QLatin1Char(':'));
    if (colon < 1 || colon > 2)
        return -1;
    for (qsizetype i = 0; i < colon; ++i)
        if (start[i] < QLatin1Char('0') || start[i] > QLatin1Char('9'))
            return -1;
    const int h = start.left(colon).toInt();
    return h < 24 ? h : -1;
}

// A range longer than this reads the days that hold calls instead of
// listing every day of it.
constexpr qint64 kListedDays = 400;

qsizetype periodOf(const CallStatistics& s, const QDate& day)
{
    switch (s.unit) {
    case StatisticsUnit::Day:
        return s.first.daysTo(day);
    case StatisticsUnit::Month:
        return (day.year() - s.first.year()) * 12 + day.month() - s.first.month();
    case StatisticsUnit::Year:
        break;
    }
    return day.year() - s.first.year();
}

// The days of the range that hold calls, in order, as stored.
QStringList daysWithCalls(QSqlDatabase db, const QDate& first, const QDate& last)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("select distinct ") + column("日期") + QStringLiteral(" from ") +
                quotedIdentifier(tables::calls())))
        fail(q);
    QList<QDate> found;
    while (q.next()) {
        const QString text = q.value(0).toString();
        const QDate day = QDate::fromString(text, QStringLiteral("yyyy-M-d"));
        // Only the stored form is counted, as the statements match it.
        if (day.isValid() && day >= first && day <= last && storedDay(day) == text)
            found << day;
    }
    if (q.lastError().isValid())
        fail(q);
    std::sort(found.begin(), found.end());
    QStringList days;
    for (const QDate& d : found)
        days << storedDay(d);
    return days;
}

// The days the statements ask for, and the range the figures cover.
QStringList daysToCount(QSqlDatabase db, CallStatistics& s)
{
    QStringList days;
    if (s.first.daysTo(s.last) < kListedDays) {
        for (QDate d = s.first; d <= s.last; d = d.addDays(1))
            days << storedDay(d);
        return days;
    }
    days = daysWithCalls(db, s.first, s.last);
    if (!days.isEmpty()) {
        s.first = QDate::fromString(days.first(), QStringLiteral("yyyy-M-d"));
        s.last = QDate::fromString(days.last(), QStringLiteral("yyyy-M-d"));
    } else {
        s.first = s.last;  // nothing to show but the last day
    }
    return days;
}

}  // namespace

QString storedDay(const QDate& day) { return day.toString(QStringLiteral("yyyy-M-d")); }

StatisticsUnit unitForRange(const QDate& first, const QDate& last)
{
    const qint64 days = first.daysTo(last) + 1;
    if (days <= 62)
        return StatisticsUnit::Day;
    return days <= 5 * 366 ? StatisticsUnit::Month : StatisticsUnit::Year;
}

QDate CallStatistics::periodStart(qsizetype i) const
{
    switch (unit) {
    case StatisticsUnit::Day:
        return first.addDays(i);
    case StatisticsUnit::Month:
        return QDate(first.year(), first.month(), 1).addMonths(int(i));
    case StatisticsUnit::Year:
        break;
    }
    return QDate(first.year() + int(i), 1, 1);
}

CallStatistics callStatistics(QSqlDatabase db, const QDate& first, const QDate& last, int frequentLimit,
                              const std::function<bool()>& stopRequested, const FrequentNumbersKnown& numbersKnown)
{
    CallStatistics s;
    s.first = first;
    s.last = last;
    s.perHour.fill(0, 24);
    if (!first.isValid() || !last.isValid() || last < first)
        return s;
    const QStringList days = daysToCount(db, s);
    s.unit = unitForRange(s.first, s.last);
    s.perPeriod.fill(0, periodOf(s, s.last) + 1);
    const auto stop = [&] { return stopRequested && stopRequested(); };

    const QString from = QStringLiteral(" from ") + quotedIdentifier(tables::calls()) + QStringLiteral(" where ") +
                         column("日期") + QStringLiteral(" in (@days)");
    // The most frequent numbers over the whole range.
    QHash<QString, qint64> perNumber;
    const QString number = QStringLiteral("coalesce(nullif(") + column("手机") + QStringLiteral(", ''), ") +
                           column("电话") + QLatin1Char(')');
    // One statement (a range of up to 200 days) keeps only the first ones;
    // longer ranges add up the slices' counts first.
    const bool oneSlice = days.size() <= kDaysPerStatement;
    forDaySlices(db, days,
                 QStringLiteral("select ") + number + QStringLiteral(", count(*)") + from + QStringLiteral(" group by ") +
                     number +
                     (oneSlice ? QStringLiteral(" order by 2 desc, 1 limit ") + QString::number(frequentLimit + 1)
                               : QString()),
                 [&](const QSqlQuery& q) {
                     const QString n = q.value(0).toString();
                     if (!n.isEmpty())
                         perNumber[n] += q.value(1).toLongLong();
                 });
    for (auto it = perNumber.cbegin(); it != perNumber.cend(); ++it)
        s.frequentNumbers.append(NumberCount{it.key(), it.value()});
    std::sort(s.frequentNumbers.begin(), s.frequentNumbers.end(), [](const NumberCount& a, const NumberCount& b) {
        return a.calls != b.calls ? a.calls > b.calls : a.number < b.number;
    });
    if (s.frequentNumbers.size() > frequentLimit)
        s.frequentNumbers.resize(frequentLimit);
    if (numbersKnown)
        numbersKnown(s.frequentNumbers);
    if (stop())
        return s;
    // Per day and hour of the day, with the known callers: one pass over
    // the range's calls.  时间 is "H:mm:ss" (or "HH:mm:ss"): its first three
    // characters hold the hour (substr: both engines have it).
    const QString hour = QStringLiteral("substr(") + column("时间") + QStringLiteral(", 1, 3)");
    forDaySlices(db, days,
                 QStringLiteral("select ") + column("日期") + QStringLiteral(", ") + hour +
                     QStringLiteral(", count(*), sum(case when coalesce(") + column("联系人") +
                     QStringLiteral(", '') <> '' or coalesce(") + column("公司名称") +
                     QStringLiteral(", '') <> '' then 1 else 0 end)") + from + QStringLiteral(" group by 1, 2"),
                 [&](const QSqlQuery& q) {
                     const qint64 calls = q.value(2).toLongLong();
                     const QDate day = QDate::fromString(q.value(0).toString(), QStringLiteral("yyyy-M-d"));
                     if (day.isValid())
                         s.perPeriod[periodOf(s, day)] += calls;
                     const int h = hourOf(q.value(1).toString());
                     if (h >= 0)
                         s.perHour[h] += calls;
                     s.total += calls;
                     s.known += q.value(3).toLongLong();
                 });
    return s;
}

QStringList customersOfNumbers(QSqlDatabase db, bool numberIndex, const QList<NumberCount>& numbers)
{
    QStringList names;
    for (const NumberCount& n : numbers) {
        QString name;
        if (!lookupNumber(n.number).isEmpty()) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(numberIndex ? indexedLookupStatement(n.number) : digitsLookupStatement(n.number)))
                fail(q);
            if (q.next()) {
                const QSqlRecord r = q.record();
                name = (q.value(r.indexOf(QStringLiteral("联系人"))).toString() + QLatin1Char(' ') +
                        q.value(r.indexOf(QStringLiteral("公司名称"))).toString())
                           .trimmed();
            } else if (q.lastError().isValid()) {
                fail(q);
            }
        }
        names << name;
    }
    return names;
}

std::future<QStringList> customersOfNumbersAside(const DatabaseLocation& where, bool numberIndex,
                                                 const QList<NumberCount>& numbers)
{
    return std::async(std::launch::async, [where, numberIndex, numbers] {
        const std::shared_ptr<const DatabaseEngine> engine = DatabaseEngine::standard(where);
        const QString name = QStringLiteral("lookup_") + QUuid::createUuid().toString(QUuid::Id128);
        QStringList names;
        QString failure;
        {
            QSqlDatabase db = engine->connection(name, where, 5000);
            if (!db.open()) {
                failure = db.lastError().text();
            } else {
                engine->prepareSession(db);
                try {
                    names = customersOfNumbers(db, numberIndex, numbers);
                } catch (const DbError& e) {
                    failure = e.message();
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!failure.isEmpty())
            throw DbError(failure);
        return names;
    });
}

CallStatistics callStatisticsForReport(const DatabaseLocation& where, const QDate& first, const QDate& last,
                                       int frequentLimit, const std::function<bool()>& stopRequested,
                                       ReadingPlace* place, const FrequentNumbersKnown& numbersKnown)
{
    const std::shared_ptr<const DatabaseEngine> engine = DatabaseEngine::standard(where);
    const QString name = QStringLiteral("report_") + QUuid::createUuid().toString(QUuid::Id128);
    CallStatistics out;
    QString failure;
    {
        QSqlDatabase db = engine->connection(name, where, 5000, DatabaseEngine::Access::Report);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            engine->prepareSession(db);
            try {
                out = callStatistics(db, first, last, frequentLimit, stopRequested, numbersKnown);
                QSqlQuery q(db);
                const QString placed = engine->readingPlaceStatement();
                if (place && !placed.isEmpty() && q.exec(placed) && q.next()) {
                    place->server = q.value(0).toString();
                    place->standby = q.value(1).toBool();
                    place->behindSeconds = q.value(2).isNull() ? -1 : q.value(2).toDouble();
                }
            } catch (const DbError& e) {
                failure = e.message();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!failure.isEmpty())
        throw DbError(failure);
    return out;
}

QString readingPlaceText(const ReadingPlace& place)
{
    if (place.server.isEmpty())
        return {};
    if (!place.standby)
        return QStringLiteral("数据读自服务器 ") + place.server + QStringLiteral("。");
    QString text = QStringLiteral("数据读自备用服务器 ") + place.server;
    if (place.behindSeconds >= 0)
        text += QStringLiteral("，落后约 ") + QString::number(qRound64(place.behindSeconds)) + QStringLiteral(" 秒");
    return text + QStringLiteral("。");
}
