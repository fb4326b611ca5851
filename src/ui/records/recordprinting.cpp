#include "ui/records/recordprinting.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include "data/app/dataset.h"
#include "rules/records/printpages.h"

PrintedList listToPrint(const QString& title, DataSet& rows, const QStringList& columns, int limit)
{
    PrintedList list;
    list.title = title;
    list.columns = columns;
    if (!rows.isActive())
        return list;
    QVector<int> fields;
    for (const QString& c : columns)
        fields << rows.findField(c);
    const int count = rows.rowCount() - (rows.state() == DataSet::State::Insert ? 1 : 0);
    list.totalRows = count;
    for (int r = 0; r < count && r < limit; ++r) {
        if (rows.isInsertRow(r))
            continue;
        QStringList row;
        for (int f : fields)
            row << (f >= 0 ? rows.rowValue(r, f).toString() : QString());
        list.rows << row;
    }
    return list;
}

void printRecords(QPrinter& printer, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                  const PrintedList& list)
{
    QString html = cardPage(cardTitle, card);
    if (!list.columns.isEmpty()) {
        QString title = list.title;
        if (list.totalRows > list.rows.size())
            title += QStringLiteral("（共 %1 行，打印前 %2 行）")
                         .arg(QString::number(list.totalRows), QString::number(list.rows.size()));
        // The list starts on a page of its own.
        html.replace(QStringLiteral("</body></html>"),
                     QStringLiteral("<div style=\"page-break-before:always\"></div>") +
                         listPage(title, list.columns, list.rows).section(QStringLiteral("<body>"), 1));
    }
    QTextDocument document;
    document.setHtml(html);
    document.print(&printer);
}

bool choosePrinterAndPrint(QWidget* parent, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                           const PrintedList& list)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(cardTitle);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印客户资料"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    printRecords(printer, cardTitle, card, list);
    return true;
}
