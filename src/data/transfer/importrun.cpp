#include "data/transfer/importrun.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>
#include <optional>

#include "rules/app/statementtext.h"
#include "data/app/connection.h"
#include "data/app/dataset.h"
#include "data/calls/numberindex.h"
#include "rules/transfer/fieldmapping.h"
#include "data/transfer/importsource.h"
#include "rules/transfer/tablereader.h"

namespace {

QString sqlError(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

QString nothingImported() { return QStringLiteral("没有导入任何数据。"); }

// An ID as the file gives it, as a whole number; false when it is none.
bool wholeNumber(const QString& text, qint64* id)
{
    bool ok = false;
    *id = text.trimmed().toLongLong(&ok);
    return ok;
}

}  // namespace

RunOutcome runImport(QSqlDatabase db, const ImportSource& source, const ImportMapping& m,
                     const std::function<bool()>& stopRequested, const RunProgress& progress)
{
    RunOutcome out;
    if (!source.reader) {
        out.error = QStringLiteral("请先选择表文件！");
        return out;
    }
    const QStringList& standard = m.standard;
    // Fields that the table really has (a search may show computed columns).
    QStringList tableFields;
    const QSqlRecord rec = db.record(m.target);
    for (int i = 0; i < rec.count(); ++i)
        tableFields << rec.fieldName(i).toLower();

    // Per source column: the standard field it goes to, or -1.
    const int columns = int(m.numbers.size());
    QVector<int> target(columns, -1);
    for (int i = 0; i < columns; ++i) {
        const int n = mapping::targetOf(m.numbers[i]);
        if (n >= 0 && n < standard.size() && tableFields.contains(standard[n].toLower()))
            target[i] = n;
    }
    // The rows bring keys of their own when a column goes to ID.
    int idField = -1;
    for (int n : std::as_const(target))
        if (n >= 0 && standard[n].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
            idField = n;

    if (!db.transaction()) {
        out.error = QStringLiteral("数据库正忙或不能写入，不能开始导入：") + db.lastError().text();
        return out;
    }
    auto abandon = [&](const QString& why) {
        db.rollback();
        out.error = why;
        out.stored = 0;
        out.skipped = 0;
        out.renumbered = 0;
        return out;
    };
    // The caller lookup's index takes the new customers together at the end,
    // unless the rows bring keys of their own.
    std::optional<numberindex::BulkAppend> bulk;
    if (idField < 0 && m.target == QStringLiteral("客户数据")) {
        try {
            bulk.emplace(db);
        } catch (const std::exception& e) {
            return abandon(QString::fromUtf8(e.what()));
        }
    }
    QSqlQuery idTaken(db);
    if (idField >= 0 && !idTaken.prepare(QStringLiteral("select 1 from ") + quotedIdentifier(m.target) +
                                         QStringLiteral(" where ") + quotedIdentifier(standard[idField]) +
                                         QStringLiteral(" = ?")))
        return abandon(sqlError(idTaken));

    // One prepared statement per set of fields that a row fills.
    QHash<QByteArray, QSqlQuery> statements;
    QVector<QString> values(standard.size());
    QVector<bool> filled(standard.size());
    bool storeFailed = false;
    bool stopped = false;

    const bool readOk = source.reader->readRows(source.table, [&](const QVariantList& row) {
        if (stopRequested && stopRequested()) {
            out.cancelled = true;
            return false;
        }
        values.fill(QString());
        filled.fill(false);
        bool any = false;
        for (int i = 0; i < columns && i < row.size(); ++i) {
            if (target[i] < 0)
                continue;
            const QString text = mapping::valueText(row[i]);
            if (text.isEmpty())
                continue;  // the field keeps its default
            values[target[i]] = text;
            filled[target[i]] = true;
            any = true;
        }
        const qint64 rowNumber = out.count + 1;
        if (idField >= 0 && filled[idField]) {
            qint64 id = 0;
            if (!wholeNumber(values[idField], &id)) {
                out.error = QStringLiteral("第%1行数据不能保存：ID“%2”不是整数，不能作为客户的记录号。")
                                .arg(QString::number(rowNumber), values[idField]);
                storeFailed = true;
                return false;
            }
            idTaken.bindValue(0, id);
            if (!idTaken.exec()) {
                out.error = QStringLiteral("第%1行数据不能保存：%2").arg(QString::number(rowNumber), sqlError(idTaken));
                storeFailed = true;
                return false;
            }
            const bool taken = idTaken.next();
            idTaken.finish();
            if (taken) {
                switch (m.existingIds) {
                case ExistingIds::Stop:
                    out.existingId = values[idField];
                    out.existingRow = rowNumber;
                    stopped = true;
                    return false;
                case ExistingIds::Skip:
                    ++out.skipped;
                    any = false;
                    break;
                case ExistingIds::AsNew:
                    ++out.renumbered;
                    filled[idField] = false;
                    break;
                }
            }
        }
        if (any) {
            QByteArray key(standard.size(), '0');
            for (int f = 0; f < standard.size(); ++f)
                if (filled[f])
                    key[f] = '1';
            auto it = statements.find(key);
            if (it == statements.end()) {
                QStringList cols, marks;
                for (int f = 0; f < standard.size(); ++f)
                    if (filled[f]) {
                        cols << quotedIdentifier(standard[f]);
                        marks << QStringLiteral("?");
                    }
                QSqlQuery q(db);
                const QString sql = cols.isEmpty()
                                        ? QStringLiteral("insert into ") + quotedIdentifier(m.target) +
                                              QStringLiteral(" default values")
                                        : QStringLiteral("insert into ") + quotedIdentifier(m.target) +
                                              QStringLiteral(" (") + cols.join(QLatin1Char(',')) +
                                              QStringLiteral(") values (") + marks.join(QLatin1Char(',')) +
                                              QLatin1Char(')');
                if (!q.prepare(sql)) {
                    out.error = sqlError(q);
                    storeFailed = true;
                    return false;
                }
                it = statements.insert(key, q);
            }
            QSqlQuery& q = it.value();
            int k = 0;
            for (int f = 0; f < standard.size(); ++f)
                if (filled[f])
                    q.bindValue(k++, values[f]);
            if (!q.exec()) {
                out.error = QStringLiteral("第%1行数据不能保存：%2").arg(QString::number(rowNumber), sqlError(q));
                storeFailed = true;
                return false;
            }
            ++out.stored;
        }
        ++out.count;
        if (progress)
            progress(out.count, source.rows);
        return true;
    });
    const QString readError = readOk ? QString() : source.reader->error();
    statements.clear();
    idTaken.finish();

    if (!readOk) {
        // Nothing half-read is kept.
        out.count = 0;
        return abandon(readError + QChar(13) + nothingImported());
    }
    if (out.cancelled) {
        out.count = 0;
        abandon(QString());
        return out;
    }
    if (stopped) {
        abandon(QString());
        out.count = 0;
        return out;
    }
    try {
        if (bulk)
            bulk->finish();
    } catch (const std::exception& e) {
        out.count = 0;
        return abandon(QString::fromUtf8(e.what()) + QChar(13) + nothingImported());
    }
    if (!db.commit()) {
        out.count = 0;
        return abandon(QStringLiteral("数据库正忙或不能写入，导入的数据没有保存：") + db.lastError().text());
    }
    if (storeFailed) {
        out.error += QChar(13) + QStringLiteral("此前的%1条数据已经导入。").arg(out.stored);
        return out;
    }
    out.finished = true;
    return out;
}

RunOutcome importRows(Connection& connection, const QString& table, ImportDataSet& source,
                      const QStringList& standard, const QStringList& numbers, const RunProgress& progress)
{
    connection.finishCounts();
    ImportMapping m;
    m.target = table;
    m.standard = standard;
    m.numbers = numbers;
    ImportSource src;
    if (source.isActive() && source.connection())
        src = ImportSource{source.connection()->reader(), source.tableName(), source.recordCount()};
    return runImport(connection.database(), src, m, {}, progress);
}

RunOutcome appendCustomers(QSqlDatabase db, const QString& statement, const ImportSource& target,
                           const QStringList& standard, const QStringList& numbers,
                           const std::function<bool()>& stopRequested, const RunProgress& progress)
{
    RunOutcome out;
    if (!target.reader) {
        out.error = QStringLiteral("请先选择表文件！");
        return out;
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(statement)) {
        out.error = sqlError(q);
        return out;
    }
    // Per column of the table: the customer field it gets, or -1.
    const QSqlRecord rec = q.record();
    const int columns = int(numbers.size());
    QVector<int> field(columns, -1);
    for (int i = 0; i < columns; ++i) {
        const int n = mapping::targetOf(numbers[i]);
        if (n < 0 || n >= standard.size())
            continue;
        for (int f = 0; f < rec.count() && field[i] < 0; ++f)
            if (rec.fieldName(f).compare(standard[n], Qt::CaseInsensitive) == 0)
                field[i] = f;
    }
    QList<QVariantList> rows;
    while (q.next()) {
        if (stopRequested && stopRequested()) {
            out.cancelled = true;
            out.count = 0;
            return out;
        }
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << (field[i] >= 0 ? QVariant(q.value(field[i]).toString()) : QVariant());
        rows << row;
        ++out.count;
        if (progress)
            progress(out.count, target.rows);
    }
    if (q.lastError().isValid()) {
        out.error = sqlError(q);
        out.count = 0;
        return out;
    }
    q.finish();
    if (!rows.isEmpty() && !target.reader->appendRows(target.table, rows, &out.error)) {
        out.count = 0;
        return out;
    }
    out.finished = true;
    return out;
}
