// Text files of comma-separated values (.csv; tab-separated .txt), in UTF-8
// or GBK, told apart by their bytes.  The file is one table named after it;
// the first line holds the column names.
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

#include "app/textfile.h"
#include "transfer/readers.h"

namespace {

class CsvReader : public TableReader {
public:
    CsvReader(const QString& path, QString text, QChar separator)
        : name_(QFileInfo(path).fileName()), text_(std::move(text)), sep_(separator)
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

    QString name_;
    QString text_;
    QChar sep_;
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
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        auto dec = QStringDecoder(QStringDecoder::Utf16);
        text = dec(bytes);
    } else {
        // Valid UTF-8 is taken as UTF-8; anything else is the GBK of a
        // Chinese Windows.
        auto dec = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = dec(bytes);
        if (dec.hasError())
            text = fromGbk(bytes);
    }
    const bool tabs = QFileInfo(path).suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0 ||
                      (!text.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char(',')) &&
                       text.section(QLatin1Char('\n'), 0, 0).contains(QLatin1Char('\t')));
    return std::make_unique<CsvReader>(path, std::move(text), tabs ? QLatin1Char('\t') : QLatin1Char(','));
}

}  // namespace readers
