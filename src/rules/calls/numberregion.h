#pragma once
// 号码归属地: where a number belongs (the province and city of a mobile
// prefix or an area code), from libphonenumber's offline geocoder, which
// Debian ships with its data.  The number is read as a Chinese number after
// the program's own clean-up (numberDigits), so "+86 138-1234-5678",
// "0571-8765-4321" and "0086 10 1234 5678" all find their place.  A number
// with another country's code ("+1 650 253 0000", "00852 2123 4567") is read
// as that country's, and named in Chinese ("香港").

#include <QString>

// "浙江省杭州市", "江苏省连云港市", "北京市"; empty where the library knows
// none (a local number without area code, service numbers such as 95588,
// internal extensions, text that is not a number).  In process, no I/O
// after the first call.
QString numberRegion(const QString& number);

// Reads the geocoder's data on a thread of the pool, so that the first call
// is not the one that waits for it.
void warmUpNumberRegion();
