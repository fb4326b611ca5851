// Two desks editing the same record: the store finds the row as it was read
// or stores nothing.  Then the operator hears that another desk changed (or
// removed) the record and what it stored; what was typed stays on the card,
// and a second store puts it over the other desk's version knowingly.

#include <QSqlQuery>
#include <QSqlRecord>

#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "data/dataset/datasetrows.h"
#include "rules/statements/statementtext.h"

namespace {
const int kShownAtMost = 60;  // characters of one value in the message
}

void DataSet::storeUnlessChanged(DataSetRows& st, const EditBuffer::Statement& update)
{
    const DatabaseEngine& engine = connection_->engine();
    QSqlDatabase db = connection_->database();
    // The row must still hold every value it was read with.
    EditBuffer::Statement guarded = update;
    QList<int> compared;
    for (int i = 0; i < fields_.size(); ++i)
        if (i != st.keyField && st.baseColumns.contains(fields_[i].toLower())) {
            guarded.sql += QStringLiteral(" and ") + engine.sameValue(quotedIdentifier(fields_[i]));
            guarded.values << edit_.original().value(i);
            compared << i;
        }
    QSqlQuery q(db);
    if (!q.prepare(guarded.sql))
        throw connection_->failure(q);
    for (const QVariant& v : guarded.values)
        q.addBindValue(v);
    if (!connection_->run(q))
        throw connection_->failure(q);
    if (q.numRowsAffected() != 0)
        return;

    // Stored meanwhile by another desk (or removed): read its version.
    const qint64 key = st.keys().at(cur_);
    QSqlQuery now(db);
    now.prepare(QStringLiteral("select * from ") + quotedIdentifier(st.baseTable) + QStringLiteral(" where ") +
                quotedIdentifier(fields_[st.keyField]) + QStringLiteral(" = ?"));
    now.addBindValue(key);
    if (!connection_->run(now))
        throw connection_->failure(now);
    const bool gone = !now.next();
    QVector<QVariant> theirs = edit_.original();
    if (!gone) {
        const QSqlRecord rec = now.record();
        for (int i : compared) {
            const int at = rec.indexOf(fields_[i]);
            if (at >= 0)
                theirs[i] = now.value(at);
        }
    }
    const QString text = conflictText(theirs, gone);
    if (!gone) {
        // Their version is what the list shows, and what the edit now
        // begins from.
        st.cache.update(cur_, theirs);
        edit_.rebase(theirs);
        notifyRow(cur_);
        notifyRecord();
    }
    throw DbError(text);
}

QString DataSet::conflictText(const QVector<QVariant>& theirs, bool gone) const
{
    if (gone)
        return QStringLiteral("另一台电脑已经删除了这条记录，您的修改没有保存。\n"
                              "按“确定”后，您输入的内容仍在卡片上，可以抄下；"
                              "抄下后在列表中按 Esc 键放弃这次修改。");
    QStringList lines;
    for (int i = 0; i < fields_.size() && i < theirs.size(); ++i) {
        if (theirs[i] == edit_.original().value(i) && !edit_.written(i))
            continue;
        QString v = theirs[i].toString();
        if (v.size() > kShownAtMost)
            v = v.left(kShownAtMost) + QStringLiteral("……");
        lines << QStringLiteral("  ") + fields_[i] + QStringLiteral("：") + (v.isEmpty() ? QStringLiteral("（空）") : v);
    }
    return QStringLiteral("另一台电脑在您修改的同时保存了这条记录，您的修改没有保存。\n\n另一台电脑保存的内容：\n") +
           lines.join(QLatin1Char('\n')) +
           QStringLiteral("\n\n按“确定”后，您输入的内容仍在卡片上：再次保存将以您输入的内容为准；"
                          "在列表中按 Esc 键则放弃您的修改，改为显示另一台电脑保存的内容。");
}
