#pragma once
// Reads written workbooks back for comparison: .xls through freexl.

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

}  // namespace xlsread

namespace xlsread {
// Every worksheet of an .xlsx workbook, unzipped and parsed.
QList<SheetCells> readXlsx(const QString& path);
}  // namespace xlsread
