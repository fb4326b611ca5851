#pragma once
// Tables out of other programs' files (Excel workbooks, Access databases,
// text files): one small interface over the libraries that read them.  The
// import windows and the moving-in of an old Access database use it.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QList>
#include <QVariantList>
#include <functional>
#include <memory>

class TableReader {
public:
    virtual ~TableReader() = default;

    // Names of the file's tables in file order (worksheets end with "$";
    // an Access file lists its user tables only).
    virtual QStringList tableNames() = 0;
    // Column names of one table in file order.
    virtual QStringList columnNames(const QString& table) = 0;
    // Number of data rows of one table, or -1 when it cannot be read.
    virtual qint64 rowCount(const QString& table) = 0;
    // Calls `row` with every data row in order, one typed value per column
    // (a null QVariant for an empty cell; numbers as double or qint64, dates
    // as QDate/QDateTime/QTime, texts as QString); stops early when `row`
    // returns false.  Returns false with error() set when the file cannot be
    // read; rows handed out before that stay handed out.
    virtual bool readRows(const QString& table,
                          const std::function<bool(const QVariantList&)>& row) = 0;
    // Text of the last failure, in the program's Chinese.
    virtual QString error() const = 0;
    // What the person importing should know about how the file was read
    // (bytes that were not text in its encoding, replaced); empty when
    // nothing.
    virtual QString warning() const { return {}; }
    // Appends rows at the end of one table, one value per column.  The file
    // is written anew under a temporary name beside it and then moved over
    // it, so a failure leaves it as it was.  Returns false with *error set
    // when the rows cannot be added (files that can only be read say so).
    virtual bool appendRows(const QString& table, const QList<QVariantList>& rows, QString* error);
};

// Opens a file by its extension (.xls, .xlsx, .csv, .mdb, .accdb).  Returns
// null with a Chinese message in *error when the file cannot be opened.
std::unique_ptr<TableReader> openTableReader(const QString& path, QString* error);
