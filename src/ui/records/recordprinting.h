#pragma once
// "打印客户资料": the current record's card, then the list as it is shown
// (its columns and order), printed through Qt's print dialog to a printer or
// a PDF file.
//
// Laying out and printing thousands of rows takes minutes, so it is long
// work: it runs on a thread of its own (painting on a printer is allowed
// there) with its progress and 停止, and the window goes on answering calls.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

class DataSet;
class QPrinter;
class QWidget;

struct PrintedList {
    QString title;
    QStringList columns;     // field names as the grid shows them
    QList<QStringList> rows;
    int totalRows = 0;       // rows of the list; more than rows when cut

    bool isCut() const { return totalRows > rows.size(); }
};

// The most rows of a list printed: a list of a million calls is not printed whole.
constexpr int kPrintedRows = 2000;

// The list's rows as shown, at most `limit` of them.
PrintedList listToPrint(const QString& title, DataSet& rows, const QStringList& columns,
                        int limit = kPrintedRows);

// What the operator is told when a list is cut ("" when it is printed whole).
QString cutListNote(const PrintedList& list);

// How a print follows its pages: told after each page (pages printed, pages
// in all), asked before each whether to stop.
struct PrintSteps {
    std::function<void(int done, int total)> report;
    std::function<bool()> stopRequested;
};

// The card and the list, laid out on `printer`'s pages: the card on the
// first page, the list from the second, a slice of rows at a time, every
// page numbered.  False when a stop ended it (the printer's job is then
// aborted).  May run on any thread that alone uses `printer`.
bool printRecords(QPrinter& printer, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                  const PrintedList& list, const PrintSteps& steps = {});
