#include "ui/records/recordprinting.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <algorithm>
#include <memory>

#include "data/dataset/dataset.h"
#include "rules/records/printpages.h"

namespace {

// Rows laid out as one table at most.  One table of thousands of rows takes
// the text layout minutes (its cost grows faster than the rows); a slice of
// about a page keeps the whole print in step with its rows.
constexpr int kSliceRows = 36;

// A document laid out on the printer's pages with margins of 2 cm (in the
// layout's units, which it scales to the printer's resolution).
std::unique_ptr<QTextDocument> laidOut(const QString& html, QPrinter& printer)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->documentLayout()->setPaintDevice(&printer);
    doc->setHtml(html);
    QTextFrameFormat frame = doc->rootFrame()->frameFormat();
    frame.setMargin(96 * 2 / 2.54);
    doc->rootFrame()->setFrameFormat(frame);
    doc->setPageSize(QSizeF(printer.width(), printer.height()));
    return doc;
}

// The pages of one print, numbered through.
class Pages {
public:
    Pages(QPrinter& printer, QPainter& painter) : printer_(printer), painter_(painter) {}

    void print(const QTextDocument& doc)
    {
        const QSizeF size = doc.pageSize();
        for (int page = 0; page < doc.pageCount(); ++page) {
            if (printed_ > 0)
                printer_.newPage();
            painter_.save();
            painter_.translate(0, -page * size.height());
            const QRectF view(0, page * size.height(), size.width(), size.height());
            painter_.setClipRect(view);
            QAbstractTextDocumentLayout::PaintContext ctx;
            ctx.clip = view;
            ctx.palette.setColor(QPalette::Text, Qt::black);
            doc.documentLayout()->draw(&painter_, ctx);
            painter_.restore();
            ++printed_;
            drawNumber(size);
        }
    }

private:
    void drawNumber(const QSizeF& size)
    {
        const QString text = QStringLiteral("第 ") + QString::number(printed_) + QStringLiteral(" 页");
        const QFontMetricsF metrics(painter_.font(), &printer_);
        const qreal margin = printer_.logicalDpiY() * 2 / 2.54;
        painter_.drawText(QPointF(size.width() - margin - metrics.horizontalAdvance(text), size.height() - margin / 2),
                          text);
    }

    QPrinter& printer_;
    QPainter& painter_;
    int printed_ = 0;
};

// The rows from `from` that fill a page (at least one), laid out.  *count
// comes in as the rows the last page held (the guess for this one) and goes
// out as the rows laid out.
std::unique_ptr<QTextDocument> nextSlice(const PrintedList& list, const QString& title, qsizetype from,
                                         QPrinter& printer, qsizetype* count)
{
    qsizetype n = std::min<qsizetype>(std::max<qsizetype>(*count, 1), list.rows.size() - from);
    for (;;) {
        auto doc = laidOut(listPage(title, list.columns, list.rows.mid(from, n)), printer);
        if (doc->pageCount() <= 1 || n <= 1) {
            *count = std::max<qsizetype>(n, 1);
            return doc;
        }
        n = std::max<qsizetype>(1, n * 4 / 5);
    }
}

}  // namespace

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

QString cutListNote(const PrintedList& list)
{
    if (!list.isCut())
        return {};
    return list.title + QStringLiteral("共 ") + QString::number(list.totalRows) + QStringLiteral(" 行，只打印前 ") +
           QString::number(list.rows.size()) + QStringLiteral(" 行。");
}

bool printRecords(QPrinter& printer, const QString& cardTitle, const QList<QPair<QString, QString>>& card,
                  const PrintedList& list, const PrintSteps& steps)
{
    QPainter painter(&printer);
    if (!painter.isActive())
        return true;
    const qsizetype total = list.rows.size() + 1;  // the card counts as one
    auto stopped = [&] {
        if (!steps.stopRequested || !steps.stopRequested())
            return false;
        painter.end();
        printer.abort();
        return true;
    };
    Pages pages(printer, painter);
    pages.print(*laidOut(cardPage(cardTitle, card), printer));
    if (steps.report)
        steps.report(1, int(total));
    if (list.columns.isEmpty())
        return true;
    QString title = list.title;
    if (list.isCut())
        title += QStringLiteral("（共 ") + QString::number(list.totalRows) + QStringLiteral(" 行，打印前 ") +
                 QString::number(list.rows.size()) + QStringLiteral(" 行）");
    qsizetype from = 0;
    qsizetype count = kSliceRows;
    do {
        if (stopped())
            return false;
        pages.print(*nextSlice(list, from == 0 ? title : list.title + QStringLiteral("（续）"), from, printer, &count));
        from += count;
        if (steps.report)
            steps.report(int(std::min(from, list.rows.size()) + 1), int(total));
    } while (from < list.rows.size());
    return true;
}
