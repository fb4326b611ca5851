#include "data/dataset/editbuffer.h"

#include "rules/statements/statementtext.h"

void EditBuffer::start(const QVector<QVariant>& values)
{
    values_ = original_ = values;
    changed_ = QVector<bool>(values.size(), false);
    modified_ = false;
}

void EditBuffer::clear()
{
    values_.clear();
    original_.clear();
    changed_.clear();
    modified_ = false;
}

void EditBuffer::rebase(const QVector<QVariant>& current)
{
    original_ = current;
    for (int i = 0; i < values_.size() && i < current.size(); ++i)
        if (!changed_[i])
            values_[i] = current[i];
}

void EditBuffer::set(int field, const QVariant& value)
{
    QVariant stored = value;
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty())
        stored = QVariant();
    values_[field] = stored;
    changed_[field] = true;
    modified_ = true;
}

QList<int> EditBuffer::written(const QStringList& fields, const QStringList& columns, int skip) const
{
    QList<int> out;
    for (int i = 0; i < fields.size() && i < changed_.size(); ++i)
        if (changed_[i] && i != skip && columns.contains(fields[i].toLower()))
            out << i;
    return out;
}

EditBuffer::Statement EditBuffer::insertStatement(const QString& table, const QStringList& fields,
                                                  const QStringList& columns, int skip) const
{
    Statement st;
    QStringList cols, marks;
    for (int i : written(fields, columns, skip)) {
        cols << quotedIdentifier(fields[i]);
        marks << QStringLiteral("?");
        st.values << values_[i];
    }
    const QString target = quotedIdentifier(table);
    st.sql = cols.isEmpty() ? QStringLiteral("insert into ") + target + QStringLiteral(" default values")
                            : QStringLiteral("insert into ") + target + QStringLiteral(" (") +
                                  cols.join(QLatin1Char(',')) + QStringLiteral(") values (") +
                                  marks.join(QLatin1Char(',')) + QLatin1Char(')');
    return st;
}

EditBuffer::Statement EditBuffer::updateStatement(const QString& table, const QStringList& fields,
                                                  const QStringList& columns, int keyField, qint64 key) const
{
    Statement st;
    QStringList sets;
    for (int i : written(fields, columns, keyField)) {
        sets << quotedIdentifier(fields[i]) + QStringLiteral(" = ?");
        st.values << values_[i];
    }
    if (sets.isEmpty())
        return st;
    st.sql = QStringLiteral("update ") + quotedIdentifier(table) + QStringLiteral(" set ") +
             sets.join(QStringLiteral(", ")) + QStringLiteral(" where ") + quotedIdentifier(fields[keyField]) +
             QStringLiteral(" = ?");
    st.values << key;
    return st;
}
