// Text files of comma-separated values (.csv; tab-separated .txt), in UTF-8
// or GBK, told apart by their bytes.  The file is one table named after it;
// the first line holds the column names.
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include "rules/files/textfile.h"
#include "rules/formats/readers.h"
#include "rules/formats/utf8sequence.h"

namespace {

constexpr qint64 kMaxTextFileBytes = 100 << 20;

class CsvReader : public TableReader {
public:
    enum class Encoding { Utf8, Utf8Bom, Utf16, Gbk };
    CsvReader(const QString& path, QString text, QChar separator, Encoding encoding, QString warning)
        : path_(path), name_(QFileInfo(path).fileName()), text_(std::move(text)), sep_(separator),
          encoding_(encoding), warning_(std::move(warning))
    {
    }

    // Reads the file through once: false with error_ set when a quote is
    // never closed.
    bool check()
    {
        Cursor at;
        qint64 records = 0;
        for (;;) {
            const Step step = nextRecord(at, nullptr);
            if (step == Step::End)
                break;
            if (step == Step::Unclosed) {
                error_ = QStringLiteral("文件 %1 第%2行的引号没有配对：从这里到文件末尾都在引号之内，不能读取。"
                                        "请在引号内容的末尾补上引号后再导入。")
                             .arg(readers::shownName(path_), QString::number(at.line));
                return false;
            }
            ++records;
        }
        rows_ = std::max<qint64>(records - 1, 0);
        return true;
    }

    QStringList tableNames() override { return {name_}; }

    QStringList columnNames(const QString& table) override
    {
        QStringList names;
        if (!isTable(table))
            return names;
        Cursor at;
        QStringList fields;
        if (nextRecord(at, &fields) == Step::Record) {
            for (int c = 0; c < fields.size(); ++c)
                names << (fields[c].isEmpty() ? QStringLiteral("F") + QString::number(c + 1) : fields[c]);
        }
        return names;
    }

    qint64 rowCount(const QString& table) override { return isTable(table) ? rows_ : -1; }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        if (!isTable(table))
            return false;
        Cursor at;
        QStringList fields;
        if (nextRecord(at, &fields) != Step::Record)
            return true;
        const int width = int(fields.size());
        QVariantList values;
        while (nextRecord(at, &fields) == Step::Record) {
            values.clear();
            values.reserve(width);
            for (int c = 0; c < width; ++c) {
                if (c < fields.size() && !fields[c].isEmpty())
                    values << fields[c];
                else
                    values << QVariant();
            }
            if (!row(values))
                return true;
        }
        return true;
    }

    QString error() const override { return error_; }
    QString warning() const override { return warning_; }

    // The file is written anew in its own encoding with the rows added.
    bool appendRows(const QString& table, const QList<QVariantList>& rows, QString* error) override
    {
        if (!isTable(table)) {
            *error = error_;
            return false;
        }
        QString added;
        if (!text_.isEmpty() && !text_.endsWith(QLatin1Char('\n')) && !text_.endsWith(QLatin1Char('\r')))
            added += QStringLiteral("\r\n");
        for (const QVariantList& row : rows) {
            QStringList fields;
            for (const QVariant& v : row) {
                QString f = readers::writableValue(v).toString();
                if (f.contains(sep_) || f.contains(QLatin1Char('"')) || f.contains(QLatin1Char('\n')) ||
                    f.contains(QLatin1Char('\r'))) {
                    f.replace(QLatin1String("\""), QLatin1String("\"\""));
                    f = QLatin1Char('"') + f + QLatin1Char('"');
                }
                fields << f;
            }
            added += fields.join(sep_) + QStringLiteral("\r\n");
        }
        const QString all = text_ + added;
        QByteArray bytes;
        switch (encoding_) {
        case Encoding::Gbk:
            bytes = toGbk(all);
            break;
        case Encoding::Utf16: {
            auto enc = QStringEncoder(QStringEncoder::Utf16LE);
            bytes = QByteArray("\xFF\xFE") + QByteArray(enc(all));
            break;
        }
        case Encoding::Utf8Bom:
            bytes = QByteArray("\xEF\xBB\xBF") + all.toUtf8();
            break;
        case Encoding::Utf8:
            bytes = all.toUtf8();
        }
        const bool ok = readers::replaceFile(
            path_,
            [&](const QString& temporary, QString* err) {
                QFile f(temporary);
                if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
                    *err = QStringLiteral("文件 %1 不能写入：%2").arg(readers::shownName(path_), f.errorString());
                    return false;
                }
                return true;
            },
            error);
        if (ok) {
            text_ = all;
            rows_ += rows.size();
        }
        return ok;
    }

private:
    struct Cursor {
        qsizetype pos = 0;
        qint64 line = 1;  // of pos; after Unclosed, the line where the quote opened
    };
    enum class Step { Record, End, Unclosed };

    bool isTable(const QString& table)
    {
        if (table == name_)
            return true;
        error_ = QStringLiteral("文件中没有表“%1”！").arg(table);
        return false;
    }

    // Reads the record at `at` as Excel does: a quote at the start of a field
    // quotes it (separators and line breaks inside are data, "" is a quote),
    // a quote anywhere else is an ordinary character; blank lines are
    // skipped.  The fields go into *fields; with none, the record is only
    // passed over (counting the rows and finding an unclosed quote).  Runs of
    // ordinary characters are taken in one piece.
    Step nextRecord(Cursor& at, QStringList* fields) const
    {
        const qsizetype n = text_.size();
        const QChar* s = text_.constData();
        const QChar quote = QLatin1Char('"'), cr = QLatin1Char('\r'), lf = QLatin1Char('\n');
        for (;;) {
            if (at.pos >= n)
                return Step::End;
            if (fields)
                fields->clear();
            QString field;
            bool any = false;
            for (;;) {
                if (at.pos < n && s[at.pos] == quote) {
                    any = true;
                    const qint64 quoteLine = at.line;
                    ++at.pos;
                    for (;;) {
                        qsizetype q = at.pos;
                        for (; q < n && s[q] != quote; ++q)
                            if (s[q] == lf || (s[q] == cr && !(q + 1 < n && s[q + 1] == lf)))
                                ++at.line;
                        if (q >= n) {
                            at.pos = n;
                            at.line = quoteLine;
                            return Step::Unclosed;
                        }
                        if (fields)
                            field.append(s + at.pos, q - at.pos);
                        const bool doubled = q + 1 < n && s[q + 1] == quote;
                        if (doubled && fields)
                            field += quote;
                        at.pos = q + (doubled ? 2 : 1);
                        if (!doubled)
                            break;
                    }
                }
                // Up to the next separator or line break; quotes here are
                // ordinary characters.
                qsizetype e = at.pos;
                while (e < n && s[e] != sep_ && s[e] != cr && s[e] != lf)
                    ++e;
                if (e > at.pos) {
                    any = true;
                    if (fields)
                        field.append(s + at.pos, e - at.pos);
                }
                at.pos = e;
                if (e >= n)
                    break;
                ++at.pos;
                if (s[e] == sep_) {
                    any = true;
                    if (fields)
                        *fields << field;
                    field.clear();
                    continue;
                }
                if (s[e] == cr && at.pos < n && s[at.pos] == lf)
                    ++at.pos;
                ++at.line;
                break;
            }
            if (!any)
                continue;  // a blank line
            if (fields)
                *fields << field;
            return Step::Record;
        }
    }

    QString path_;
    QString name_;
    QString text_;
    QChar sep_;
    Encoding encoding_;
    QString warning_;
    qint64 rows_ = 0;
    QString error_;
};

// How a text in bytes reads as UTF-8: the bytes that belong to no
// well-formed sequence, and the line of the first of them.
struct Utf8Check {
    qint64 bad = 0;
    qint64 firstBadLine = 0;
};

Utf8Check checkUtf8(const QByteArray& bytes)
{
    Utf8Check r;
    qint64 line = 1;
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar b = p[i];
        if (b < 0x80) {
            if (b == '\n')
                ++line;
            ++i;
            continue;
        }
        if (const int len = utf8::sequenceLength(p, i, n)) {
            i += len;
        } else {
            if (!r.bad)
                r.firstBadLine = line;
            ++r.bad;
            ++i;
        }
    }
    return r;
}

}  // namespace

namespace readers {

std::unique_ptr<TableReader> openCsv(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("文件 %1 不能打开：%2").arg(shownName(path), f.errorString());
        return nullptr;
    }
    // The text is held whole while it is read (about three times the size
    // of the file at its peak).
    if (f.size() > kMaxTextFileBytes) {
        *error = QStringLiteral("文件 %1 超过100 MB，太大了，不能一次导入。请把它分成几个较小的文件后再导入。")
                     .arg(shownName(path));
        return nullptr;
    }
    QByteArray bytes = f.readAll();
    if (bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        *error = QStringLiteral("文件 %1 不是文本文件，不能读取。").arg(shownName(path));
        return nullptr;
    }
    QString text;
    QString warning;
    auto encoding = CsvReader::Encoding::Utf8;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
        encoding = CsvReader::Encoding::Utf8Bom;
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto dec = QStringDecoder(QStringDecoder::Utf16);
        text = dec(bytes);
        encoding = CsvReader::Encoding::Utf16;
    }
    if (encoding != CsvReader::Encoding::Utf16) {
        // Valid UTF-8 is UTF-8, valid GBK (the text of a Chinese Windows)
        // is GBK.  A text that is neither is read in the encoding it breaks
        // less often: UTF-8 with a byte changed or a character cut off stays
        // UTF-8 with those bytes replaced.
        const Utf8Check utf8 = checkUtf8(bytes);
        bool asUtf8 = utf8.bad == 0 || encoding == CsvReader::Encoding::Utf8Bom;
        QString gbk;
        qint64 gbkBad = 0;
        if (!asUtf8) {
            gbk = fromGbk(bytes);
            gbkBad = gbk.count(QChar(0xFFFD));
            asUtf8 = gbkBad > 0 && utf8.bad <= gbkBad;
        }
        if (asUtf8) {
            text = QString::fromUtf8(bytes);
            if (utf8.bad)
                warning = QStringLiteral("文件 %1 按UTF-8编码读取，其中有%2处不是正确的UTF-8编码（第一处在第%3行），"
                                         "已替换为“\uFFFD”。")
                              .arg(shownName(path), QString::number(utf8.bad), QString::number(utf8.firstBadLine));
        } else {
            text = std::move(gbk);
            encoding = CsvReader::Encoding::Gbk;
            if (gbkBad)
                warning = QStringLiteral("文件 %1 按GBK编码读取，其中有%2处不是正确的GBK编码，已替换为“\uFFFD”。")
                              .arg(shownName(path), QString::number(gbkBad));
        }
    }
    bytes.clear();
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0);
    const bool tabs = QFileInfo(path).suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0 ||
                      (!firstLine.contains(QLatin1Char(',')) && firstLine.contains(QLatin1Char('\t')));
    auto reader = std::make_unique<CsvReader>(path, std::move(text), tabs ? QLatin1Char('\t') : QLatin1Char(','),
                                              encoding, warning);
    if (!reader->check()) {
        *error = reader->error();
        return nullptr;
    }
    return reader;
}

}  // namespace readers
