// A list of few rows found through an index (the caller lookup), opened in
// one pass: the statement runs once on the window's connection and its rows
// are read whole.  On a server that is one round trip instead of three, and
// no connection of its own for a background read of the keys.

#include "data/dataset/dataset.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include "data/connection/connection.h"
#include "data/dataset/datasetrows.h"
#include "rules/statements/statementtext.h"

void DataSet::openAtOnce(DataSetRows& st, const Shape& sh)
{
    QSqlQuery q(connection_->database());
    q.setForwardOnly(true);
    if (!connection_->run(q, sh.whole))
        throw connection_->failure(q);
    if (!q.isSelect())
        throw DbError(name_ + QStringLiteral(": CommandText does not return a result set"));
    fields_.clear();
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i) {
        fields_ << connection_->engine().columnName(rec.fieldName(i));
        if (st.keyField < 0 && fields_.last().compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
            st.keyField = i;
    }
    QVector<QVector<QVariant>> rows;
    try {
        rows = readRemainingRows(q, int(fields_.size()));
    } catch (...) {
        fields_.clear();
        throw;
    }
    st.baseTable = sh.table;
    if (st.keyField < 0) {
        st.rows = std::move(rows);
        return;
    }
    // Keyed like any list, so that its records can be stored and deleted;
    // the rows read are the cache's first pages.
    std::vector<qint64> keys;
    keys.reserve(rows.size());
    for (const QVector<QVariant>& r : rows)
        keys.push_back(r[st.keyField].toLongLong());
    st.paging = std::make_unique<KeyPaging>(*connection_, quotedIdentifier(fields_[st.keyField]), sh.whole,
                                            KeyPaging::Order::None);
    st.paging->takeAll(std::move(keys));
    const int page = st.cache.pageSize();
    for (int from = 0, p = 0; from < rows.size() && p < st.cache.maxPages(); from += page, ++p)
        st.cache.putPage(p, rows.mid(from, page));
}
