#pragma once
// The readers behind openTableReader(), one per kind of file, and the small
// pieces they share.

#include <QDate>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

#include "rules/formats/tablereader.h"

namespace readers {

// Each returns null with a Chinese message in *error when the file cannot be
// opened as that kind of file.
std::unique_ptr<TableReader> openAccess(const QString& path, QString* error);
// *biff (when given) tells whether the file is an Excel 97-2003 workbook at
// all, so that a failure is about its content.
std::unique_ptr<TableReader> openXls(const QString& path, QString* error, bool* biff = nullptr);
std::unique_ptr<TableReader> openXlsx(const QString& path, QString* error);
std::unique_ptr<TableReader> openCsv(const QString& path, QString* error);
// This program's own databases (SQLite files, whatever their extension).
std::unique_ptr<TableReader> openSqlite(const QString& path, QString* error);
bool isSqliteFile(const QString& path);

// A serial date of Excel and Access (days since 1899-12-30, the fraction the
// time of day) as a typed value: a QDate when there is no time, a QTime when
// there is no date, a QDateTime otherwise.  Access keeps days before 1899-12-30
// negative with the time as a positive fraction.
QVariant fromSerialDate(double serial);

// Writes a file anew: `write` makes the new content under a temporary name
// beside `path`, which then replaces `path`.  On any failure `path` is left
// as it was, the temporary file removed and *error set.
bool replaceFile(const QString& path, const std::function<bool(const QString& temporary, QString* error)>& write,
                 QString* error);

// A value as the writers take it: dates and times become their text.
QVariant writableValue(const QVariant& v);

// "文件名" as messages show it.
QString shownName(const QString& path);

}  // namespace readers
