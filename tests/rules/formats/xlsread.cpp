#include "xlsread.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <freexl.h>

namespace xlsread {

QList<SheetCells> readXls(const QString& path)
{
    QList<SheetCells> out;
    const void* h = nullptr;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &h);
    if (rc != FREEXL_OK) {
        QTest::qFail(qPrintable(QStringLiteral("freexl_open: %1").arg(rc)), __FILE__, __LINE__);
        return out;
    }
    unsigned int count = 0;
    freexl_get_info(h, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned short s = 0; s < count; ++s) {
        SheetCells sheet;
        const char* name = nullptr;
        freexl_get_worksheet_name(h, s, &name);
        sheet.name = QString::fromUtf8(name);
        freexl_select_active_worksheet(h, s);
        unsigned int rows = 0;
        unsigned short cols = 0;
        freexl_worksheet_dimensions(h, &rows, &cols);
        sheet.columns = cols;
        for (unsigned int r = 0; r < rows; ++r) {
            QStringList line;
            for (unsigned short c = 0; c < cols; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(h, r, c, &v) != FREEXL_OK) {
                    line.append(QStringLiteral("<error>"));
                    continue;
                }
                switch (v.type) {
                case FREEXL_CELL_INT: line.append(QString::number(v.value.int_value)); break;
                case FREEXL_CELL_DOUBLE: line.append(QString::number(v.value.double_value, 'g', 15)); break;
                case FREEXL_CELL_NULL: line.append(QString()); break;
                default: line.append(QString::fromUtf8(v.value.text_value)); break;
                }
            }
            sheet.rows.append(line);
        }
        out.append(sheet);
    }
    freexl_close(h);
    return out;
}

QString readByGnumeric(const QString& xls, const QString& csvName)
{
    const QString ssconvert = QStandardPaths::findExecutable(QStringLiteral("ssconvert"));
    if (ssconvert.isEmpty())
        return QStringLiteral("<ssconvert (gnumeric) is not installed: scripts/setup.sh installs it>");
    QProcess p;
    p.start(ssconvert, {xls, csvName});
    if (!p.waitForFinished(60000))
        return QStringLiteral("<ssconvert did not finish>");
    QFile csv(csvName);
    if (!csv.open(QIODevice::ReadOnly))
        return QStringLiteral("<ssconvert wrote nothing: ") + QString::fromLocal8Bit(p.readAllStandardError()) + '>';
    return QString::fromUtf8(csv.readAll()).trimmed();
}

}  // namespace xlsread

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <minizip/unzip.h>

namespace xlsread {
namespace {

QByteArray entry(unzFile zf, const char* name)
{
    QByteArray out;
    if (unzLocateFile(zf, name, 0) != UNZ_OK || unzOpenCurrentFile(zf) != UNZ_OK)
        return out;
    char buf[65536];
    int n;
    while ((n = unzReadCurrentFile(zf, buf, sizeof buf)) > 0)
        out.append(buf, n);
    unzCloseCurrentFile(zf);
    return out;
}

int columnOf(const QString& ref)
{
    int c = 0;
    for (QChar ch : ref) {
        if (!ch.isLetter())
            break;
        c = c * 26 + (ch.unicode() - 'A' + 1);
    }
    return c - 1;
}

}  // namespace

QList<SheetCells> readXlsx(const QString& path)
{
    QList<SheetCells> out;
    unzFile zf = unzOpen64(QFile::encodeName(path).constData());
    if (!zf) {
        QTest::qFail("cannot unzip the workbook", __FILE__, __LINE__);
        return out;
    }
    QStringList shared;
    {
        QXmlStreamReader x(entry(zf, "xl/sharedStrings.xml"));
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("t"))
                shared << x.readElementText();
    }
    QStringList names;
    {
        QXmlStreamReader x(entry(zf, "xl/workbook.xml"));
        while (!x.atEnd())
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("sheet"))
                names << x.attributes().value(QLatin1String("name")).toString();
    }
    for (int s = 0; s < names.size(); ++s) {
        SheetCells sheet;
        sheet.name = names[s];
        QXmlStreamReader x(entry(zf, QStringLiteral("xl/worksheets/sheet%1.xml").arg(s + 1).toUtf8().constData()));
        int row = -1, col = 0;
        QString type;
        while (!x.atEnd()) {
            if (x.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (x.name() == QLatin1String("row")) {
                row = x.attributes().value(QLatin1String("r")).toInt() - 1;
                while (sheet.rows.size() <= row)
                    sheet.rows.append(QStringList());
            } else if (x.name() == QLatin1String("c")) {
                col = columnOf(x.attributes().value(QLatin1String("r")).toString());
                type = x.attributes().value(QLatin1String("t")).toString();
            } else if (x.name() == QLatin1String("t") || x.name() == QLatin1String("v")) {
                QString text = x.readElementText();
                if (type == QLatin1String("s"))
                    text = shared.value(text.toInt());
                QStringList& r = sheet.rows[row];
                while (r.size() <= col)
                    r.append(QString());
                r[col] = text;
                sheet.columns = qMax(sheet.columns, col + 1);
            }
        }
        for (QStringList& r : sheet.rows)
            while (r.size() < sheet.columns)
                r.append(QString());
        out.append(sheet);
    }
    unzClose(zf);
    return out;
}

}  // namespace xlsread
