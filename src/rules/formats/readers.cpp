#include "rules/formats/readers.h"

#include "rules/files/livefiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "rules/files/livefiles.h"
#include "rules/files/privatefiles.h"
#include "rules/files/scratchfiles.h"
#include "rules/transfer/fieldmapping.h"

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

bool replaceFile(const QString& path, const std::function<bool(const QString&, QString*)>& write, QString* error)
{
    const QFileInfo info(path);
    if (!QFileInfo(info.absolutePath()).isWritable() || (info.exists() && !info.isWritable())) {
        *error = QStringLiteral("文件 %1 是只读的，不能写入。").arg(shownName(path));
        return false;
    }
    const QString temporary = scratch::nameFor(info.absoluteFilePath());
    scratch::removeLeftoversOf(path);
    if (!write(temporary, error)) {
        QFile::remove(temporary);
        return false;
    }
    // The file keeps its mode (a new one is the user's alone).
    if (!privatefiles::applyMode(temporary, path) ||
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        *error = QStringLiteral("文件 %1 不能写入：%2").arg(shownName(path), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
}

QVariant writableValue(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::QDate:
    case QMetaType::QDateTime:
    case QMetaType::QTime:
        return mapping::valueText(v);
    default:
        return v;
    }
}

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
    // Not even a probe: its close would drop the program's locks.
    if (livefiles::isLive(path)) {
        err = livefiles::refusedText(path);
        return nullptr;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        err = QStringLiteral("文件 %1 不能打开：%2").arg(readers::shownName(path), probe.errorString());
        return nullptr;
    }
    probe.close();
    const QString ext = info.suffix().toLower();
    if (ext == QLatin1String("mdb") || ext == QLatin1String("accdb")) {
        // A backup or another desk's database of this program is an .mdb too.
        if (readers::isSqliteFile(path))
            return readers::openSqlite(path, &err);
        return readers::openAccess(path, &err);
    }
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
