#pragma once
// The records of an Excel 97-2003 (BIFF8) workbook stream that do not
// depend on the data: record framing, the beginning and end of a substream,
// short strings and the workbook globals' fixed head (code page, window,
// fonts, formats, the default style).

#include <QByteArray>
#include <QString>

namespace xls {

constexpr int kMaxRecordData = 8224;  // longer data goes on in CONTINUE records
constexpr int kCellXf = 15;           // the default cell format (General)

constexpr quint16 rBOF = 0x0809, rEOF = 0x000A, rCODEPAGE = 0x0042, rWINDOW1 = 0x003D,
                  rFONT = 0x0031, rXF = 0x00E0, rSTYLE = 0x0293, rBOUNDSHEET = 0x0085,
                  rSST = 0x00FC, rCONTINUE = 0x003C, rEXTSST = 0x00FF, rDIMENSIONS = 0x0200,
                  rWINDOW2 = 0x023E, rLABELSST = 0x00FD, rNUMBER = 0x0203, rLABEL = 0x0204;

// A whole record: type, length, data.
void record(QByteArray& out, quint16 type, const QByteArray& data);
// BOF of the workbook globals (kind 5) or of a worksheet (kind 0x10).
QByteArray bof(quint16 kind);
QByteArray eof();
// Short Unicode string: 8-bit length, flags, characters (UTF-16).
void putShortString(QByteArray& d, const QString& s);
// The globals up to the sheets' BOUNDSHEET records.
QByteArray globalsHead();

}  // namespace xls
