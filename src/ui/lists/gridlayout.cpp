#include "ui/lists/gridlayout.h"

#include <QDir>
#include <QFile>

#include "rules/errors/errorreport.h"
#include "rules/files/textfile.h"
#include "ui/kit/dbgrid.h"
#include "rules/lists/layoutfile.h"
#include "rules/lists/savefile.h"

namespace gridlayout {

void save(const DBGrid& grid, const QString& path)
{
    QVector<layoutfile::Column> cols;
    for (const GridColumn& c : grid.columnLayout())
        cols.append({c.fieldName, c.width});
    const QByteArray bytes = layoutfile::write(cols);
    // A failed write leaves the previous layout in place.
    replaceFile(path, bytes);
}

void load(DBGrid& grid, const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件“%1”：%2")
                            .arg(QDir::toNativeSeparators(path), f.errorString()));
    const QByteArray bytes = f.readAll();
    QVector<layoutfile::Column> cols;
    QString error;
    if (!layoutfile::read(bytes, &cols, &error))
        throw FileError(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), error));
    QVector<GridColumn> gridCols;
    gridCols.reserve(cols.size());
    for (const layoutfile::Column& c : cols)
        gridCols.append({c.fieldName, c.width});
    grid.setColumnLayout(gridCols);
}

bool loadIfPresent(DBGrid& grid, const QString& path)
{
    if (!QFile::exists(path))
        return false;
    load(grid, path);
    return true;
}

void fitWidths(DBGrid& grid, int limit)
{
    DataSet* ds = grid.dataModel()->dataSet();
    const QVector<GridColumn> cols = grid.columnLayout();
    for (int i = 0; i < cols.size(); ++i) {
        // The data layer's own error when the field is missing; an empty
        // data set reads as empty texts.
        QString value;
        if (ds && ds->isActive())
            value = ds->text(ds->fieldIndex(cols[i].fieldName));
        else if (ds)
            ds->fieldIndex(cols[i].fieldName);
        grid.setColumnPixelWidth(i, gridwidths::fitted(value, cols[i].fieldName, limit));
    }
}

}  // namespace gridlayout
