#pragma once
// "打印客户资料": the current record's card, then the list as it is shown
// (its columns and order), printed through Qt's print dialog to a printer or
// a PDF file.

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class DataSet;
class QPrinter;
class QWidget;

struct PrintedList {
    QString title;
    QStringList columns;     // field names as the grid shows them
    QList<QStringList> rows;
    int totalRows = 0;       // rows of the list; more than rows when cut
};

// The list's rows as shown, at most `limit` of them (a list of a million
// calls is not printed whole).
PrintedList listToPrint(const QString& title, DataSet& rows, const QStringList& columns, int limit = 2000);

// The card and the list as one document, laid out on `printer`'s pages.
void printRecords(QPrinter& printer, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                  const PrintedList& list);

// Asks for the printer (or a PDF file) in Qt's print dialog and prints;
// false when the operator cancelled.
bool choosePrinterAndPrint(QWidget* parent, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                           const PrintedList& list);
