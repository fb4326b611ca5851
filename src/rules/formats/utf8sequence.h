#pragma once
// The well-formed sequences of UTF-8 (RFC 3629): no overlong forms, no
// surrogates, nothing past U+10FFFF.

#include <QtGlobal>

namespace utf8 {

// The length of the character of more than one byte starting at s[i] (n
// bytes in all); 0 when the bytes there are no well-formed sequence (a
// byte out of place, a sequence too long or cut short, a surrogate).
inline int sequenceLength(const uchar* s, qsizetype i, qsizetype n)
{
    const uchar lead = s[i];
    int length;
    uchar low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > n || s[i + 1] < low || s[i + 1] > high)
        return 0;
    for (int k = 2; k < length; ++k)
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
    return length;
}

}  // namespace utf8
