// Excel 2007 and later workbooks (.xlsx): a zip of XML parts, read with
// minizip and Qt's XML stream reader.  Worksheets are the tables, named with
// a trailing "$" like those of an .xls; the first row holds the column names.
//
// A workbook is read within Excel's own limits (1,048,576 rows, 16,384
// columns, 32,767 characters in a cell) and in bounded memory: the parts are
// streamed, no XML token may grow past kMaxTokenBytes before the XML reader
// sees it, and the shared texts take at most kSharedTextBudget bytes.  A file
// past any of these is refused with a message saying which limit it broke.
#include <unzip.h>
#include <xlsxwriter.h>

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>
#include <cmath>

#include "rules/formats/readers.h"
#include "rules/formats/xlsxparts.h"
#include "rules/formats/xlsxsheet.h"

namespace {

using namespace xlsx;

class XlsxReader : public TableReader {
public:
    explicit XlsxReader(const QString& path) : path_(path), zip_(path) {}

    bool init(QString* error)
    {
        if (!zip_.ok() || !readWorkbook() || !readStyles()) {
            *error = damaged(path_);
            return false;
        }
        if (!readStrings()) {
            *error = error_;
            return false;
        }
        return true;
    }

    QStringList tableNames() override { return names_; }

    QStringList columnNames(const QString& table) override
    {
        const Shape* s = shape(table);
        return s ? s->names : QStringList();
    }

    qint64 rowCount(const QString& table) override
    {
        const Shape* s = shape(table);
        return s ? s->rows : -1;
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        const Shape* s = shape(table);
        if (!s)
            return false;
        const int width = s->width;
        return scan(table, [&](qint64 index, QVariantList& values) {
            if (index == 0)
                return true;  // the header row
            values.resize(width);
            return row(values);
        });
    }

    QString error() const override { return error_; }

    // A new workbook with every sheet's values and the rows at the end of
    // the chosen sheet replaces the old one.
    bool appendRows(const QString& table, const QList<QVariantList>& rows, QString* error) override
    {
        if (!names_.contains(table)) {
            *error = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        QList<QList<QVariantList>> content;
        for (const QString& name : names_) {
            QList<QVariantList> sheet;
            const Shape* s = shape(name);
            if (!s) {
                *error = error_;
                return false;
            }
            const int width = std::max(s->width, 1);
            const bool ok = scan(name, [&](qint64, QVariantList& values) {
                values.resize(width);
                sheet << values;
                return true;
            });
            if (!ok) {
                *error = error_;
                return false;
            }
            if (name == table)
                sheet += rows;
            content << sheet;
        }
        return readers::replaceFile(
            path_,
            [&](const QString& temporary, QString* err) {
                lxw_workbook* wb = workbook_new(QFile::encodeName(temporary).constData());
                if (!wb) {
                    *err = QStringLiteral("工作簿 %1 不能写入。").arg(readers::shownName(path_));
                    return false;
                }
                for (qsizetype s = 0; s < names_.size(); ++s) {
                    lxw_worksheet* ws = workbook_add_worksheet(wb, names_[s].chopped(1).toUtf8().constData());
                    if (!ws)
                        continue;
                    for (qsizetype r = 0; r < content[s].size(); ++r) {
                        const QVariantList& row = content[s][r];
                        for (qsizetype c = 0; c < row.size(); ++c) {
                            const QVariant v = readers::writableValue(row[c]);
                            if (v.isNull())
                                continue;
                            if (v.typeId() == QMetaType::Double || v.typeId() == QMetaType::LongLong ||
                                v.typeId() == QMetaType::Int)
                                worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), v.toDouble(), nullptr);
                            else if (!v.toString().isEmpty())
                                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c),
                                                       v.toString().toUtf8().constData(), nullptr);
                        }
                    }
                }
                if (workbook_close(wb) != LXW_NO_ERROR) {
                    *err = QStringLiteral("工作簿 %1 不能写入。").arg(readers::shownName(path_));
                    return false;
                }
                return true;
            },
            error);
    }

private:
    // What one pass over a sheet tells: the column names (the header row,
    // "F<n>" for a column without one), the data rows and the width (the
    // header's or the widest row's, whichever is wider).
    struct Shape {
        QStringList names;
        qint64 rows = 0;
        int width = 0;
    };

    const Shape* shape(const QString& table)
    {
        auto it = shapes_.constFind(table);
        if (it != shapes_.constEnd())
            return &it.value();
        Shape s;
        QVariantList header;
        qint64 last = 0;
        const bool ok = scan(table, [&](qint64 index, QVariantList& values) {
            int w = int(values.size());
            while (w > 0 && values[w - 1].isNull())
                --w;
            if (index == 0)
                header = values.mid(0, w);
            s.width = std::max(s.width, w);
            last = index;
            return true;
        });
        if (!ok)
            return nullptr;
        s.rows = last;
        for (int c = 0; c < s.width; ++c) {
            const QString n = c < header.size() ? header[c].toString() : QString();
            s.names << (n.isEmpty() ? QStringLiteral("F") + QString::number(c + 1) : n);
        }
        return &shapes_.insert(table, s).value();
    }

    bool readWorkbook()
    {
        QByteArray bytes;
        if (!zip_.read(QStringLiteral("xl/_rels/workbook.xml.rels"), &bytes))
            return false;
        QHash<QString, QString> targets;
        QXmlStreamReader rels(bytes);
        while (!rels.atEnd()) {
            rels.readNext();
            if (rels.isStartElement() && rels.name() == QLatin1String("Relationship")) {
                const auto a = rels.attributes();
                QString t = a.value(QLatin1String("Target")).toString();
                t = t.startsWith(QLatin1Char('/')) ? t.mid(1) : QStringLiteral("xl/") + t;
                targets.insert(a.value(QLatin1String("Id")).toString(), t);
                const auto type = a.value(QLatin1String("Type"));
                if (type.endsWith(QLatin1String("/sharedStrings")))
                    stringsPart_ = t;
                else if (type.endsWith(QLatin1String("/styles")))
                    stylesPart_ = t;
            }
        }
        if (rels.hasError())
            return false;
        if (!zip_.read(QStringLiteral("xl/workbook.xml"), &bytes))
            return false;
        QXmlStreamReader wb(bytes);
        while (!wb.atEnd()) {
            wb.readNext();
            if (!wb.isStartElement())
                continue;
            if (wb.name() == QLatin1String("workbookPr")) {
                const auto v = wb.attributes().value(QLatin1String("date1904"));
                date1904_ = v == QLatin1String("1") || v == QLatin1String("true");
            } else if (wb.name() == QLatin1String("sheet")) {
                QString rid;
                for (const auto& a : wb.attributes())
                    if (a.name() == QLatin1String("id"))
                        rid = a.value().toString();
                const QString target = targets.value(rid);
                if (!target.isEmpty() && zip_.has(target)) {
                    names_ << wb.attributes().value(QLatin1String("name")).toString() + QLatin1Char('$');
                    parts_ << target;
                }
            }
        }
        return !wb.hasError();
    }

    bool readStrings()
    {
        if (stringsPart_.isEmpty() && zip_.has(QStringLiteral("xl/sharedStrings.xml")))
            stringsPart_ = QStringLiteral("xl/sharedStrings.xml");
        if (stringsPart_.isEmpty())
            return true;
        QXmlStreamReader x;
        QString current;
        int phonetic = 0;
        bool inText = false;
        bool tooLong = false;
        bool full = false;
        auto parse = [&]() -> bool {
            while (!x.atEnd()) {
                const auto t = x.readNext();
                if (t == QXmlStreamReader::Invalid)
                    return x.error() == QXmlStreamReader::PrematureEndOfDocumentError;
                if (t == QXmlStreamReader::StartElement) {
                    if (x.name() == QLatin1String("si")) {
                        current.clear();
                    } else if (x.name() == QLatin1String("rPh")) {
                        ++phonetic;
                    } else if (x.name() == QLatin1String("t") && !phonetic) {
                        inText = true;
                    }
                } else if (t == QXmlStreamReader::Characters) {
                    if (inText) {
                        current += x.text();
                        if (current.size() > 7 * kMaxCellChars) {
                            tooLong = true;
                            return false;
                        }
                    }
                } else if (t == QXmlStreamReader::EndElement) {
                    if (x.name() == QLatin1String("t")) {
                        inText = false;
                    } else if (x.name() == QLatin1String("rPh")) {
                        --phonetic;
                    } else if (x.name() == QLatin1String("si")) {
                        const QString text = decodeEscapes(current);
                        if (text.size() > kMaxCellChars) {
                            tooLong = true;
                            return false;
                        }
                        if (!strings_.add(text)) {
                            full = true;
                            return false;
                        }
                    }
                }
            }
            return true;
        };
        const Zip::Outcome out = zip_.stream(stringsPart_, x, parse);
        if (tooLong || out == Zip::Outcome::TooBig)
            error_ = cellTooLong(path_, QString());
        else if (full)
            error_ = QStringLiteral("工作簿 %1 中的文字太多，超出了本软件一次能读取的范围（文字共享表最多占用128 MB），"
                                    "不能读取。请把它分成几个较小的工作簿后再导入。")
                         .arg(readers::shownName(path_));
        else if (out != Zip::Outcome::Ok)
            error_ = damaged(path_);
        else
            return true;
        return false;
    }

    bool readStyles()
    {
        if (stylesPart_.isEmpty())
            stylesPart_ = QStringLiteral("xl/styles.xml");
        QByteArray bytes;
        if (!zip_.has(stylesPart_))
            return true;
        if (!zip_.read(stylesPart_, &bytes))
            return false;
        QXmlStreamReader x(bytes);
        QHash<int, QString> codes;
        bool inXfs = false;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement()) {
                if (x.name() == QLatin1String("numFmt"))
                    codes.insert(x.attributes().value(QLatin1String("numFmtId")).toInt(),
                                 x.attributes().value(QLatin1String("formatCode")).toString());
                else if (x.name() == QLatin1String("cellXfs"))
                    inXfs = true;
                else if (inXfs && x.name() == QLatin1String("xf")) {
                    const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                    dateStyles_ << isDateFormat(id, codes.value(id));
                }
            } else if (x.isEndElement() && x.name() == QLatin1String("cellXfs")) {
                inXfs = false;
            }
        }
        return !x.hasError();
    }

    // One pass over a worksheet (see SheetScan); false with error_ set when
    // the sheet is damaged or past a limit.
    bool scan(const QString& table, const SheetScan::RowHandler& row)
    {
        const qsizetype i = names_.indexOf(table);
        if (i < 0) {
            error_ = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        SheetScan sheet({path_, &strings_, &dateStyles_, date1904_}, table.chopped(1), row);
        QXmlStreamReader x;
        const Zip::Outcome out = zip_.stream(parts_[i], x, [&] { return sheet.parse(x); });
        if (!sheet.problem().isEmpty()) {
            error_ = sheet.problem();
            return false;
        }
        if (out == Zip::Outcome::TooBig) {
            error_ = cellTooLong(path_, sheet.where());
            return false;
        }
        if (out != Zip::Outcome::Ok) {
            error_ = damaged(path_);
            return false;
        }
        return true;
    }

    QString path_;
    Zip zip_;
    QStringList names_;
    QStringList parts_;
    QString stringsPart_;
    QString stylesPart_;
    SharedTexts strings_;
    QVector<bool> dateStyles_;
    bool date1904_ = false;
    QHash<QString, Shape> shapes_;
    QString error_;
};

}  // namespace

namespace readers {

std::unique_ptr<TableReader> openXlsx(const QString& path, QString* error)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(8);
        if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
            // An .xlsx kept in an OLE2 container is an encrypted one, unless
            // it is an old workbook under the new extension.
            f.close();
            bool biff = false;
            if (auto xls = openXls(path, error, &biff))
                return xls;
            if (!biff)
                *error = QStringLiteral("工作簿 %1 设有打开密码，请在Excel中取消密码后再导入。").arg(shownName(path));
            return nullptr;
        }
        if (!head.startsWith("PK")) {
            *error = QStringLiteral("文件 %1 不是Excel工作簿(*.xlsx)，不能读取。").arg(shownName(path));
            return nullptr;
        }
    }
    auto reader = std::make_unique<XlsxReader>(path);
    if (!reader->init(error))
        return nullptr;
    return reader;
}

}  // namespace readers
