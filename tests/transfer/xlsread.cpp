#include "xlsread.h"

#include <QFile>
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

}  // namespace xlsread
