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

#include "rules/transfer/readers.h"

namespace {

constexpr qint64 kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr int kMaxCellChars = 32767;
// Longest run of bytes without markup, and longest tag, comment or CDATA
// section: a cell of kMaxCellChars written as character references fits.
constexpr qint64 kMaxTokenBytes = 1 << 20;
// The shared texts: 2 bytes a character and 8 bytes a text.
constexpr qint64 kSharedTextBudget = qint64(128) << 20;
constexpr qint64 kSharedBlockChars = 1 << 20;
// One row's texts together.
constexpr qint64 kMaxRowChars = 8 << 20;
// Parts read whole (workbook, relationships, styles).
constexpr qint64 kMaxWholePartBytes = 32 << 20;

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

// Excel keeps characters that XML cannot carry as _xHHHH_ (and a literal
// "_x" before four hex digits as _x005F_x...).
QString decodeEscapes(const QString& s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            return int(u - '0');
        if (u >= 'a' && u <= 'f')
            return int(u - 'a' + 10);
        if (u >= 'A' && u <= 'F')
            return int(u - 'A' + 10);
        return -1;
    };
    QString out;
    out.reserve(s.size());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n;) {
        if (s[i] == QLatin1Char('_') && i + 6 < n && s[i + 1] == QLatin1Char('x') && s[i + 6] == QLatin1Char('_')) {
            int code = 0;
            bool ok = true;
            for (int k = 2; k < 6 && ok; ++k) {
                const int h = hex(s[i + k]);
                ok = h >= 0;
                code = code * 16 + h;
            }
            if (ok) {
                out += QChar(char16_t(code));
                i += 7;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
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

// Stands in front of the XML reader, which keeps a whole token in memory
// before it hands it out: refuses a part whose text runs, tags, comments or
// CDATA sections grow past kMaxTokenBytes, and one with a document type
// declaration (which no workbook part has).
class TokenGuard {
public:
    bool feed(const char* p, qsizetype n)
    {
        for (qsizetype i = 0; i < n; ++i) {
            const char c = p[i];
            if (++length_ > kMaxTokenBytes)
                return false;
            switch (state_) {
            case State::Text:
                if (c == '<')
                    start(State::Open);
                break;
            case State::Open:
                prefix_ += c;
                if (prefix_ == "!--") {
                    state_ = State::Comment;
                } else if (prefix_ == "![CDATA[") {
                    state_ = State::CData;
                } else if (prefix_.startsWith('!')) {
                    if (!QByteArray("!--").startsWith(prefix_) && !QByteArray("![CDATA[").startsWith(prefix_))
                        return false;
                } else {
                    state_ = State::Tag;
                    if (c == '>')
                        start(State::Text);
                }
                break;
            case State::Tag:
                if (c == '>')
                    start(State::Text);
                break;
            case State::Comment:
            case State::CData:
                tail_ = (tail_ << 8 | uchar(c)) & 0xFFFFFF;
                if ((state_ == State::Comment && tail_ == 0x2D2D3E) ||  // -->
                    (state_ == State::CData && tail_ == 0x5D5D3E))      // ]]>
                    start(State::Text);
                break;
            }
        }
        return true;
    }

private:
    enum class State { Text, Open, Tag, Comment, CData };
    void start(State s)
    {
        state_ = s;
        length_ = 0;
        prefix_.clear();
        tail_ = 0;
    }
    State state_ = State::Text;
    qint64 length_ = 0;
    QByteArray prefix_;
    quint32 tail_ = 0;  // the last three bytes
};

// One zip archive; entries are read whole or streamed into an XML reader.
class Zip {
public:
    enum class Outcome { Ok, Damaged, TooBig };

    explicit Zip(const QString& path) : zf_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Zip()
    {
        if (zf_)
            unzClose(zf_);
    }
    bool ok() const { return zf_ != nullptr; }
    bool has(const QString& name) { return zf_ && unzLocateFile(zf_, name.toUtf8().constData(), 0) == UNZ_OK; }

    // Feeds the entry to `xml` chunk by chunk, calling `parse` after each
    // chunk; parse returns false to stop.  An entry read to its end must
    // pass its CRC check.
    Outcome stream(const QString& name, QXmlStreamReader& xml, const std::function<bool()>& parse)
    {
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return Outcome::Damaged;
        QByteArray chunk(256 * 1024, Qt::Uninitialized);
        TokenGuard guard;
        for (;;) {
            const int n = unzReadCurrentFile(zf_, chunk.data(), unsigned(chunk.size()));
            if (n < 0) {
                unzCloseCurrentFile(zf_);
                return Outcome::Damaged;
            }
            if (n == 0)
                break;
            if (!guard.feed(chunk.constData(), n)) {
                unzCloseCurrentFile(zf_);
                return Outcome::TooBig;
            }
            xml.addData(QByteArray(chunk.constData(), n));
            if (!parse()) {
                unzCloseCurrentFile(zf_);
                return !xml.hasError() || xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
                           ? Outcome::Ok
                           : Outcome::Damaged;
            }
        }
        // A CRC mismatch shows here.
        if (unzCloseCurrentFile(zf_) != UNZ_OK)
            return Outcome::Damaged;
        parse();
        return xml.hasError() ? Outcome::Damaged : Outcome::Ok;
    }

    bool read(const QString& name, QByteArray* out)
    {
        out->clear();
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return false;
        char buf[65536];
        int n;
        while ((n = unzReadCurrentFile(zf_, buf, sizeof buf)) > 0) {
            if (out->size() + n > kMaxWholePartBytes) {
                unzCloseCurrentFile(zf_);
                return false;
            }
            out->append(buf, n);
        }
        return unzCloseCurrentFile(zf_) == UNZ_OK && n == 0;
    }

private:
    unzFile zf_;
};

// The shared texts in blocks of kSharedBlockChars, each text whole in one
// block: block (20 bits), start (27 bits) and length (16 bits) per text.
class SharedTexts {
public:
    bool add(const QString& s)
    {
        used_ += 2 * s.size() + 8;
        if (used_ > kSharedTextBudget)
            return false;
        if (blocks_.isEmpty() || blocks_.last().size() + s.size() > kSharedBlockChars) {
            blocks_.append(QString());
            blocks_.last().reserve(kSharedBlockChars);
        }
        const quint64 block = quint64(blocks_.size() - 1);
        const quint64 start = quint64(blocks_.last().size());
        blocks_.last() += s;
        index_.append(block << 43 | start << 16 | quint64(s.size()));
        return true;
    }
    qsizetype size() const { return index_.size(); }
    QString at(qsizetype k) const
    {
        const quint64 e = index_[k];
        return blocks_[qsizetype(e >> 43)].mid(qsizetype((e >> 16) & ((quint64(1) << 27) - 1)),
                                                qsizetype(e & 0xFFFF));
    }

private:
    QVector<QString> blocks_;
    QVector<quint64> index_;
    qint64 used_ = 0;
};

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
            error_ = cellTooLong(QString());
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

    QString cellTooLong(const QString& where) const
    {
        return QStringLiteral("工作簿 %1 %2中有超过32767个字符的单元格。Excel的单元格最多只能有32767个字符，"
                              "这个文件不是Excel能保存的，不能读取。")
            .arg(readers::shownName(path_), where);
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

    // One pass over a worksheet: `row` gets every row from the first one in
    // the file (the header, index 0) to the last one, rows left out of the
    // file between them as empty rows, each as long as its last cell.  Returns false with
    // error_ set when the sheet is damaged or past a limit; `row` returning
    // false ends the pass early (and successfully).
    bool scan(const QString& table, const std::function<bool(qint64, QVariantList&)>& row)
    {
        const qsizetype i = names_.indexOf(table);
        if (i < 0) {
            error_ = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        const QString sheet = table.chopped(1);
        QXmlStreamReader x;
        QVariantList values;      // the row being read, by column
        qint64 rowNumber = 0;     // of the row being read (from 1)
        qint64 firstRow = 0;      // the header's
        qint64 lastRow = 0;       // last row handed out
        qint64 rowChars = 0;
        bool stop = false;
        QString problem;          // why the sheet cannot be read
        int cellCol = -1, cellStyle = -1;
        QString cellType, cellValue;
        bool inCell = false, inValue = false, inInline = false, inText = false;
        int phonetic = 0;

        auto fail = [&](const QString& why) {
            problem = why;
            stop = true;
        };
        auto where = [&](qint64 r) {
            return QStringLiteral("的工作表“%1”第%2行").arg(sheet, QString::number(r));
        };
        auto emitRow = [&]() {
            if (!firstRow)
                firstRow = lastRow = rowNumber;
            // Rows left out of the file between two rows are empty rows.
            while (lastRow + 1 < rowNumber && !stop) {
                ++lastRow;
                QVariantList empty;
                if (!row(lastRow - firstRow, empty))
                    stop = true;
            }
            if (stop)
                return;
            lastRow = rowNumber;
            if (!row(rowNumber - firstRow, values))
                stop = true;
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
                        if (cellCol < 0 || cellCol >= kMaxColumns) {
                            fail(damaged(path_));
                            break;
                        }
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
                    } else if (inInline && n == QLatin1String("t") && !phonetic) {
                        inText = true;
                    } else if (n == QLatin1String("row")) {
                        const auto r = x.attributes().value(QLatin1String("r"));
                        bool ok = true;
                        const qint64 number = r.isEmpty() ? rowNumber + 1 : r.toLongLong(&ok);
                        if (ok && number > kMaxRows) {
                            fail(QStringLiteral("工作簿 %1%2超出了Excel的最大行数1048576，文件已损坏，不能读取。")
                                     .arg(readers::shownName(path_), where(number)));
                            break;
                        }
                        if (!ok || number <= rowNumber) {
                            fail(damaged(path_));
                            break;
                        }
                        rowNumber = number;
                        values.clear();
                        rowChars = 0;
                    }
                } else if (t == QXmlStreamReader::Characters) {
                    // Only the text of <v> and of <t> counts: whitespace
                    // between the other tags is layout.
                    if (inValue || inText) {
                        cellValue += x.text();
                        if (cellValue.size() > 7 * kMaxCellChars) {
                            fail(cellTooLong(where(rowNumber)));
                            break;
                        }
                    }
                } else if (t == QXmlStreamReader::EndElement) {
                    const auto n = x.name();
                    if (n == QLatin1String("v")) {
                        inValue = false;
                    } else if (n == QLatin1String("t")) {
                        inText = false;
                    } else if (n == QLatin1String("rPh")) {
                        --phonetic;
                    } else if (n == QLatin1String("is")) {
                        inInline = false;
                    } else if (n == QLatin1String("c") && inCell) {
                        inCell = false;
                        QVariant v;
                        if (cellType == QLatin1String("s")) {
                            bool ok = false;
                            const qsizetype k = cellValue.trimmed().toLongLong(&ok);
                            if (!ok || k < 0 || k >= strings_.size()) {
                                fail(damaged(path_));
                                break;
                            }
                            const QString s = strings_.at(k);
                            if (!s.isEmpty())
                                v = s;
                        } else if (cellType == QLatin1String("inlineStr") ||
                                   cellType == QLatin1String("str")) {
                            const QString s = decodeEscapes(cellValue);
                            if (!s.isEmpty())
                                v = s;
                        } else if (cellType == QLatin1String("b")) {
                            v = qint64(cellValue.trimmed() == QLatin1String("1") ? 1 : 0);
                        } else if (cellType == QLatin1String("e")) {
                            v = QVariant();
                        } else if (cellType == QLatin1String("d")) {
                            v = QDateTime::fromString(cellValue.trimmed(), Qt::ISODate);
                        } else {
                            v = number(cellValue.trimmed(), cellStyle);
                        }
                        if (v.typeId() == QMetaType::QString) {
                            const qsizetype len = v.toString().size();
                            rowChars += len;
                            if (len > kMaxCellChars) {
                                fail(cellTooLong(where(rowNumber)));
                                break;
                            }
                            if (rowChars > kMaxRowChars) {
                                fail(QStringLiteral("工作簿 %1%2的文字太多（超过800万个字符），不能读取。")
                                         .arg(readers::shownName(path_), where(rowNumber)));
                                break;
                            }
                        }
                        if (values.size() <= cellCol)
                            values.resize(cellCol + 1);
                        values[cellCol] = v;
                    } else if (n == QLatin1String("row")) {
                        emitRow();
                    }
                }
            }
            return !stop;
        };

        const Zip::Outcome out = zip_.stream(parts_[i], x, parse);
        if (!problem.isEmpty()) {
            error_ = problem;
            return false;
        }
        if (out == Zip::Outcome::TooBig) {
            error_ = cellTooLong(rowNumber ? where(rowNumber) : QStringLiteral("的工作表“%1”").arg(sheet));
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
