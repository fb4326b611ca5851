#pragma once
// Workbook files of the export: which kind a file name asks for, the names
// of numbered workbooks, and writers for the three kinds (.xls, .xlsx,
// .csv) behind one small interface.  Every writer starts a further sheet
// when one is full, with the header row again.

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>

namespace exportfile {

enum class Format { Xls, Xlsx, Csv };

// By the name's extension, without regard to case; anything else is .xls.
Format formatOf(const QString& fileName);
QString extensionOf(Format f);  // ".xls", ".xlsx", ".csv"

// The name as the dialog hands it on: a name without one of the three
// extensions gets the one of the chosen type.
QString withExtension(const QString& fileName, Format chosen);

// The first line of every report of a workbook that could not be written.
QString failureHeadline();

// Longest text a cell holds in Excel; longer texts are cut there.
constexpr int kCellTextLimit = 32767;
// The limit of the format's cells (0: none, as in .csv).
int cellTextLimit(Format f);
// The text cut to at most `limit` characters, never between the two halves
// of a character outside the basic plane.
QString cutText(const QString& text, int limit);

// Records per workbook for a per-file limit in units of 10,000; 0 (and a
// negative limit) means no limit.
qint64 rowsPerWorkbook(int limit);
// Number of workbooks for `records` records: 1 without a limit, otherwise
// records / (limit x 10,000) rounded up (0 for no records).
qint64 workbookCount(qint64 records, int limit);
// Name of workbook k (from 1): the chosen name without its extension, the
// number, the extension (D:/out/KH.XLS -> D:/out/KH1.xls).
QString numberedName(const QString& chosen, qint64 k);

class TableWriter {
public:
    virtual ~TableWriter() = default;
    // Creates the file; false with a message when it cannot be written.
    virtual bool open(const QString& path, QString* error) = 0;
    virtual void beginSheet(const QString& name, const QStringList& header) = 0;
    // An empty text is an empty cell.
    virtual void addRow(const QStringList& row) = 0;
    // Whether the writer makes its file from UTF-8 texts without going
    // through QString: such a writer takes rows of UTF-8 as they are.
    virtual bool takesUtf8() const { return false; }
    // Whether writing beside the reading, on a thread of its own, can pay:
    // a writer with little to do a row (.csv) costs less than handing the
    // rows over.
    virtual bool worthAThread() const { return true; }
    virtual void addUtf8Row(const QByteArrayView* cells, qsizetype count);
    // Completes the file; false with a message naming the file and what
    // went wrong.
    virtual bool finish(QString* error) = 0;
};

std::unique_ptr<TableWriter> makeWriter(Format f);

// A new empty file beside `target`, hidden, only for its owner, to write the
// workbook into; "" with the reason in *error when the folder takes none.
QString temporaryBeside(const QString& target, QString* error);
// Gives the written temporary the usual permissions of a new file and moves
// it over `target`; on failure the temporary is removed and *error says why.
bool moveIntoPlace(const QString& temporary, const QString& target, QString* error);

}  // namespace exportfile
