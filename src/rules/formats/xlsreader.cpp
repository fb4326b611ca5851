// Excel 97-2003 workbooks (.xls) read through freexl.  Worksheets are the
// tables, named with a trailing "$"; the first row holds the column names.
#include <freexl.h>

#include <QFile>
#include <QStringList>
#include <QVector>

#include "rules/formats/readers.h"
#include "rules/formats/xlswriter.h"

namespace {

QString openMessage(const QString& path, int rc)
{
    const QString name = readers::shownName(path);
    switch (rc) {
    case FREEXL_INSUFFICIENT_MEMORY:
        return QStringLiteral("内存不足，不能读取工作簿 %1。").arg(name);
    case FREEXL_INVALID_CFBF_HEADER:
    case FREEXL_CFBF_INVALID_SIGNATURE:
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
    case FREEXL_BIFF_INVALID_BOF:
        return QStringLiteral("文件 %1 不是Excel 97-2003工作簿(*.xls)，不能读取。").arg(name);
    default:
        return QStringLiteral("工作簿 %1 已损坏或不完整，不能读取（错误 %2）。").arg(name, QString::number(rc));
    }
}

// Whether the workbook's globals start with a FILEPASS record right after
// their BOF, as encrypted workbooks do.  The workbook stream begins at a
// sector of the compound file; sectors are multiples of 512 bytes.
bool encrypted(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    static const QByteArray bof("\x09\x08\x10\x00\x00\x06\x05\x00", 8);
    char sector[512];
    while (f.read(sector, sizeof sector) == qint64(sizeof sector)) {
        if (QByteArray::fromRawData(sector, 8) == bof)
            return uchar(sector[20]) == 0x2F && sector[21] == 0;
    }
    return false;
}

class XlsReader : public TableReader {
public:
    XlsReader(const QString& path, const void* handle) : path_(path), h_(handle) {}
    ~XlsReader() override { freexl_close(h_); }

    bool init(QString* error)
    {
        unsigned int sheets = 0;
        if (freexl_get_info(h_, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK) {
            *error = openMessage(path_, FREEXL_INVALID_HANDLE);
            return false;
        }
        for (unsigned int i = 0; i < sheets; ++i) {
            const char* name = nullptr;
            if (freexl_get_worksheet_name(h_, (unsigned short)i, &name) != FREEXL_OK || !name)
                continue;
            names_ << QString::fromUtf8(name) + QLatin1Char('$');
            index_ << int(i);
        }
        return true;
    }

    QStringList tableNames() override { return names_; }

    QStringList columnNames(const QString& table) override
    {
        unsigned int rows = 0;
        unsigned short cols = 0;
        QStringList names;
        if (!select(table, &rows, &cols) || rows == 0)
            return names;
        for (unsigned short c = 0; c < cols; ++c) {
            const QVariant v = cell(0, c);
            names << (v.isNull() ? QString() : text(v));
        }
        // Trailing columns without a heading hold nothing worth a mapping
        // row; an unnamed column between named ones is named after Excel.
        while (!names.isEmpty() && names.last().isEmpty() && columnEmpty(rows, names.size() - 1))
            names.removeLast();
        for (int c = 0; c < names.size(); ++c)
            if (names[c].isEmpty())
                names[c] = QStringLiteral("F%1").arg(c + 1);
        return names;
    }

    qint64 rowCount(const QString& table) override
    {
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (!select(table, &rows, &cols))
            return -1;
        return rows > 0 ? qint64(rows) - 1 : 0;
    }

    bool readRows(const QString& table,
                  const std::function<bool(const QVariantList&)>& row) override
    {
        const int n = int(columnNames(table).size());
        unsigned int rows = 0;
        unsigned short cols = 0;
        if (!select(table, &rows, &cols))
            return false;
        QVariantList values;
        for (unsigned int r = 1; r < rows; ++r) {
            values.clear();
            values.reserve(n);
            for (int c = 0; c < n; ++c)
                values << cell(r, (unsigned short)c);
            if (!row(values))
                return true;
        }
        return true;
    }

    QString error() const override { return error_; }

    // Every sheet's cells go into a new workbook, the rows at the end of
    // the chosen sheet, and the new workbook replaces the old one.
    bool appendRows(const QString& table, const QList<QVariantList>& rows, QString* error) override
    {
        if (!names_.contains(table)) {
            *error = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        QList<xls::Sheet> sheets;
        for (const QString& name : names_) {
            unsigned int nrows = 0;
            unsigned short ncols = 0;
            if (!select(name, &nrows, &ncols)) {
                *error = error_;
                return false;
            }
            xls::Sheet sheet;
            sheet.name = name.chopped(1);
            for (unsigned int r = 0; r < nrows; ++r) {
                QVariantList values;
                for (unsigned short c = 0; c < ncols; ++c)
                    values << readers::writableValue(cell(r, c));
                sheet.rows << values;
            }
            if (name == table)
                for (const QVariantList& row : rows) {
                    QVariantList values;
                    for (const QVariant& v : row)
                        values << readers::writableValue(v);
                    sheet.rows << values;
                }
            sheets << sheet;
        }
        return readers::replaceFile(
            path_, [&](const QString& temporary, QString* err) { return xls::writeWorkbook(temporary, sheets, err); },
            error);
    }

    static QString text(const QVariant& v)
    {
        if (v.typeId() == QMetaType::Double) {
            const double d = v.toDouble();
            if (d == qint64(d))
                return QString::number(qint64(d));
        }
        return v.toString();
    }

private:
    bool select(const QString& table, unsigned int* rows, unsigned short* cols)
    {
        const qsizetype i = names_.indexOf(table);
        if (i < 0) {
            error_ = QStringLiteral("工作簿中没有工作表“%1”！").arg(table);
            return false;
        }
        if (freexl_select_active_worksheet(h_, (unsigned short)index_[i]) != FREEXL_OK ||
            freexl_worksheet_dimensions(h_, rows, cols) != FREEXL_OK) {
            error_ = openMessage(path_, FREEXL_INVALID_HANDLE);
            return false;
        }
        return true;
    }

    bool columnEmpty(unsigned int rows, int c)
    {
        for (unsigned int r = 0; r < rows; ++r)
            if (!cell(r, (unsigned short)c).isNull())
                return false;
        return true;
    }

    QVariant cell(unsigned int r, unsigned short c)
    {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(h_, r, c, &v) != FREEXL_OK)
            return {};
        switch (v.type) {
        case FREEXL_CELL_INT:
            return qint64(v.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return v.value.double_value;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT: {
            const QString s = QString::fromUtf8(v.value.text_value);
            return s.isEmpty() ? QVariant() : QVariant(s);
        }
        case FREEXL_CELL_DATE:
            return QDate::fromString(QString::fromLatin1(v.value.text_value), Qt::ISODate);
        case FREEXL_CELL_DATETIME:
            return QDateTime::fromString(QString::fromLatin1(v.value.text_value),
                                         QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case FREEXL_CELL_TIME:
            return QTime::fromString(QString::fromLatin1(v.value.text_value),
                                     QStringLiteral("HH:mm:ss"));
        default:
            return {};
        }
    }

    QString path_;
    const void* h_;
    QStringList names_;
    QVector<int> index_;
    QString error_;
};

}  // namespace

namespace readers {

std::unique_ptr<TableReader> openXls(const QString& path, QString* error, bool* biff)
{
    bool dummy = false;
    bool& workbook = biff ? *biff : dummy;
    workbook = false;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray head = f.read(8);
        if (head.startsWith("PK\x03\x04")) {
            *error = QStringLiteral("文件 %1 是Excel 2007以后的工作簿，请将扩展名改为 .xlsx 后再导入。")
                         .arg(shownName(path));
            return nullptr;
        }
        if (head != QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
            *error = QStringLiteral("文件 %1 不是Excel 97-2003工作簿(*.xls)，不能读取。").arg(shownName(path));
            return nullptr;
        }
    }
    const void* handle = nullptr;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &handle);
    if (rc != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        *error = openMessage(path, rc);
        workbook = rc != FREEXL_INVALID_CFBF_HEADER && rc != FREEXL_CFBF_INVALID_SIGNATURE &&
                   rc != FREEXL_BIFF_WORKBOOK_NOT_FOUND;
        return nullptr;
    }
    workbook = true;
    // freexl says yes but gives no handle both for an encrypted workbook and
    // for one with a text running over more records than it can follow.
    if (!handle && encrypted(path)) {
        *error = QStringLiteral("工作簿 %1 设有打开密码，请在Excel中取消密码后再导入。").arg(shownName(path));
        return nullptr;
    }
    if (!handle) {
        *error = QStringLiteral("工作簿 %1 中有很长的文字，本软件不能按Excel 97-2003格式读取。"
                                "请在Excel中把它另存为 .xlsx 工作簿后再导入。")
                     .arg(shownName(path));
        return nullptr;
    }
    unsigned int password = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK && password == FREEXL_BIFF_OBFUSCATED) {
        freexl_close(handle);
        *error = QStringLiteral("工作簿 %1 设有打开密码，请在Excel中取消密码后再导入。").arg(shownName(path));
        return nullptr;
    }
    auto reader = std::make_unique<XlsReader>(path, handle);
    if (!reader->init(error))
        return nullptr;
    return reader;
}

}  // namespace readers
