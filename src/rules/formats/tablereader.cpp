#include "rules/formats/tablereader.h"

bool TableReader::appendRows(const QString&, const QList<QVariantList>&, QString* error)
{
    *error = QStringLiteral("这种数据文件只能读取，不能写入。");
    return false;
}
