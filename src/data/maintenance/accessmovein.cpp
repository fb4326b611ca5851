// Moving in an old Access database: its three tables into a new database
// of the program.

#include "data/maintenance/dbfiles.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>

#include "data/maintenance/filesteps.h"
#include "rules/formats/tablereader.h"

namespace dbfile {

using namespace steps;

namespace {

QString shortDate(const QDate& d) { return d.toString(QStringLiteral("yyyy-M-d")); }
QString longTime(const QTime& t) { return t.toString(QStringLiteral("H:mm:ss")); }

// The tables of the Access file as it spells them, their columns and how
// many rows they hold together.
struct Source {
    QStringList tables;
    QList<QStringList> columns;
    qint64 totalRows = 0;
};

bool readSource(TableReader& reader, Source* out, QString* error)
{
    const QStringList present = reader.tableNames();
    for (const QString& t : requiredTables()) {
        const int at = indexOfName(present, t);
        if (at < 0) {
            setError(error, QStringLiteral("文件中没有“") + t + QStringLiteral("”表，不是来电显示软件的数据库。"));
            return false;
        }
        out->tables << present[at];
        out->columns << reader.columnNames(present[at]);
        out->totalRows += qMax<qint64>(0, reader.rowCount(present[at]));
    }
    return true;
}

// One row of the Access table as the values stored: the ID as a number
// (left out when it is none), everything else as its text.
QVariantList storedRow(const QVariantList& row, const QStringList& cols, int idColumn)
{
    QVariantList values;
    for (int c = 0; c < cols.size(); ++c) {
        const QVariant v = c < row.size() ? row[c] : QVariant();
        if (c == idColumn) {
            bool ok = false;
            const qint64 id = v.toLongLong(&ok);
            values << (!v.isNull() && ok ? QVariant(id) : QVariant());
            continue;
        }
        const QString text = movedInText(v, cols[c]);
        values << (text.isNull() ? QVariant() : QVariant(text));
    }
    return values;
}

// Copies the rows of every table; *error says why it stopped.
struct Copy {
    TableReader& reader;
    RowWriter& writer;
    const Progress& progress;
    const Source& source;
    qint64 done = 0;
    int lastPercent = -1;

    bool table(int t, qint64* rows, QString* error)
    {
        const QString target = requiredTables()[t];
        const QStringList& cols = source.columns[t];
        QString why;
        if (!writer.prepare(target, cols, &why)) {
            *error = QStringLiteral("无法写入“") + target + QStringLiteral("”：") + why;
            return false;
        }
        const int idColumn = indexOfName(cols, QStringLiteral("ID"));
        bool stopped = false;
        QString rowError;
        const bool read = reader.readRows(source.tables[t], [&](const QVariantList& row) {
            if ((*rows & 255) == 0 && progress.stopRequested && progress.stopRequested()) {
                stopped = true;
                return false;
            }
            if (!writer.write(storedRow(row, cols, idColumn), &rowError))
                return false;
            ++*rows;
            report(++done);
            return true;
        });
        if (stopped)
            *error = stoppedText();
        else if (!rowError.isEmpty())
            *error = QStringLiteral("“") + target + QStringLiteral("”第 ") + QString::number(*rows + 1) +
                     QStringLiteral(" 行无法转入：") + rowError;
        else if (!read)
            *error = QStringLiteral("读取“") + source.tables[t] + QStringLiteral("”表失败：") + reader.error();
        return !stopped && rowError.isEmpty() && read;
    }

    void report(qint64 n)
    {
        if (!progress.report || source.totalRows <= 0)
            return;
        const int p = int(qMin<qint64>(100, 100 * n / source.totalRows));
        if (p != lastPercent)
            progress.report(lastPercent = p);
    }
};

}  // namespace

QString movedInText(const QVariant& value, const QString& column)
{
    if (value.isNull() || !value.isValid())
        return QString();
    const bool isDate = column.compare(QStringLiteral("日期"), Qt::CaseInsensitive) == 0;
    const bool isTime = column.compare(QStringLiteral("时间"), Qt::CaseInsensitive) == 0;
    switch (value.typeId()) {
    case QMetaType::QDate:
        return shortDate(value.toDate());
    case QMetaType::QTime:
        return longTime(value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (isDate)
            return shortDate(dt.date());
        // A time of day alone sits on Access's day zero.
        if (isTime || dt.date() == QDate(1899, 12, 30))
            return longTime(dt.time());
        if (dt.time() == QTime(0, 0))
            return shortDate(dt.date());
        return shortDate(dt.date()) + QLatin1Char(' ') + longTime(dt.time());
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (d == double(qint64(d)) && d > -1e15 && d < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    default:
        break;
    }
    const QString text = value.toString();
    if (isDate) {
        // 2009-04-27, 2009/4/27 or 2009.4.27, maybe followed by a time.
        static const QRegularExpression re(
            QStringLiteral("^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(\\s.*)?$"));
        const auto m = re.match(text);
        if (m.hasMatch()) {
            const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (d.isValid())
                return shortDate(d);
        }
    } else if (isTime) {
        static const QRegularExpression re(
            QStringLiteral("^\\s*(?:\\d{4}[-/.]\\d{1,2}[-/.]\\d{1,2}\\s+)?(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
        const auto m = re.match(text);
        if (m.hasMatch()) {
            const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (t.isValid())
                return longTime(t);
        }
    }
    return text;
}

bool convertAccess(TableReader& reader, const QString& target, MoveInCounts* counts, QString* error,
                   const Progress& progress)
{
    reached("convert-start");
    Source source;
    if (!readSource(reader, &source, error))
        return false;
    const QStringList tables = requiredTables();
    auto extras = [&](const QString& table) { return source.columns[tables.indexOf(table)]; };
    if (!createDatabase(target, error, extras))
        return false;

    auto fail = [&](const QString& why) {
        removeDatabaseFile(target);
        setError(error, why);
        return false;
    };
    MoveInCounts moved;
    {
        QString why;
        std::unique_ptr<RowWriter> writer = store().writeRows(target, &why);
        if (!writer)
            return fail(QStringLiteral("无法写入“") + shown(target) + QStringLiteral("”：") + why);
        Copy copy{reader, *writer, progress, source};
        for (int t = 0; t < tables.size(); ++t) {
            qint64& rows = t == 0 ? moved.customers : t == 1 ? moved.calls : moved.dictionary;
            if (!copy.table(t, &rows, &why))
                return fail(why);
        }
        if (!writer->commit(&why))
            return fail(QStringLiteral("无法写入“") + shown(target) + QStringLiteral("”：") + why);
    }
    reached("convert-written");
    QString why;
    if (!finishScratch(target, &why))
        return fail(why);
    if (counts)
        *counts = moved;
    return true;
}

}  // namespace dbfile
