#include "rules/formats/exportfile.h"
#include "rules/files/privatefiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>
#include <xlsxwriter.h>

#include "rules/errors/diskfull.h"
#include "rules/files/scratchfiles.h"
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
    static constexpr int kMaxRows = 1048576;
    static constexpr int kMaxColumns = 16384;

    ~XlsxWriter() override
    {
        if (wb_)
            workbook_close(wb_);  // abandoned: whatever it leaves is a temporary file
    }
    bool open(const QString& path, QString* error) override
    {
        lxw_workbook_options opt{};
        opt.constant_memory = LXW_TRUE;
        opt.use_zip64 = LXW_TRUE;
        path_ = QFile::encodeName(path);
        wb_ = workbook_new_opt(path_.constData(), &opt);
        if (!wb_) {
            if (error)
                *error = QStringLiteral("不能创建文件 %1").arg(path);
            return false;
        }
        return true;
    }
    void beginSheet(const QString& name, const QStringList& header) override
    {
        base_ = name.left(31);
        header_ = header;
        part_ = 1;
        newSheet(base_);
    }
    void addRow(const QStringList& row) override
    {
        if (!ws_)
            beginSheet(QStringLiteral("Sheet1"), {});
        else if (row_ >= kMaxRows)
            continueSheet();
        put(row);
    }
    bool finish(QString* error) override
    {
        if (!ws_ && problem_.isEmpty())
            newSheet(QStringLiteral("Sheet1"));
        const lxw_error e = workbook_close(wb_);
        wb_ = nullptr;
        if (problem_.isEmpty() && e != LXW_NO_ERROR)
            problem_ = QString::fromUtf8(lxw_strerror(e));
        if (!problem_.isEmpty() && diskFullAt(QFile::decodeName(path_)))
            problem_ = diskFullText();
        if (!problem_.isEmpty()) {
            if (error)
                *error = QStringLiteral("不能写入文件 %1：%2").arg(QFile::decodeName(path_), problem_);
            return false;
        }
        return true;
    }

private:
    void fail(const QString& problem)
    {
        if (problem_.isEmpty())
            problem_ = problem;
    }
    void newSheet(const QString& name)
    {
        QString n = name.isEmpty() ? QStringLiteral("Sheet") + QString::number(++count_) : name;
        for (QChar& c : n)
            if (QStringLiteral("[]:*?/\\").contains(c))
                c = QLatin1Char('_');
        ws_ = workbook_add_worksheet(wb_, n.toUtf8().constData());
        if (!ws_)  // a name used before
            ws_ = workbook_add_worksheet(wb_, nullptr);
        row_ = 0;
        if (!ws_) {
            // Its temporary file could not be made (constant memory mode).
            fail(QStringLiteral("不能添加工作表（临时文件夹满了或不能写入）"));
            return;
        }
        if (!header_.isEmpty())
            put(header_);
    }
    void continueSheet()
    {
        ++part_;
        const QString suffix = QStringLiteral("(") + QString::number(part_) + QStringLiteral(")");
        newSheet(base_.left(31 - suffix.size()) + suffix);
    }
    void put(const QStringList& row)
    {
        if (!ws_)
            return;
        const int n = int(qMin<qsizetype>(row.size(), kMaxColumns));
        if (row.size() > kMaxColumns)
            fail(QStringLiteral("Excel 工作表最多只有 %1 列，导出了 %2 列").arg(kMaxColumns).arg(row.size()));
        for (int c = 0; c < n; ++c) {
            const QString& s = row.at(c);
            if (s.isEmpty())
                continue;
            const lxw_error e = worksheet_write_string(ws_, lxw_row_t(row_), lxw_col_t(c),
                                                       cutText(s, kCellTextLimit).toUtf8().constData(), nullptr);
            if (e != LXW_NO_ERROR)
                fail(QStringLiteral("第 %1 行第 %2 列写不进去：%3")
                         .arg(QString::number(row_ + 1), QString::number(c + 1), QString::fromUtf8(lxw_strerror(e))));
        }
        ++row_;
    }

    QByteArray path_;
    lxw_workbook* wb_ = nullptr;
    lxw_worksheet* ws_ = nullptr;
    QString base_;
    QStringList header_;
    int part_ = 1;
    int count_ = 0;
    qint64 row_ = 0;
    QString problem_;  // the first thing that went wrong
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
