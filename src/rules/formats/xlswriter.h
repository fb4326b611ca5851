#pragma once
// Excel 97-2003 workbooks (.xls) written directly: BIFF8 records in an OLE2
// compound file.  Texts go into the shared string table, numbers into
// number cells, empty values leave the cell empty.
//
// A worksheet of this format holds at most 65,536 rows.  Rows past that
// continue on a further worksheet of the same workbook ("客户(2)", ...),
// which starts with the header row again, so nothing is dropped.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

namespace xls {

constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;
constexpr int kMaxTextLength = 32767;  // longer texts are cut there
// Distinct texts kept in the shared string table; further ones of up to 255
// characters are stored in their cells.  Readers such as freexl refuse a
// table of more than 2^20 texts.
constexpr quint32 kSharedStringLimit = 1u << 20;

struct Sheet {
    QString name;
    QList<QVariantList> rows;  // row 0 = header
};

// QString cell -> text (shared strings), double/qint64 -> number, null or an
// empty text -> empty cell.  Writes directly to `path`; callers that must not
// leave a half-written file behind write to a temporary name and rename.
bool writeWorkbook(const QString& path, const QList<Sheet>& sheets, QString* error);

// The same, a row at a time, for exports too large to hold as values.
class WorkbookWriter {
public:
    WorkbookWriter();
    ~WorkbookWriter();
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;

    // Starts a worksheet whose first row is the header; the header is
    // repeated on every continuation sheet.
    void beginSheet(const QString& name, const QVariantList& header);
    // Starts a worksheet without a header row.
    void beginSheet(const QString& name);
    // Adds a data row to the current worksheet (starts one if none).
    void addRow(const QVariantList& row);
    // The same for a row of texts.
    void addTextRow(const QStringList& row);

    int sheetCount() const;
    // Lowers the number of distinct texts shared (tests).
    void setSharedStringLimit(quint32 n);
    // Writes the workbook.  On failure returns false with a message in *error.
    bool save(const QString& path, QString* error);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace xls
