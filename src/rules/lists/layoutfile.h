#pragma once
// The grids' layout files (set/DBGrid1.dat, set/DBGrid2.dat): an object
// stream holding one TColumnsWrapper whose Columns property lists the grid's
// columns in display order, each with its field name and, when it has one,
// an explicit width.

#include <QByteArray>
#include <QString>
#include <QVector>

namespace layoutfile {

struct Column {
    QString fieldName;
    int width = -1;  // -1: no explicit width
    bool operator==(const Column&) const = default;
};

// The whole file for these columns.  A width of -1 writes no Width property.
QByteArray write(const QVector<Column>& columns);

// Reads a whole file.  Any fault (signature, a tag or property it does not
// know, anything but a property list where an item belongs, a length running
// past the end, bytes after the end) makes it return
// false with a message in *error; *columns is then left untouched.
bool read(const QByteArray& bytes, QVector<Column>* columns, QString* error);

// One string value as the writer puts it: 0x06/0x0C for ASCII, 0x14 (UTF-8)
// or 0x12 (UTF-16) for the rest, whichever form is shorter.
QByteArray encodeString(const QString& text);
// One integer value in the smallest of 0x02, 0x03, 0x04.
QByteArray encodeInteger(qint32 value);

}  // namespace layoutfile

namespace gridwidths {

// Width of a column fitted to one value: 8 pixels per GBK byte of the value,
// at least 8 per GBK byte of the field name, at most `limit`, at least 32.
int fitted(const QString& valueText, const QString& fieldName, int limit);

// The grid's limit: the side panel's width divided by 3 (customer grid) or 2
// (call grid), to the nearest integer with halves going to the even one.
int limit(int sidePanelWidth, int divisor);

}  // namespace gridwidths
