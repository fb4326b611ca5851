#include "transfer/exportfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <filesystem>
#include <system_error>
#include <xlsxwriter.h>

#include "transfer/xlswriter.h"

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

QString cut(const QString& s)
{
    return s.size() > xls::kMaxTextLength ? s.left(xls::kMaxTextLength) : s;
}

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
    bool finish(QString* error) override { return w_.save(path_, error); }

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
        if (!ws_)
            newSheet(QStringLiteral("Sheet1"));
        const lxw_error e = workbook_close(wb_);
        wb_ = nullptr;
        if (failed_ || e != LXW_NO_ERROR) {
            if (error)
                *error = QStringLiteral("不能写入文件 %1：%2")
                             .arg(QFile::decodeName(path_),
                                  failed_ ? QStringLiteral("数据超出了工作表的范围")
                                          : QString::fromUtf8(lxw_strerror(e)));
            return false;
        }
        return true;
    }

private:
    void newSheet(const QString& name)
    {
        QString n = name.isEmpty() ? QStringLiteral("Sheet%1").arg(++count_) : name;
        for (QChar& c : n)
            if (QStringLiteral("[]:*?/\\").contains(c))
                c = QLatin1Char('_');
        ws_ = workbook_add_worksheet(wb_, n.toUtf8().constData());
        if (!ws_)  // a name used before
            ws_ = workbook_add_worksheet(wb_, nullptr);
        row_ = 0;
        if (!header_.isEmpty())
            put(header_);
    }
    void continueSheet()
    {
        ++part_;
        const QString suffix = QStringLiteral("(%1)").arg(part_);
        newSheet(base_.left(31 - suffix.size()) + suffix);
    }
    void put(const QStringList& row)
    {
        const int n = int(qMin<qsizetype>(row.size(), kMaxColumns));
        if (row.size() > kMaxColumns)
            failed_ = true;
        for (int c = 0; c < n; ++c) {
            const QString& s = row.at(c);
            if (s.isEmpty())
                continue;
            if (worksheet_write_string(ws_, lxw_row_t(row_), lxw_col_t(c), cut(s).toUtf8().constData(),
                                       nullptr) != LXW_NO_ERROR)
                failed_ = true;
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
    bool failed_ = false;
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
        f_.close();
        if (!ok && error)
            *error = QStringLiteral("不能写入文件 %1：%2").arg(f_.fileName(), f_.errorString());
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

bool writeInPlace(const QString& target, const std::function<bool(const QString&, QString*)>& write,
                  QString* error)
{
    const QFileInfo info(target);
    QTemporaryFile tmp(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    tmp.setAutoRemove(false);
    if (!tmp.open()) {
        if (error)
            *error = QStringLiteral("不能在 %1 中创建文件：%2").arg(info.absolutePath(), tmp.errorString());
        return false;
    }
    const QString tmpName = tmp.fileName();
    tmp.close();
    bool written = false;
    try {
        written = write(tmpName, error);
    } catch (...) {
        QFile::remove(tmpName);
        throw;
    }
    if (!written) {
        QFile::remove(tmpName);
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(tmpName).constData(), QFile::encodeName(target).constData(), ec);
    if (ec) {
        QFile::remove(tmpName);
        if (error)
            *error = QStringLiteral("不能替换文件 %1：%2").arg(target, QString::fromLocal8Bit(ec.message().c_str()));
        return false;
    }
    // The temporary file was made for the owner alone; give the workbook the
    // usual permissions of a new file.
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                      | QFile::ReadOther);
    return true;
}

}  // namespace exportfile
