// Excel 2007 and later workbooks (.xlsx): a zip of XML parts, read with
// minizip and Qt's XML stream reader.  Worksheets are the tables, named with
// a trailing "$" like those of an .xls; the first row holds the column names.
#include <unzip.h>
#include <xlsxwriter.h>

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>
#include <cmath>

#include "transfer/readers.h"

namespace {

QString damaged(const QString& path)
{
    return QStringLiteral("工作簿 %1 已损坏或不完整，不能读取。").arg(readers::shownName(path));
}

// Column number (from 0) of a cell reference such as "AB12"; -1 when none.
int columnOf(QStringView ref)
{
    int col = 0;
    int letters = 0;
    for (QChar ch : ref) {
        const char16_t u = ch.unicode();
        if (u >= 'A' && u <= 'Z')
            col = col * 26 + (u - 'A' + 1);
        else if (u >= 'a' && u <= 'z')
            col = col * 26 + (u - 'a' + 1);
        else
            break;
        if (++letters > 3)
            return -1;
    }
    return letters ? col - 1 : -1;
}


// Whether a number format shows a date or time.
bool isDateFormat(int id, const QString& code)
{
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
        (id >= 50 && id <= 58))
        return true;
    if (code.isEmpty())
        return false;
    bool quoted = false;
    bool bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char(']'))
            bracket = false;
        else if (!bracket && QStringLiteral("yYdDhHsS").contains(c))
            return true;
        else if (!bracket && (c == QLatin1Char('m') || c == QLatin1Char('M')))
            return true;
    }
    return false;
}

// One zip archive; entries are read whole or streamed into an XML reader.
class Zip {
public:
    explicit Zip(const QString& path) : zf_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Zip()
    {
        if (zf_)
            unzClose(zf_);
    }
    bool ok() const { return zf_ != nullptr; }
    bool has(const QString& name) { return zf_ && unzLocateFile(zf_, name.toUtf8().constData(), 0) == UNZ_OK; }

    // Feeds the entry to `xml` chunk by chunk, calling `parse` after each
    // chunk; parse returns false to stop.  False on a damaged entry.
    bool stream(const QString& name, QXmlStreamReader& xml, const std::function<bool()>& parse)
    {
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return false;
        QByteArray chunk(256 * 1024, Qt::Uninitialized);
        bool good = true;
        for (;;) {
            const int n = unzReadCurrentFile(zf_, chunk.data(), unsigned(chunk.size()));
            if (n < 0) {
                good = false;
                break;
            }
            if (n == 0)
                break;
            xml.addData(QByteArray(chunk.constData(), n));
            if (!parse()) {
                unzCloseCurrentFile(zf_);
                return !xml.hasError() ||
                       xml.error() == QXmlStreamReader::PrematureEndOfDocumentError;
            }
        }
        // A CRC mismatch shows here.
        if (unzCloseCurrentFile(zf_) != UNZ_OK)
            good = false;
        if (good) {
            parse();
            if (xml.hasError())
                good = false;
        }
        return good;
    }

    bool read(const QString& name, QByteArray* out)
    {
        out->clear();
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return false;
        char buf[65536];
        int n;
        while ((n = unzReadCurrentFile(zf_, buf, sizeof buf)) > 0)
            out->append(buf, n);
        return unzCloseCurrentFile(zf_) == UNZ_OK && n == 0;
    }

private:
    unzFile zf_;
};

class XlsxReader : public TableReader {
public:
    explicit XlsxReader(const QString& path) : path_(path), zip_(path) {}

    bool init(QString* error)
    {
        if (!zip_.ok() || !readWorkbook() || !readStrings() || !readStyles()) {
            *error = damaged(path_);
            return false;
        }
        return true;
    }

    QStringList tableNames() override { return names_; }

    QStringList columnNames(const QString& table) override
    {
        QStringList names;
        if (!scan(table, &names, nullptr, nullptr))
            return {};
        return names;
    }

    qint64 rowCount(const QString& table) override
    {
        qint64 rows = 0;
        QStringList names;
        if (!scan(table, &names, &rows, nullptr))
            return -1;
        return rows;
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        QStringList names;
        return scan(table, &names, nullptr, &row);
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
            QStringList header;
            const std::function<bool(const QVariantList&)> take = [&](const QVariantList& row) {
                sheet << row;
                return true;
            };
            if (!scan(name, &header, nullptr, &take)) {
                *error = error_;
                return false;
            }
            if (!header.isEmpty())
                sheet.prepend(QVariantList(header.begin(), header.end()));
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
    bool readWorkbook()
    {
        QByteArray bytes;
        if (!zip_.read(QStringLiteral("xl/_rels/workbook.xml.rels"), &bytes))
            return false;
        QHash<QString, QString> targets;
        QXmlStreamReader rels(bytes);
        while (rels.readNextStartElement() || !rels.atEnd()) {
            if (rels.isStartElement() && rels.name() == QLatin1String("Relationship")) {
                QString t = rels.attributes().value(QLatin1String("Target")).toString();
                t = t.startsWith(QLatin1Char('/')) ? t.mid(1) : QStringLiteral("xl/") + t;
                targets.insert(rels.attributes().value(QLatin1String("Id")).toString(), t);
            }
            if (rels.hasError())
                return false;
        }
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
        QByteArray bytes;
        if (!zip_.has(QStringLiteral("xl/sharedStrings.xml")))
            return true;
        if (!zip_.read(QStringLiteral("xl/sharedStrings.xml"), &bytes))
            return false;
        QXmlStreamReader x(bytes);
        QString current;
        int phonetic = 0;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isStartElement()) {
                if (x.name() == QLatin1String("si"))
                    current.clear();
                else if (x.name() == QLatin1String("rPh"))
                    ++phonetic;
                else if (x.name() == QLatin1String("t") && !phonetic)
                    current += x.readElementText();
            } else if (x.isEndElement()) {
                if (x.name() == QLatin1String("si"))
                    strings_ << current;
                else if (x.name() == QLatin1String("rPh"))
                    --phonetic;
            }
        }
        return !x.hasError();
    }

    bool readStyles()
    {
        QByteArray bytes;
        if (!zip_.has(QStringLiteral("xl/styles.xml")))
            return true;
        if (!zip_.read(QStringLiteral("xl/styles.xml"), &bytes))
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

    QVariant number(const QString& v, int style) const
    {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            return v.isEmpty() ? QVariant() : QVariant(v);
        if (style >= 0 && style < dateStyles_.size() && dateStyles_[style])
            return readers::fromSerialDate(date1904_ ? d + 1462 : d);
        if (std::fabs(d) < 9.0e15 && d == std::trunc(d))
            return qint64(d);
        return d;
    }

    // One pass over a worksheet: the column names from its first row, the
    // number of data rows, and (when `row` is given) every data row.
    bool scan(const QString& table, QStringList* names, qint64* rows,
              const std::function<bool(const QVariantList&)>* row)
    {
        const qsizetype i = names_.indexOf(table);
        if (i < 0) {
            error_ = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        QXmlStreamReader x;
        QVariantList values;      // the row being read, by column
        int rowNumber = 0;        // of the row being read (from 1)
        int lastRow = 0;          // last row handed out or counted
        int width = -1;           // from the header row
        int dimensionWidth = 0;
        bool stop = false;
        int cellCol = -1, cellStyle = -1;
        QString cellType, cellValue;
        bool inCell = false, inValue = false, inInline = false;
        int phonetic = 0;

        auto emitRow = [&](const QVariantList& v) {
            if (width < 0) {
                // The header row.
                int w = int(v.size());
                while (w > 0 && v[w - 1].isNull())
                    --w;
                width = std::max(w, dimensionWidth);
                for (int c = 0; c < width; ++c) {
                    QString n = c < v.size() ? v[c].toString() : QString();
                    *names << (n.isEmpty() ? QStringLiteral("F%1").arg(c + 1) : n);
                }
                lastRow = rowNumber;
                return;
            }
            // Rows left out of the file between two rows are empty rows.
            while (lastRow + 1 < rowNumber && !stop) {
                ++lastRow;
                if (rows)
                    ++*rows;
                if (row && !(*row)(QVariantList(width)))
                    stop = true;
            }
            if (stop)
                return;
            lastRow = rowNumber;
            if (rows)
                ++*rows;
            if (row) {
                QVariantList out = v;
                out.resize(width);
                if (!(*row)(out))
                    stop = true;
            }
        };

        auto parse = [&]() -> bool {
            while (!stop && !x.atEnd()) {
                const auto t = x.readNext();
                if (t == QXmlStreamReader::Invalid)
                    return x.error() == QXmlStreamReader::PrematureEndOfDocumentError;
                if (t == QXmlStreamReader::StartElement) {
                    const auto n = x.name();
                    if (n == QLatin1String("c")) {
                        const auto a = x.attributes();
                        const auto ref = a.value(QLatin1String("r"));
                        cellCol = ref.isEmpty() ? int(values.size()) : columnOf(ref);
                        cellType = a.value(QLatin1String("t")).toString();
                        cellStyle = a.hasAttribute(QLatin1String("s")) ? a.value(QLatin1String("s")).toInt() : -1;
                        cellValue.clear();
                        inCell = true;
                    } else if (inCell && n == QLatin1String("v")) {
                        inValue = true;
                    } else if (inCell && n == QLatin1String("is")) {
                        inInline = true;
                    } else if (inInline && n == QLatin1String("rPh")) {
                        ++phonetic;
                    } else if (n == QLatin1String("row")) {
                        const auto r = x.attributes().value(QLatin1String("r"));
                        rowNumber = r.isEmpty() ? rowNumber + 1 : r.toInt();
                        values.clear();
                    } else if (n == QLatin1String("dimension")) {
                        const QString ref = x.attributes().value(QLatin1String("ref")).toString();
                        const qsizetype colon = ref.indexOf(QLatin1Char(':'));
                        if (colon > 0)
                            dimensionWidth = columnOf(QStringView(ref).mid(colon + 1)) + 1;
                    }
                } else if (t == QXmlStreamReader::Characters) {
                    if (inValue || (inInline && !phonetic))
                        cellValue += x.text();
                } else if (t == QXmlStreamReader::EndElement) {
                    const auto n = x.name();
                    if (n == QLatin1String("v")) {
                        inValue = false;
                    } else if (n == QLatin1String("rPh")) {
                        --phonetic;
                    } else if (n == QLatin1String("is")) {
                        inInline = false;
                    } else if (n == QLatin1String("c")) {
                        inCell = false;
                        if (cellCol < 0 || cellCol >= 16384)
                            continue;
                        QVariant v;
                        if (cellType == QLatin1String("s")) {
                            const int k = cellValue.toInt();
                            if (k >= 0 && k < strings_.size() && !strings_[k].isEmpty())
                                v = strings_[k];
                        } else if (cellType == QLatin1String("inlineStr") ||
                                   cellType == QLatin1String("str")) {
                            if (!cellValue.isEmpty())
                                v = cellValue;
                        } else if (cellType == QLatin1String("b")) {
                            v = qint64(cellValue == QLatin1String("1") ? 1 : 0);
                        } else if (cellType == QLatin1String("e")) {
                            v = QVariant();
                        } else if (cellType == QLatin1String("d")) {
                            v = QDateTime::fromString(cellValue, Qt::ISODate);
                        } else {
                            v = number(cellValue, cellStyle);
                        }
                        if (values.size() <= cellCol)
                            values.resize(cellCol + 1);
                        values[cellCol] = v;
                    } else if (n == QLatin1String("row")) {
                        emitRow(values);
                    }
                }
            }
            return !stop;
        };

        if (rows)
            *rows = 0;
        if (!zip_.stream(parts_[i], x, parse)) {
            error_ = damaged(path_);
            return false;
        }
        if (width < 0) {
            // No row at all: an empty sheet.
            for (int c = 0; c < dimensionWidth && dimensionWidth > 1; ++c)
                *names << QStringLiteral("F%1").arg(c + 1);
        }
        return true;
    }

    QString path_;
    Zip zip_;
    QStringList names_;
    QStringList parts_;
    QStringList strings_;
    QVector<bool> dateStyles_;
    bool date1904_ = false;
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
            QString ignored;
            if (auto xls = openXls(path, &ignored))
                return xls;
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
