#pragma once
// Rules of an incoming call over plain values: how a number is reduced to
// its digits and cut to its local part, the statements that look a caller
// up, the columns of a logged call and the announcement's blink colour.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The one clean-up rule for telephone numbers: the digits of the number as
// it was typed or received (full-width digits count), without a leading
// "+86" or "0086".  A fixed line dialled that way gets back the 0 of its
// area code; a mobile (11 digits from 13) does not.  Separators, letters,
// quotes and anything else are dropped.  Numbers are compared this way;
// the text as typed is what is stored.
QString numberDigits(const QString& number);
// The same over UTF-8 text (as the database hands it to a function).
QByteArray numberDigitsUtf8(const char* text, qsizetype size);

// Whether two numbers are the same number: the same digits, or the same
// text when either has no digits at all.
bool sameNumber(const QString& a, const QString& b);

// The number without its area code: a number beginning with "0" loses three
// characters when its second is "0", "1" or "2" (or anything not above "2"),
// else four.  Other numbers are kept whole.
QString localNumber(const QString& number);

// What a caller is looked up by: the digits of the number without its area
// code.  Empty when nothing is left to search for.
QString lookupNumber(const QString& number);

// The four lines of the caller lookup over 手机, 电话 and 宅电, as composed
// in the statement buffer.
QStringList lookupStatementLines(const QString& local);

// The statement that runs for the lookup of a number (as received): the
// customers one of whose 手机, 电话 or 宅电 holds, in digits, the number
// without its area code, found through the number index.  The best match
// comes first: a stored number beginning with the whole number, then one
// beginning with the local number (stored without area code), then the
// rest (another area code, or the digits inside a longer number); each
// group in key order.  Only the customer table's columns are returned.
QString indexedLookupStatement(const QString& number);

// The same rows in the same order without the index: the digits are taken
// by the SQL function numberDigitsFunction on every row.
QString digitsLookupStatement(const QString& number);

// The condition of a field search over a telephone column: what the plain
// search finds ("like" with "%" on both sides), and besides every row whose
// number holds the digits of the text.  Empty when the column holds no
// telephone numbers (手机, 电话, 宅电) or the text has no digits; the plain
// condition then applies.
QString phoneFieldCondition(const QString& field, const QString& text);

// Column values of a logged call: the number as received, in 手机 when its
// digits begin with "1", else in 电话; the date as "yyyy-M-d", the time as
// "H:mm:ss".  A known caller's call is logged with the customer's 联系人
// and 公司名称, so that the call list says who called.
struct CallRecord {
    QString phone;  // 电话
    QString mobile;   // 手机
    QString date;     // 日期
    QString time;  // 时间
    QString contact;  // 联系人
    QString company;     // 公司名称
};
CallRecord callRecord(const QString& number, const QDateTime& when);

// Ticks in one announcement series.
constexpr int kBlinkTicks = 20;

// The full-text index (trigram) over the digits of 手机, 电话 and 宅电 of
// 客户数据.
extern const QString numberIndexTable;
// The SQL function giving numberDigits() of its argument (NULL for NULL);
// the data layer provides it on every connection.
extern const char* const numberDigitsFunction;

extern const QString knownCallerText;  // 老客户来电
extern const QString newCallerText;    // 新客户来电
