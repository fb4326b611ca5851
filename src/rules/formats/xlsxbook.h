#pragma once
// Excel workbooks (.xlsx) written as the rows come: each worksheet's XML is
// made a row at a time and deflated into the zip at once, its texts inline
// in their cells; the workbook's small parts follow the worksheets.  The
// memory it takes does not grow with the rows.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>

namespace xlsx {

class BookWriter {
public:
    static constexpr qint64 kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;
    static constexpr int kMaxSheetName = 31;

    BookWriter();
    ~BookWriter();  // an unfinished file is closed as it is
    BookWriter(const BookWriter&) = delete;
    BookWriter& operator=(const BookWriter&) = delete;

    // Creates the file; false with the reason.
    bool open(const QString& path, QString* error);
    // Ends the current worksheet and starts one under the name made fit for
    // a sheet (sheetNameFor); an empty name, or one a sheet of the workbook
    // has already (in any case), becomes "Sheet<n>", n its position.
    void beginSheet(const QString& name);
    // A row of texts on the current worksheet (one named "Sheet1" when none
    // was begun); an empty text leaves its cell empty.  Columns past the
    // format's last are left out and said so by finish().
    void addRow(const QStringList& row);
    // The same for texts in UTF-8, as a database file holds them: the XML
    // is made from their bytes (bytes that are no UTF-8 are read as
    // QString::fromUtf8 reads them).
    void addRow(const QByteArrayView* cells, qsizetype count);
    qint64 rowsInSheet() const;
    // Completes the file; false with what went wrong (the first thing).
    bool finish(QString* error);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The name as a worksheet may carry it: []:*?/\ and control characters as
// "_", no apostrophe at either end, at most 31 characters (never between
// the halves of a character outside the basic plane).
QString sheetNameFor(const QString& wanted);

// A text as the content of a <t> element: UTF-8, the markup characters as
// entities, the characters XML cannot carry (and a carriage return, which
// an XML reader would turn into a line feed) as _xHHHH_, and a "_x" that
// would read as such an escape guarded as _x005F_.
void appendCellText(QByteArray& out, const QString& text);
void appendCellText(QByteArray& out, QByteArrayView utf8);

}  // namespace xlsx
