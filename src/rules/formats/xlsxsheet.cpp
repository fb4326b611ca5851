#include "rules/formats/xlsxsheet.h"

#include <QDateTime>
#include <cmath>

#include "rules/formats/xlsxparts.h"

namespace xlsx {

SheetScan::SheetScan(const Workbook& book, const QString& sheet, RowHandler row)
    : book_(book), sheet_(sheet), row_(std::move(row))
{
}

QString SheetScan::whereRow(qint64 row) const
{
    return QStringLiteral("的工作表“%1”第%2行").arg(sheet_, QString::number(row));
}

QString SheetScan::where() const
{
    return rowNumber_ ? whereRow(rowNumber_) : QStringLiteral("的工作表“%1”").arg(sheet_);
}

void SheetScan::fail(const QString& why)
{
    problem_ = why;
    stop_ = true;
}

bool SheetScan::parse(QXmlStreamReader& x)
{
    while (!stop_ && !x.atEnd()) {
        const auto t = x.readNext();
        if (t == QXmlStreamReader::Invalid)
            return x.error() == QXmlStreamReader::PrematureEndOfDocumentError;
        if (t == QXmlStreamReader::StartElement)
            startElement(x);
        else if (t == QXmlStreamReader::Characters)
            characters(x);
        else if (t == QXmlStreamReader::EndElement)
            endElement(x);
    }
    return !stop_;
}

void SheetScan::startElement(QXmlStreamReader& x)
{
    const auto n = x.name();
    if (n == QLatin1String("c")) {
        const auto a = x.attributes();
        const auto ref = a.value(QLatin1String("r"));
        cellCol_ = ref.isEmpty() ? int(values_.size()) : columnOf(ref);
        if (cellCol_ < 0 || cellCol_ >= kMaxColumns) {
            fail(damaged(book_.path));
            return;
        }
        cellType_ = a.value(QLatin1String("t")).toString();
        cellStyle_ = a.hasAttribute(QLatin1String("s")) ? a.value(QLatin1String("s")).toInt() : -1;
        cellText_.clear();
        inCell_ = true;
    } else if (inCell_ && n == QLatin1String("v")) {
        inValue_ = true;
    } else if (inCell_ && n == QLatin1String("is")) {
        inInline_ = true;
    } else if (inInline_ && n == QLatin1String("rPh")) {
        ++phonetic_;
    } else if (inInline_ && n == QLatin1String("t") && !phonetic_) {
        inText_ = true;
    } else if (n == QLatin1String("row")) {
        startRow(x);
    }
}

void SheetScan::startRow(QXmlStreamReader& x)
{
    const auto r = x.attributes().value(QLatin1String("r"));
    bool ok = true;
    const qint64 number = r.isEmpty() ? rowNumber_ + 1 : r.toLongLong(&ok);
    if (ok && number > kMaxRows) {
        fail(QStringLiteral("工作簿 %1%2超出了Excel的最大行数1048576，文件已损坏，不能读取。")
                 .arg(readers::shownName(book_.path), whereRow(number)));
        return;
    }
    if (!ok || number <= rowNumber_) {
        fail(damaged(book_.path));
        return;
    }
    rowNumber_ = number;
    values_.clear();
    rowChars_ = 0;
}

void SheetScan::characters(QXmlStreamReader& x)
{
    // Only the text of <v> and of <t> counts: whitespace between the other
    // tags is layout.
    if (!inValue_ && !inText_)
        return;
    cellText_ += x.text();
    if (cellText_.size() > 7 * kMaxCellChars)
        fail(cellTooLong(book_.path, where()));
}

void SheetScan::endElement(QXmlStreamReader& x)
{
    const auto n = x.name();
    if (n == QLatin1String("v"))
        inValue_ = false;
    else if (n == QLatin1String("t"))
        inText_ = false;
    else if (n == QLatin1String("rPh"))
        --phonetic_;
    else if (n == QLatin1String("is"))
        inInline_ = false;
    else if (n == QLatin1String("c") && inCell_)
        endCell();
    else if (n == QLatin1String("row"))
        handOnRow();
}

QVariant SheetScan::cellValue()
{
    if (cellType_ == QLatin1String("s")) {
        bool ok = false;
        const qsizetype k = cellText_.trimmed().toLongLong(&ok);
        if (!ok || k < 0 || k >= book_.strings->size()) {
            fail(damaged(book_.path));
            return {};
        }
        const QString s = book_.strings->at(k);
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    if (cellType_ == QLatin1String("inlineStr") || cellType_ == QLatin1String("str")) {
        const QString s = decodeEscapes(cellText_);
        return s.isEmpty() ? QVariant() : QVariant(s);
    }
    if (cellType_ == QLatin1String("b"))
        return qint64(cellText_.trimmed() == QLatin1String("1") ? 1 : 0);
    if (cellType_ == QLatin1String("e"))
        return {};
    if (cellType_ == QLatin1String("d"))
        return QDateTime::fromString(cellText_.trimmed(), Qt::ISODate);
    return number(cellText_.trimmed(), cellStyle_);
}

void SheetScan::endCell()
{
    inCell_ = false;
    const QVariant v = cellValue();
    if (stop_)
        return;
    if (v.typeId() == QMetaType::QString) {
        const qsizetype len = v.toString().size();
        rowChars_ += len;
        if (len > kMaxCellChars) {
            fail(cellTooLong(book_.path, where()));
            return;
        }
        if (rowChars_ > kMaxRowChars) {
            fail(QStringLiteral("工作簿 %1%2的文字太多（超过800万个字符），不能读取。")
                     .arg(readers::shownName(book_.path), where()));
            return;
        }
    }
    if (values_.size() <= cellCol_)
        values_.resize(cellCol_ + 1);
    values_[cellCol_] = v;
}

QVariant SheetScan::number(const QString& v, int style) const
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok)
        return v.isEmpty() ? QVariant() : QVariant(v);
    if (style >= 0 && style < book_.dateStyles->size() && book_.dateStyles->at(style))
        return readers::fromSerialDate(book_.date1904 ? d + 1462 : d);
    if (std::fabs(d) < 9.0e15 && d == std::trunc(d))
        return qint64(d);
    return d;
}

void SheetScan::handOnRow()
{
    if (!firstRow_)
        firstRow_ = lastRow_ = rowNumber_;
    // Rows left out of the file between two rows are empty rows.
    while (lastRow_ + 1 < rowNumber_ && !stop_) {
        ++lastRow_;
        QVariantList empty;
        if (!row_(lastRow_ - firstRow_, empty))
            stop_ = true;
    }
    if (stop_)
        return;
    lastRow_ = rowNumber_;
    if (!row_(rowNumber_ - firstRow_, values_))
        stop_ = true;
}

}  // namespace xlsx
