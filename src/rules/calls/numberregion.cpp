// The library's headers come before Qt's: they use words Qt defines as macros.
#include <phonenumbers/geocoding/phonenumber_offline_geocoder.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/locid.h>

#include "rules/calls/numberregion.h"

#include "rules/calls/callrules.h"

#include <QThreadPool>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberOfflineGeocoder;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

// The number in international form ("+16502530000") when it carries a
// country code other than China's: a leading "+" or "00" (full-width ones
// too).  Empty for every other number.
QString foreignNumber(const QString& number)
{
    const QString text = number.trimmed();
    QString digits;
    for (const QChar c : text)
        if (c.isDigit())
            digits += QChar(u'0' + c.digitValue());
    QString international;
    if (text.startsWith(QLatin1Char('+')) || text.startsWith(QChar(0xFF0B)))
        international = digits;
    else if (digits.startsWith(QLatin1String("00")))
        international = digits.mid(2);
    if (international.isEmpty() || international.startsWith(QLatin1String("86")))
        return {};
    return QLatin1Char('+') + international;
}

}  // namespace

QString numberRegion(const QString& number)
{
    static const PhoneNumberOfflineGeocoder geocoder;
    static const icu::Locale chinese("zh", "CN");
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
    if (const QString foreign = foreignNumber(number); !foreign.isEmpty()) {
        // The geocoder names the place, or at least the country, in Chinese.
        if (util->Parse(foreign.toStdString(), "ZZ", &parsed) != PhoneNumberUtil::NO_PARSING_ERROR ||
            !util->IsValidNumber(parsed))
            return {};
        QString place = QString::fromStdString(geocoder.GetDescriptionForNumber(parsed, chinese));
        // "中国香港特别行政区" is said the way an office says it: 香港 (澳门).
        const QString china = QStringLiteral("中国"), region = QStringLiteral("特别行政区");
        if (place.startsWith(china) && place.endsWith(region) && place.size() > china.size() + region.size())
            place = place.mid(china.size(), place.size() - china.size() - region.size());
        return place;
    }
    const QString digits = numberDigits(number);
    if (digits.size() < 7)
        return {};  // service numbers and extensions belong nowhere
    if (util->Parse(digits.toStdString(), "CN", &parsed) != PhoneNumberUtil::NO_PARSING_ERROR)
        return {};
    if (!util->IsValidNumber(parsed))
        return {};
    return QString::fromStdString(geocoder.GetDescriptionForNumber(parsed, chinese));
}

void warmUpNumberRegion()
{
    QThreadPool::globalInstance()->start([] { numberRegion(QStringLiteral("01012345678")); });
}
