#pragma once
// The values of a record being edited or inserted, which fields were written,
// and the statements that store them: only the written fields the table has,
// every value bound.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class EditBuffer {
public:
    // A statement and the values bound to its marks, in order.
    struct Statement {
        QString sql;
        QVariantList values;
    };

    // Editing a stored record: its values; inserting: `fields` empty values.
    void start(const QVector<QVariant>& values);
    void startEmpty(int fields) { start(QVector<QVariant>(fields)); }
    void clear();

    const QVariant& value(int field) const { return values_[field]; }
    // The record's values when the edit began (what the operator saw).
    const QVector<QVariant>& original() const { return original_; }
    bool written(int field) const { return field < changed_.size() && changed_[field]; }
    // Another desk stored the record meanwhile: its values become the ones
    // the edit began from; what was typed stays, the rest shows theirs.
    void rebase(const QVector<QVariant>& current);
    const QVector<QVariant>& values() const { return values_; }
    // An empty text is stored as NULL.
    void set(int field, const QVariant& value);
    bool modified() const { return modified_; }

    // The insert into `table` of the written fields named in `columns`
    // (lower case, the table's columns), `skip` (the key) left out.
    Statement insertStatement(const QString& table, const QStringList& fields, const QStringList& columns,
                              int skip) const;
    // The update of the record with the key bound last; empty when no
    // written field is a column of the table.
    Statement updateStatement(const QString& table, const QStringList& fields, const QStringList& columns,
                              int keyField, qint64 key) const;

private:
    QList<int> written(const QStringList& fields, const QStringList& columns, int skip) const;

    QVector<QVariant> values_;
    QVector<QVariant> original_;
    QVector<bool> changed_;
    bool modified_ = false;
};
