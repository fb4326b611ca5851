#include "data/lists/treeread.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "rules/statements/statementtext.h"
#include "data/connection/connection.h"

namespace customertree {

namespace {

[[noreturn]] void fail(const QSqlQuery& q) { throw DbError(q.lastError().text()); }

}  // namespace

bool readTree(QSqlDatabase db, const QStringList& fields, const std::function<bool()>& stopped,
              const ReadProgress& progress, QVector<Node>* nodes)
{
    TreeBuilder builder(int(fields.mid(0, 4).size()));
    if (!readTree(db, fields, stopped, progress, &builder))
        return false;
    *nodes = builder.nodes();
    return true;
}

bool readTree(QSqlDatabase db, const QStringList& fields, const std::function<bool()>& stopped,
              const ReadProgress& progress, TreeBuilder* builder)
{
    const QStringList levels = fields.mid(0, 4);
    if (levels.isEmpty())
        return true;

    // Read in stretches of the key ID (SQLite's rowid itself, and the
    // server's primary key).
    QSqlQuery range(db);
    range.setForwardOnly(true);
    if (!range.exec(QStringLiteral("select min(ID), max(ID) from 客户数据")) || !range.next())
        fail(range);
    const bool empty = range.value(0).isNull();
    const qint64 first = range.value(0).toLongLong();
    const qint64 last = range.value(1).toLongLong();
    range.finish();

    // Every row is read and the tree keeps each value once: the database's
    // own "distinct" costs more than that, the more so the more distinct
    // combinations there are.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QStringList columns;
    for (const QString& f : levels)
        columns << quotedIdentifier(f);
    if (!q.prepare(QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
                   QStringLiteral(" from 客户数据 where ID between ? and ?")))
        fail(q);
    const qint64 total = empty ? 0 : last - first + 1;
    QStringList row;
    for (qint64 from = first; !empty && from <= last; from += kReadStretch) {
        if (stopped && stopped())
            return false;
        const qint64 to = std::min(last, from + kReadStretch - 1);
        q.bindValue(0, from);
        q.bindValue(1, to);
        if (!q.exec())
            fail(q);
        while (q.next()) {
            row.clear();
            for (int i = 0; i < levels.size(); ++i)
                row << q.value(i).toString();
            builder->addRow(row);
        }
        if (q.lastError().isValid())
            fail(q);
        q.finish();
        if (progress)
            progress(to - first + 1, total);
    }
    return !(stopped && stopped());
}

}  // namespace customertree
