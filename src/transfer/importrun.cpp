#include "transfer/importrun.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVector>
#include <optional>

#include "db/connection.h"
#include "db/dataset.h"
#include "db/numberindex.h"
#include "transfer/fieldmapping.h"
#include "transfer/importsource.h"

namespace {

QString quoteIdent(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

QString sqlError(const QSqlQuery& q)
{
    const QSqlError e = q.lastError();
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

}  // namespace

RunOutcome importRows(Connection& connection, const QString& table, ImportDataSet& source,
                      const QStringList& standard, const QStringList& numbers, const RunProgress& progress)
{
    RunOutcome out;
    connection.finishCounts();
    QSqlDatabase db = connection.database();
    // Fields that the table really has (a search may show computed columns).
    QStringList tableFields;
    const QSqlRecord rec = db.record(table);
    for (int i = 0; i < rec.count(); ++i)
        tableFields << rec.fieldName(i).toLower();

    // Per source column: the standard field it goes to, or -1.
    const int columns = int(numbers.size());
    QVector<int> target(columns, -1);
    for (int i = 0; i < columns; ++i) {
        const int n = mapping::targetOf(numbers[i]);
        if (n >= 0 && n < standard.size() && tableFields.contains(standard[n].toLower()))
            target[i] = n;
    }

    if (!db.transaction()) {
        out.error = db.lastError().text();
        return out;
    }
    // The caller lookup's index takes the new customers together at the end,
    // unless the rows bring keys of their own.
    bool ownKeys = false;
    for (int n : std::as_const(target))
        if (n >= 0 && standard[n].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
            ownKeys = true;
    std::optional<numberindex::BulkAppend> bulk;
    if (!ownKeys && table == QStringLiteral("客户数据")) {
        try {
            bulk.emplace(db);
        } catch (const std::exception& e) {
            db.rollback();
            out.error = QString::fromUtf8(e.what());
            return out;
        }
    }
    // One prepared statement per set of fields that a row fills.
    QHash<QByteArray, QSqlQuery> statements;
    const qint64 total = source.recordCount();
    QVector<QString> values(standard.size());
    QVector<bool> filled(standard.size());
    bool storeFailed = false;
    QString readError;

    const bool readOk = source.readRows(
        [&](const QVariantList& row) {
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
                            cols << quoteIdent(standard[f]);
                            marks << QStringLiteral("?");
                        }
                    QSqlQuery q(db);
                    if (!q.prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                                       .arg(quoteIdent(table), cols.join(QLatin1Char(',')),
                                            marks.join(QLatin1Char(','))))) {
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
                    out.error = QStringLiteral("第%1行数据不能保存：%2").arg(out.count + 1).arg(sqlError(q));
                    storeFailed = true;
                    return false;
                }
                ++out.stored;
            }
            ++out.count;
            if (progress)
                progress(out.count, total);
            return true;
        },
        &readError);
    statements.clear();

    if (!readOk) {
        // Nothing half-read is kept.
        db.rollback();
        out.error = readError + QChar(13) + QStringLiteral("没有导入任何数据。");
        out.count = 0;
        out.stored = 0;
        return out;
    }
    try {
        if (bulk)
            bulk->finish();
    } catch (const std::exception& e) {
        db.rollback();
        out.error = QString::fromUtf8(e.what()) + QChar(13) + QStringLiteral("没有导入任何数据。");
        out.count = 0;
        out.stored = 0;
        return out;
    }
    if (!db.commit()) {
        out.error = db.lastError().text();
        db.rollback();
        out.stored = 0;
        return out;
    }
    if (storeFailed) {
        out.error += QChar(13) + QStringLiteral("此前的%1条数据已经导入。").arg(out.stored);
        return out;
    }
    out.finished = true;
    return out;
}

RunOutcome exportRows(DataSet& customers, ImportDataSet& source, const QStringList& standard,
                      const QStringList& numbers, const RunProgress& progress)
{
    RunOutcome out;
    const int columns = int(numbers.size());
    QVector<int> field(columns, -1);
    for (int i = 0; i < columns; ++i) {
        const int n = mapping::targetOf(numbers[i]);
        if (n >= 0 && n < standard.size())
            field[i] = customers.findField(standard[n]);
    }
    customers.checkBrowseMode();
    const qint64 total = customers.isActive() ? customers.recordCount() : 0;
    QList<QVariantList> rows;
    rows.reserve(total);
    for (int r = 0; r < total; ++r) {
        QVariantList row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row << (field[i] >= 0 ? QVariant(customers.rowValue(r, field[i]).toString()) : QVariant());
        rows << row;
        ++out.count;
        if (progress)
            progress(out.count, total);
    }
    if (!rows.isEmpty() && !source.appendRows(rows, &out.error)) {
        out.count = 0;
        return out;
    }
    out.finished = true;
    return out;
}
