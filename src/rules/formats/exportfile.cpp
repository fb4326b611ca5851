#include "rules/formats/exportfile.h"
#include "rules/files/privatefiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>

#include "rules/errors/diskfull.h"
#include "rules/files/scratchfiles.h"
#include "rules/formats/xlsxbook.h"
#include "rules/formats/xlswriter.h"

namespace exportfile {

Format formatOf(const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return Format::Xlsx;
    if (fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return Format::Csv;
    return Format::Xls;
}

QString extensionOf(Format f)
{
    switch (f) {
    case Format::Xlsx: return QStringLiteral(".xlsx");
    case Format::Csv: return QStringLiteral(".csv");
    case Format::Xls: break;
    }
    return QStringLiteral(".xls");
}

static bool hasKnownExtension(const QString& name)
{
    for (const char* e : {".xls", ".xlsx", ".csv"})
        if (name.endsWith(QLatin1String(e), Qt::CaseInsensitive))
            return true;
    return false;
}

QString withExtension(const QString& fileName, Format chosen)
{
    if (fileName.isEmpty() || hasKnownExtension(fileName))
        return fileName;
    return fileName + extensionOf(chosen);
}

QString failureHeadline()
{
    return QStringLiteral("不能正确操作Excel文件。可能是该文件已被其他程序打开,或系统错误。");
}

int cellTextLimit(Format f) { return f == Format::Csv ? 0 : kCellTextLimit; }

QString cutText(const QString& text, int limit)
{
    if (limit <= 0 || text.size() <= limit)
        return text;
    qsizetype n = limit;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n);
}

qint64 rowsPerWorkbook(int limit)
{
    return limit > 0 ? qint64(limit) * 10000 : 0;
}

qint64 workbookCount(qint64 records, int limit)
{
    const qint64 per = rowsPerWorkbook(limit);
    if (per == 0)
        return 1;
    return (records + per - 1) / per;
}

QString numberedName(const QString& chosen, qint64 k)
{
    const Format f = formatOf(chosen);
    QString base = chosen;
    if (hasKnownExtension(chosen))
        base.chop(extensionOf(f).size());
    return base + QString::number(k) + extensionOf(f);
}

void TableWriter::addUtf8Row(const QByteArrayView* cells, qsizetype count)
{
    QStringList row;
    row.reserve(count);
    for (qsizetype c = 0; c < count; ++c)
        row << QString::fromUtf8(cells[c]);
    addRow(row);
}

// ---------------------------------------------------------------------------

namespace {

static_assert(kCellTextLimit == xls::kMaxTextLength);

class XlsWriter : public TableWriter {
public:
    bool open(const QString& path, QString* error) override
    {
        // The workbook is assembled in memory; make sure the file can be
        // created before the rows are gathered.
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) {
            if (error)
                *error = QStringLiteral("不能创建文件 %1：%2").arg(path, f.errorString());
            return false;
        }
        path_ = path;
        return true;
    }
    void beginSheet(const QString& name, const QStringList& header) override
    {
        QVariantList h;
        h.reserve(header.size());
        for (const QString& s : header)
            h.append(s);
        w_.beginSheet(name, h);
    }
    void addRow(const QStringList& row) override { w_.addTextRow(row); }
    bool finish(QString* error) override
    {
        if (w_.save(path_, error))
            return true;
        if (error && diskFullAt(path_))
            *error = QStringLiteral("不能写入文件 ") + path_ + QStringLiteral("：") + diskFullText();
        return false;
    }

private:
    QString path_;
    xls::WorkbookWriter w_;
};

class XlsxWriter : public TableWriter {
public:
    bool open(const QString& path, QString* error) override
    {
        path_ = path;
        return book_.open(path, error);
    }
    void beginSheet(const QString& name, const QStringList& header) override
    {
        base_ = xlsx::sheetNameFor(name);
        header_ = header;
        part_ = 1;
        newSheet(base_);
    }
    void addRow(const QStringList& row) override
    {
        makeRoom();
        book_.addRow(row);
    }
    bool takesUtf8() const override { return true; }
    void addUtf8Row(const QByteArrayView* cells, qsizetype count) override
    {
        makeRoom();
        book_.addRow(cells, count);
    }
    bool finish(QString* error) override
    {
        QString problem;
        if (book_.finish(&problem))
            return true;
        if (diskFullAt(path_))
            problem = diskFullText();
        if (error)
            *error = QStringLiteral("不能写入文件 ") + path_ + QStringLiteral("：") + problem;
        return false;
    }

private:
    // A sheet for the next row: the first one, or the next when it is full.
    void makeRoom()
    {
        if (!started_)
            beginSheet(QStringLiteral("Sheet1"), {});
        else if (book_.rowsInSheet() >= xlsx::BookWriter::kMaxRows)
            continueSheet();
    }
    void newSheet(const QString& name)
    {
        started_ = true;
        book_.beginSheet(name);
        if (!header_.isEmpty())
            book_.addRow(header_);
    }
    // Rows past a worksheet's last go on in one named "客户(2)", "客户(3)" ...
    void continueSheet()
    {
        ++part_;
        const QString suffix = QStringLiteral("(") + QString::number(part_) + QStringLiteral(")");
        newSheet(base_.left(xlsx::BookWriter::kMaxSheetName - suffix.size()) + suffix);
    }

    xlsx::BookWriter book_;
    QString path_;
    QString base_;
    QStringList header_;
    int part_ = 1;
    bool started_ = false;
};

class CsvWriter : public TableWriter {
public:
    bool open(const QString& path, QString* error) override
    {
        f_.setFileName(path);
        if (!f_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (error)
                *error = QStringLiteral("不能创建文件 %1：%2").arg(path, f_.errorString());
            return false;
        }
        buf_ = QByteArray("\xEF\xBB\xBF");  // UTF-8 mark: Excel then reads the Chinese texts right
        return true;
    }
    bool worthAThread() const override { return false; }
    void beginSheet(const QString&, const QStringList& header) override
    {
        // One table per file: a header only at the top.
        if (!started_ && !header.isEmpty())
            addRow(header);
        started_ = true;
    }
    void addRow(const QStringList& row) override
    {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (c)
                buf_.append(',');
            const QString& s = row.at(c);
            const bool quote = s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"'))
                               || s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'))
                               || s.startsWith(QLatin1Char(' ')) || s.endsWith(QLatin1Char(' '));
            if (quote) {
                buf_.append('"');
                buf_.append(QString(s).replace(QLatin1Char('"'), QLatin1String("\"\"")).toUtf8());
                buf_.append('"');
            } else {
                buf_.append(s.toUtf8());
            }
        }
        buf_.append("\r\n");
        if (buf_.size() > (1 << 20))
            flush();
    }
    bool finish(QString* error) override
    {
        flush();
        const bool ok = ok_ && f_.flush();
        // The reason is read before the close, which forgets it.
        const QString why = diskFullAt(f_.fileName()) ? diskFullText() : f_.errorString();
        f_.close();
        if (!ok && error)
            *error = QStringLiteral("不能写入文件 ") + f_.fileName() + QStringLiteral("：") + why;
        return ok;
    }

private:
    void flush()
    {
        if (ok_ && !buf_.isEmpty())
            ok_ = f_.write(buf_) == buf_.size();
        buf_.clear();
    }
    QFile f_;
    QByteArray buf_;
    bool ok_ = true;
    bool started_ = false;
};

}  // namespace

std::unique_ptr<TableWriter> makeWriter(Format f)
{
    switch (f) {
    case Format::Xlsx: return std::make_unique<XlsxWriter>();
    case Format::Csv: return std::make_unique<CsvWriter>();
    case Format::Xls: break;
    }
    return std::make_unique<XlsWriter>();
}

QString temporaryBeside(const QString& target, QString* error)
{
    const QFileInfo info(target);
    // What an interrupted write to this target left goes first.
    scratch::removeLeftoversOf(target);
    QTemporaryFile tmp(scratch::templateFor(info.absoluteFilePath()));
    tmp.setAutoRemove(false);
    if (!tmp.open()) {
        if (error)
            *error = QStringLiteral("不能在文件夹 %1 中创建文件 %2：%3")
                         .arg(QDir::toNativeSeparators(info.absolutePath()), info.fileName(), tmp.errorString());
        return QString();
    }
    const QString name = tmp.fileName();
    tmp.close();
    return name;
}

bool moveIntoPlace(const QString& temporary, const QString& target, QString* error)
{
    auto fail = [&](const QString& why) {
        QFile::remove(temporary);
        if (error)
            *error = QStringLiteral("不能把写好的文件放到 %1：%2").arg(QDir::toNativeSeparators(target), why);
        return false;
    };
    // The workbook holds the customers: a new one is the user's alone, one
    // written over keeps the mode the user gave it.
    if (!privatefiles::applyMode(temporary, target))
        return fail(QStringLiteral("不能设定文件的权限"));
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData(), ec);
    if (ec)
        return fail(QString::fromLocal8Bit(ec.message().c_str()));
    return true;
}

}  // namespace exportfile
