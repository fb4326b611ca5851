#pragma once
// Rules of an incoming call over plain values: how a number is cleaned and
// cut to its local part, the statements that look a caller up, the columns
// of a logged call and the announcement's blink colour.

#include <QDateTime>
#include <QString>
#include <QStringList>

// The number as the lookup sees it: spaces, dashes, dots and brackets are
// removed, and so is a leading "+86" or "0086" (a fixed-line number dialled
// that way gets back the 0 of its area code).
QString cleanNumber(const QString& number);

// The number without its area code: a number beginning with "0" loses three
// characters when its second is "0", "1" or "2" (or anything not above "2"),
// else four.  Other numbers are kept whole.
QString localNumber(const QString& number);

// What a caller is looked up by: the cleaned number without its area code.
// Empty when nothing is left to search for.
QString lookupNumber(const QString& number);

// The four lines of the caller lookup over 手机, 电话 and 宅电, as composed
// in the statement buffer.
QStringList lookupStatementLines(const QString& local);

// The statement that runs for the lookup: the same rows in the same order as
// the four lines above, found through the number index.  Numbers shorter
// than the index's three characters get the four lines' statement itself.
QString indexedLookupStatement(const QString& local);

// Column values of a logged call: the number in 手机 when it begins with
// "1", else in 电话; the date as "yyyy-M-d", the time as "H:mm:ss".
struct CallRecord {
    QString dianhua;  // 电话
    QString shouji;   // 手机
    QString riqi;     // 日期
    QString shijian;  // 时间
};
CallRecord callRecord(const QString& number, const QDateTime& when);

// Ticks in one announcement series.
constexpr int kBlinkTicks = 20;

// The full-text index (trigram) over 手机, 电话 and 宅电 of 客户数据.
extern const QString numberIndexTable;

extern const QString knownCallerText;  // 老客户来电
extern const QString newCallerText;    // 新客户来电
