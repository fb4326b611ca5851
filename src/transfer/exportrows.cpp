#include "transfer/exportrows.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>

#include "db/connection.h"
#include "db/dataset.h"

ExportRows::ExportRows(DataSet& ds, int first)
    : q_(ds.connection()->database())
{
    q_.setForwardOnly(true);
    if (!q_.exec(ds.commandText()))
        throw DbError(q_.lastError().text());
    // Field positions are the data set's; the statement reports the same.
    for (int i = 0; i < first; ++i)
        if (!q_.next()) {
            done_ = true;
            break;
        }
}

bool ExportRows::selectColumns(const QStringList& names, QString* missing)
{
    columns_.clear();
    const QSqlRecord rec = q_.record();
    for (const QString& n : names) {
        int found = -1;
        for (int i = 0; i < rec.count(); ++i)
            if (rec.fieldName(i).compare(n, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        if (found < 0) {
            if (missing)
                *missing = n;
            return false;
        }
        columns_.append(found);
    }
    return true;
}

bool ExportRows::next(QStringList* values)
{
    if (done_ || !q_.next()) {
        done_ = true;
        if (q_.lastError().isValid())
            throw DbError(q_.lastError().text());
        return false;
    }
    values->resize(columns_.size());
    for (qsizetype c = 0; c < columns_.size(); ++c) {
        const QVariant v = q_.value(columns_[c]);
        (*values)[c] = v.isNull() ? QString() : v.toString();
    }
    ++taken_;
    return true;
}
