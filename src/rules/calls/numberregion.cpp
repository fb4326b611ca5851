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

QString numberRegion(const QString& number)
{
    const QString digits = numberDigits(number);
    if (digits.size() < 7)
        return {};  // service numbers and extensions belong nowhere
    static const PhoneNumberOfflineGeocoder geocoder;
    static const icu::Locale chinese("zh", "CN");
    const PhoneNumberUtil* util = PhoneNumberUtil::GetInstance();
    PhoneNumber parsed;
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
