// Text files of comma-separated values (.csv; tab-separated .txt), in UTF-8
// or GBK, told apart by their bytes.  The file is one table named after it;
// the first line holds the column names.
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include "app/textfile.h"
#include "transfer/readers.h"

namespace {

class CsvReader : public TableReader {
public:
    enum class Encoding { Utf8, Utf8Bom, Utf16, Gbk };
    CsvReader(const QString& path, QString text, QChar separator, Encoding encoding)
        : path_(path), name_(QFileInfo(path).fileName()), text_(std::move(text)), sep_(separator),
          encoding_(encoding)
    {
    }

    QStringList tableNames() override { return {name_}; }

    QStringList columnNames(const QString& table) override
    {
        QStringList names;
        if (!check(table))
            return names;
        qsizetype pos = 0;
        QStringList fields;
        if (nextRecord(pos, fields)) {
            for (int c = 0; c < fields.size(); ++c)
                names << (fields[c].isEmpty() ? QStringLiteral("F%1").arg(c + 1) : fields[c]);
        }
        return names;
    }

    qint64 rowCount(const QString& table) override
    {
        if (!check(table))
            return -1;
        qint64 n = -1;
        qsizetype pos = 0;
        QStringList fields;
        while (nextRecord(pos, fields))
            ++n;
        return std::max<qint64>(n, 0);
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        if (!check(table))
            return false;
        qsizetype pos = 0;
        QStringList fields;
        if (!nextRecord(pos, fields))
            return true;
        const int width = int(fields.size());
        QVariantList values;
        while (nextRecord(pos, fields)) {
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

    // The file is written anew in its own encoding with the rows added.
    bool appendRows(const QString& table, const QList<QVariantList>& rows, QString* error) override
    {
        if (!check(table)) {
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
        if (ok)
            text_ = all;
        return ok;
    }

private:
    bool check(const QString& table)
    {
        if (table == name_)
            return true;
        error_ = QStringLiteral("文件中没有表“%1”！").arg(table);
        return false;
    }

    // Reads the record at pos (quotes may hold separators and line breaks,
    // "" is a quote); blank lines are skipped.  False at the end.
    bool nextRecord(qsizetype& pos, QStringList& fields) const
    {
        const qsizetype n = text_.size();
        for (;;) {
            if (pos >= n)
                return false;
            fields.clear();
            QString field;
            bool quoted = false;
            bool any = false;
            while (pos < n) {
                const QChar c = text_[pos];
                if (quoted) {
                    if (c == QLatin1Char('"')) {
                        if (pos + 1 < n && text_[pos + 1] == QLatin1Char('"')) {
                            field += c;
                            pos += 2;
                            continue;
                        }
                        quoted = false;
                    } else {
                        field += c;
                    }
                    ++pos;
                    continue;
                }
                if (c == QLatin1Char('"')) {
                    quoted = true;
                    any = true;
                } else if (c == sep_) {
                    fields << field;
                    field.clear();
                    any = true;
                } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                    ++pos;
                    if (c == QLatin1Char('\r') && pos < n && text_[pos] == QLatin1Char('\n'))
                        ++pos;
                    break;
                } else {
                    field += c;
                    any = true;
                }
                ++pos;
            }
            if (!any && field.isEmpty())
                continue;  // a blank line
            fields << field;
            return true;
        }
    }

    QString path_;
    QString name_;
    QString text_;
    QChar sep_;
    Encoding encoding_;
    QString error_;
};

}  // namespace

namespace readers {

std::unique_ptr<TableReader> openCsv(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("文件 %1 不能打开：%2").arg(shownName(path), f.errorString());
        return nullptr;
    }
    QByteArray bytes = f.readAll();
    if (bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF")) {
        *error = QStringLiteral("文件 %1 不是文本文件，不能读取。").arg(shownName(path));
        return nullptr;
    }
    QString text;
    auto encoding = CsvReader::Encoding::Utf8;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
        encoding = CsvReader::Encoding::Utf8Bom;
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto dec = QStringDecoder(QStringDecoder::Utf16);
        text = dec(bytes);
        encoding = CsvReader::Encoding::Utf16;
    } else {
        // Valid UTF-8 is taken as UTF-8; anything else is the GBK of a
        // Chinese Windows.
        auto dec = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = dec(bytes);
        if (dec.hasError()) {
            text = fromGbk(bytes);
            encoding = CsvReader::Encoding::Gbk;
        }
    }
    const bool tabs = QFileInfo(path).suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0 ||
                      (!text.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char(',')) &&
                       text.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char('\t')));
    return std::make_unique<CsvReader>(path, std::move(text), tabs ? QLatin1Char('\t') : QLatin1Char(','), encoding);
}

}  // namespace readers
