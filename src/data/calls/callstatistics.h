#pragma once
// Call statistics over a range of days: calls per day, per hour of the day,
// the most frequent numbers, known and new callers.  Computed by grouped
// statements served by the 日期 index (a call's day is stored as
// "yyyy-M-d" text, so a range is the list of its days), never by reading
// every call into the program.

#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>
#include <future>

#include "rules/settings/databaselocation.h"

struct NumberCount {
    QString number;  // as logged (手机, else 电话)
    qint64 calls = 0;
};

// What one bar of the calls over time stands for.  A long range is counted
// by months or years, so that the figures and the chart stay small.
enum class StatisticsUnit { Day, Month, Year };

// Days up to 62, months up to five years, years beyond.
StatisticsUnit unitForRange(const QDate& first, const QDate& last);

struct CallStatistics {
    // The range the figures cover: the one asked for, or, for a range of
    // more than a year, from the first to the last day with calls in it.
    QDate first, last;
    StatisticsUnit unit = StatisticsUnit::Day;
    QVector<qint64> perPeriod;  // one per day, month or year from first to last
    // The first day of period `i` (for days, the day itself).
    QDate periodStart(qsizetype i) const;
    QVector<qint64> perHour;  // 24, hour 0 to 23 of 时间
    QList<NumberCount> frequentNumbers;  // most calls first, at most the limit asked
    qint64 total = 0;
    qint64 known = 0;  // calls logged with the customer's 联系人 or 公司名称
    qint64 fresh() const { return total - known; }
};

// Told the most frequent numbers as soon as they are counted, before the
// calls per day and hour: their customers can be looked up meanwhile.
using FrequentNumbersKnown = std::function<void(const QList<NumberCount>&)>;

// The statistics of the calls from `first` to `last` (both included).  A
// range of more than a year reads only the days that hold calls (through
// the 日期 index), whatever the range: 1900 to 9999 costs what the calls cost.
// `stopRequested` is asked between steps; a stop gives what was computed
// so far.  Throws DbError when a statement fails.
CallStatistics callStatistics(QSqlDatabase db, const QDate& first, const QDate& last, int frequentLimit = 20,
                              const std::function<bool()>& stopRequested = {},
                              const FrequentNumbersKnown& numbersKnown = {});

// The customer of each number as the caller lookup finds it: its 联系人 and
// 公司名称, "" where no customer has the number.  `numberIndex`: the
// database has the number index (else the digits are taken row by row).
// Throws DbError when a statement fails.
QStringList customersOfNumbers(QSqlDatabase db, bool numberIndex, const QList<NumberCount>& numbers);

// customersOfNumbers on a thread and a connection of its own to `where`,
// so that the lookups run beside the counting.  get() gives the names or
// throws the DbError; the future, dropped, waits for the thread.
std::future<QStringList> customersOfNumbersAside(const DatabaseLocation& where, bool numberIndex,
                                                 const QList<NumberCount>& numbers);

// The server a report read, as far as it tells.
struct ReadingPlace {
    QString server;          // address:port
    bool standby = false;
    double behindSeconds = -1;  // how old the standby's last replayed change is; -1 unknown
};

// The same statistics, read where reports read: on a server location that
// names a primary and a standby, from the standby (the primary is left to
// the desks' calls).  `place` says which server it was.  Throws DbError.
CallStatistics callStatisticsForReport(const DatabaseLocation& where, const QDate& first, const QDate& last,
                                       int frequentLimit, const std::function<bool()>& stopRequested,
                                       ReadingPlace* place, const FrequentNumbersKnown& numbersKnown = {});
// "数据读自备用服务器 127.0.0.1:5433，落后约 2 秒。" for the window.
QString readingPlaceText(const ReadingPlace& place);

// How a day is written in 来电数据 ("2026-12-8").
QString storedDay(const QDate& day);
