#include "transfer/tablereader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>

#include "transfer/readers.h"

namespace readers {

QVariant fromSerialDate(double serial)
{
    if (!std::isfinite(serial) || std::fabs(serial) > 3.0e6)
        return QVariant(serial);
    double whole = std::trunc(serial);
    double fraction = std::fabs(serial - whole);
    // Milliseconds of the day, rounded; a fraction that rounds to a whole day
    // moves to the next day.
    qint64 ms = qint64(std::llround(fraction * 86400000.0));
    if (ms >= 86400000) {
        ms -= 86400000;
        whole += serial < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(ms));
    if (ms == 0)
        return date;
    if (whole == 0)
        return time;
    return QDateTime(date, time);
}

QString shownName(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace readers

std::unique_ptr<TableReader> openTableReader(const QString& path, QString* error)
{
    QString dummy;
    QString& err = error ? *error : dummy;
    err.clear();
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        err = QStringLiteral("文件 %1 不存在！").arg(readers::shownName(path));
        return nullptr;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        err = QStringLiteral("文件 %1 不能打开：%2").arg(readers::shownName(path), probe.errorString());
        return nullptr;
    }
    probe.close();
    const QString ext = info.suffix().toLower();
    if (ext == QLatin1String("mdb") || ext == QLatin1String("accdb"))
        return readers::openAccess(path, &err);
    if (ext == QLatin1String("xls"))
        return readers::openXls(path, &err);
    if (ext == QLatin1String("xlsx"))
        return readers::openXlsx(path, &err);
    if (ext == QLatin1String("csv") || ext == QLatin1String("txt"))
        return readers::openCsv(path, &err);
    err = QStringLiteral("不能识别文件 %1 的类型，请选择 .xls、.xlsx、.csv、.mdb 或 .accdb 文件。")
              .arg(readers::shownName(path));
    return nullptr;
}
