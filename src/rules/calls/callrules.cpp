#include "rules/calls/callrules.h"

#include <functional>

#include "rules/statements/statementtext.h"

const QString numberIndexTable = QStringLiteral("客户号码");
const char* const numberDigitsFunction = "phone_digits";
const QString knownCallerText = QStringLiteral("老客户来电");
const QString newCallerText = QStringLiteral("新客户来电");

namespace {

// The rule over the code points of a text; `next` gives one after the
// other, then -1.
template <class Next>
QByteArray digitsOf(Next next)
{
    QByteArray n;
    bool plus = false;  // a "+" before the first digit
    for (char32_t c; (c = next()) != char32_t(-1);) {
        if (c >= 0xff10 && c <= 0xff19)  // full-width 0-9
            c = c - 0xff10 + '0';
        if (c >= '0' && c <= '9')
            n += char(c);
        else if ((c == '+' || c == 0xff0b) && n.isEmpty())
            plus = true;
    }
    int country = 0;
    if (plus && n.startsWith("86"))
        country = 2;
    else if (n.startsWith("0086"))
        country = 4;
    if (country > 0) {
        n.remove(0, country);
        // Dialled from abroad a fixed line drops its leading 0: put it back
        // so that the area code comes off as usual.
        const bool mobile = n.size() == 11 && n.at(0) == '1' && n.at(1) >= '3';
        if (!n.isEmpty() && !mobile && !n.startsWith('0'))
            n.prepend('0');
    }
    return n;
}

}  // namespace

QString numberDigits(const QString& number)
{
    qsizetype i = 0;
    return QString::fromLatin1(digitsOf([&]() -> char32_t {
        return i < number.size() ? number.at(i++).unicode() : char32_t(-1);
    }));
}

QByteArray numberDigitsUtf8(const char* text, qsizetype size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + size;
    return digitsOf([&]() -> char32_t {
        while (p < end) {
            const unsigned char b = *p++;
            if (b < 0x80)
                return b;
            int more = b >= 0xf0 ? 3 : b >= 0xe0 ? 2 : b >= 0xc0 ? 1 : 0;
            char32_t c = b & (0x3f >> more);
            for (; more > 0 && p < end && (*p & 0xc0) == 0x80; --more)
                c = (c << 6) | (*p++ & 0x3f);
            if (more == 0 && b >= 0xc0)
                return c;
            // a broken sequence counts for nothing
        }
        return char32_t(-1);
    });
}

bool sameNumber(const QString& a, const QString& b)
{
    const QString da = numberDigits(a);
    const QString db = numberDigits(b);
    if (da.isEmpty() || db.isEmpty())
        return a == b;
    return da == db;
}

QString localNumber(const QString& number)
{
    if (!number.startsWith(QLatin1Char('0')))
        return number;
    const bool shortCode = number.size() < 2 || number.at(1) <= QLatin1Char('2');
    return number.mid(shortCode ? 3 : 4);
}

QString lookupNumber(const QString& number) { return localNumber(numberDigits(number)); }

QStringList lookupStatementLines(const QString& local)
{
    const QString pattern = QStringLiteral("'%") + quotedValue(local) + QStringLiteral("%'");
    return {QStringLiteral("select * from 客户数据"),
            QStringLiteral("where 手机 like ") + pattern,
            QStringLiteral("or 电话 like ") + pattern,
            QStringLiteral("or 宅电 like ") + pattern};
}

namespace {

const char* const kPhoneColumns[] = {"手机", "电话", "宅电"};

QString contains(const QString& digits) { return QStringLiteral("'%") + quotedValue(digits) + QStringLiteral("%'"); }
QString beginsWith(const QString& digits) { return QLatin1Char('\'') + quotedValue(digits) + QStringLiteral("%'"); }

// "<a> like <p> or <b> like <p> or <c> like <p>" over the digits of the
// three columns, each given by `column`.
QString anyColumnLike(const std::function<QString(const QString&)>& column, const QString& pattern)
{
    QStringList parts;
    for (const char* c : kPhoneColumns)
        parts << column(QString::fromUtf8(c)) + QStringLiteral(" like ") + pattern;
    return parts.join(QStringLiteral(" or "));
}

// 0 for a stored number beginning with the whole number, 1 for one
// beginning with the local number, else 2.
QString rank(const std::function<QString(const QString&)>& column, const QString& whole, const QString& local)
{
    return QStringLiteral("case when ") + anyColumnLike(column, beginsWith(whole)) + QStringLiteral(" then 0\r\n") +
           QStringLiteral("when ") + anyColumnLike(column, beginsWith(local)) + QStringLiteral(" then 1 else 2 end");
}

const QString kNothing = QStringLiteral("select * from 客户数据 where 1 = 0\r\n");

}  // namespace

QString indexedLookupStatement(const QString& number)
{
    const QString whole = numberDigits(number);
    const QString local = localNumber(whole);
    if (local.isEmpty())
        return kNothing;
    // The beginnings of numbers are shared by very many (139..., 0755...):
    // the index is asked for the last eight digits, which a number holding
    // the whole one holds as well, and its rows are then checked in full.
    constexpr int kKey = 8;
    const QString& index = numberIndexTable;
    QStringList parts;
    for (const char* c : kPhoneColumns)
        parts << QStringLiteral("select rowid from ") + index + QStringLiteral(" where ") + QString::fromUtf8(c) +
                     QStringLiteral(" like ") + contains(local.right(kKey));
    const auto indexColumn = [](const QString& c) { return c; };
    return QStringLiteral("select 客户数据.* from 客户数据 join (\r\n") +
           QStringLiteral("select rowid as 号, ") + rank(indexColumn, whole, local) + QStringLiteral(" as 序\r\n") +
           QStringLiteral("from ") + index + QStringLiteral(" where rowid in (\r\n") +
           parts.join(QStringLiteral("\r\nunion ")) + QStringLiteral(")\r\n") +
           QStringLiteral("and (") + anyColumnLike(indexColumn, contains(local)) + QStringLiteral(")\r\n") +
           QStringLiteral(") as 配 on 客户数据.ID = 配.号\r\n") +
           QStringLiteral("order by 配.序, 客户数据.ID\r\n");
}

QString digitsLookupStatement(const QString& number)
{
    const QString whole = numberDigits(number);
    const QString local = localNumber(whole);
    if (local.isEmpty())
        return kNothing;
    const auto digitsOf = [](const QString& c) {
        return QString::fromLatin1(numberDigitsFunction) + QLatin1Char('(') + c + QLatin1Char(')');
    };
    return QStringLiteral("select * from 客户数据\r\nwhere ") + anyColumnLike(digitsOf, contains(local)) +
           QStringLiteral("\r\norder by ") + rank(digitsOf, whole, local) + QStringLiteral(", ID\r\n");
}

QString phoneFieldCondition(const QString& field, const QString& text)
{
    bool phone = false;
    for (const char* c : kPhoneColumns)
        phone = phone || field.compare(QString::fromUtf8(c), Qt::CaseInsensitive) == 0;
    const QString digits = numberDigits(text);
    if (!phone || digits.isEmpty())
        return {};
    return QLatin1Char('(') + field + QStringLiteral(" like '%") + quotedValue(text) + QStringLiteral("%' or ") +
           QString::fromLatin1(numberDigitsFunction) + QLatin1Char('(') + field + QStringLiteral(") like ") +
           contains(digits) + QLatin1Char(')');
}

CallRecord callRecord(const QString& number, const QDateTime& when)
{
    CallRecord r;
    if (numberDigits(number).startsWith(QLatin1Char('1')))
        r.mobile = number;
    else
        r.phone = number;
    r.date = when.date().toString(QStringLiteral("yyyy-M-d"));
    r.time = when.time().toString(QStringLiteral("H:mm:ss"));
    return r;
}
