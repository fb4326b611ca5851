// Stands in for the table readers until they are part of the program: a
// build without them cannot read Access files and says so.  The real
// openTableReader() replaces this one.

#include "transfer/tablereader.h"

__attribute__((weak)) std::unique_ptr<TableReader> openTableReader(const QString&, QString* error)
{
    if (error)
        *error = QStringLiteral("这一版软件不能读取Access文件。");
    return nullptr;
}
