#pragma once
// Little-endian bytes, as the Excel 97-2003 file and its container want them.

#include <QByteArray>
#include <QtEndian>

namespace xls {

inline void put8(QByteArray& b, quint8 v) { b.append(char(v)); }
inline void put16(QByteArray& b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}
inline void put32(QByteArray& b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}
inline void set16(QByteArray& b, qsizetype at, quint16 v) { qToLittleEndian(v, b.data() + at); }
inline void set32(QByteArray& b, qsizetype at, quint32 v) { qToLittleEndian(v, b.data() + at); }

}  // namespace xls
