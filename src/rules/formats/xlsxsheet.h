#pragma once
// One pass over a worksheet of an .xlsx, as the XML reader hands out its
// tokens: cells become typed values, rows are handed on in order, and the
// limits of Excel are kept (rows, columns, characters of a cell and of a
// row).  Used by the .xlsx reader only.

#include <QString>
#include <QVariantList>
#include <QVector>
#include <QXmlStreamReader>
#include <functional>

namespace xlsx {

class SharedTexts;

class SheetScan {
public:
    // Gets every row from the first one in the file (the header, index 0)
    // to the last one, rows left out of the file between them as empty rows,
    // each as long as its last cell; returning false ends the pass early.
    using RowHandler = std::function<bool(qint64, QVariantList&)>;

    struct Workbook {
        QString path;
        const SharedTexts* strings = nullptr;
        const QVector<bool>* dateStyles = nullptr;
        bool date1904 = false;
    };

    SheetScan(const Workbook& book, const QString& sheet, RowHandler row);

    // Reads tokens until the part is done, the handler stops or a problem
    // is found; false on a problem (or XML the reader cannot take).
    bool parse(QXmlStreamReader& x);
    // Why the sheet cannot be read; empty when it can.
    const QString& problem() const { return problem_; }
    // Where the pass stands, for messages: "的工作表“Sheet1”第3行".
    QString where() const;

private:
    void startElement(QXmlStreamReader& x);
    void characters(QXmlStreamReader& x);
    void endElement(QXmlStreamReader& x);
    void startRow(QXmlStreamReader& x);
    void endCell();
    QVariant cellValue();
    QVariant number(const QString& v, int style) const;
    void handOnRow();
    void fail(const QString& why);
    QString whereRow(qint64 row) const;

    Workbook book_;
    QString sheet_;
    RowHandler row_;
    QVariantList values_;  // the row being read, by column
    qint64 rowNumber_ = 0;  // of the row being read (from 1)
    qint64 firstRow_ = 0;   // the header's
    qint64 lastRow_ = 0;    // last row handed on
    qint64 rowChars_ = 0;
    bool stop_ = false;
    QString problem_;
    int cellCol_ = -1, cellStyle_ = -1;
    QString cellType_, cellText_;
    bool inCell_ = false, inValue_ = false, inInline_ = false, inText_ = false;
    int phonetic_ = 0;
};

}  // namespace xlsx
