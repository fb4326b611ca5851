#include "rules/formats/biffrecords.h"

#include "rules/formats/littleendian.h"

namespace xls {

void record(QByteArray& out, quint16 type, const QByteArray& data)
{
    put16(out, type);
    put16(out, quint16(data.size()));
    out.append(data);
}

QByteArray bof(quint16 kind)
{
    QByteArray d;
    put16(d, 0x0600);  // BIFF8
    put16(d, kind);    // 5 = workbook globals, 0x10 = worksheet
    put16(d, 0x0DBB);  // build
    put16(d, 0x07CC);  // year
    put32(d, 0x00000041);
    put32(d, 0x00000006);
    QByteArray out;
    record(out, rBOF, d);
    return out;
}

QByteArray eof()
{
    QByteArray out;
    record(out, rEOF, {});
    return out;
}

void putShortString(QByteArray& d, const QString& s)
{
    put8(d, quint8(s.size()));
    put8(d, 1);
    d.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray globalsHead()
{
    QByteArray out = bof(0x0005);
    {
        QByteArray d;
        put16(d, 1200);  // UTF-16
        record(out, rCODEPAGE, d);
    }
    {
        QByteArray d;
        put16(d, 0x0168);
        put16(d, 0x001E);
        put16(d, 0x3A5C);
        put16(d, 0x2328);
        put16(d, 0x0038);  // horizontal and vertical scroll bars, sheet tabs
        put16(d, 0);       // active sheet
        put16(d, 0);       // first visible tab
        put16(d, 1);       // selected sheets
        put16(d, 0x0258);  // tab bar width ratio
        record(out, rWINDOW1, d);
    }
    // Five fonts: the format skips font index 4, so four are the least a
    // reader expects; all are 宋体 10.5 pt.
    for (int i = 0; i < 5; ++i) {
        QByteArray d;
        put16(d, 210);     // height in twips
        put16(d, 0);       // no attributes
        put16(d, 0x7FFF);  // automatic colour
        put16(d, 400);     // normal weight
        put16(d, 0);       // no super/subscript
        put8(d, 0);        // no underline
        put8(d, 0);        // family
        put8(d, 134);      // GB2312 character set
        put8(d, 0);
        putShortString(d, QStringLiteral("宋体"));
        record(out, rFONT, d);
    }
    // Sixteen style formats (the built-in styles expect them) and one cell
    // format that every cell uses.
    for (int i = 0; i <= kCellXf; ++i) {
        const bool style = i < kCellXf;
        QByteArray d;
        put16(d, 0);                        // font
        put16(d, 0);                        // number format: General
        put16(d, style ? 0xFFF5 : 0x0001);  // locked; style formats have no parent
        put8(d, 0x20);                      // bottom aligned
        put8(d, 0);                         // no rotation
        put8(d, 0);                         // no indent
        put8(d, style && i > 0 ? 0xF4 : 0); // attributes owned
        put32(d, 0);                        // no borders
        put32(d, 0);
        put16(d, 0x20C0);                   // default pattern colours
        record(out, rXF, d);
    }
    {
        QByteArray d;
        put16(d, 0x8000);  // built-in style on format 0
        put8(d, 0);        // Normal
        put8(d, 0xFF);
        record(out, rSTYLE, d);
    }
    return out;
}

}  // namespace xls
