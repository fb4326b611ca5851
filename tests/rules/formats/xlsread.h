#pragma once
// Reads written workbooks back for comparison: .xls through freexl, and
// through Gnumeric's converter as an independent reader.

#include <QList>
#include <QString>
#include <QStringList>

namespace xlsread {

struct SheetCells {
    QString name;
    QList<QStringList> rows;  // every cell as text, "" for an empty cell
    int columns = 0;
};

// Every worksheet of the workbook; fails the running test when it cannot be
// read (returns an empty list).
QList<SheetCells> readXls(const QString& path);

// The first worksheet as Gnumeric reads it, written out as CSV (`csv`) and
// returned as its text; a text in <angle brackets> when ssconvert is missing
// or fails, so that the comparison fails.
QString readByGnumeric(const QString& xls, const QString& csv);

}  // namespace xlsread

namespace xlsread {
// Every worksheet of an .xlsx workbook, unzipped and parsed.
QList<SheetCells> readXlsx(const QString& path);
}  // namespace xlsread
