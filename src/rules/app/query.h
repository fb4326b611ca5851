#pragma once
// A statement from its parts: the table, the columns, the conditions with
// their values and the order.  Rendered in one place (render()), every value
// bound to a mark; identifiers go through quotedIdentifier().  text() is the
// same statement with the values written in (quotedValue()), for where a
// statement's text is itself shown or kept.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// A statement and the values bound to its marks, in order.
struct BoundStatement {
    QString sql;
    QVariantList values;
};

struct Query {
    struct Condition {
        QString column;
        QString compare;  // "=", "like", "<", ...
        QVariant value;
    };

    QString table;
    QStringList columns;  // empty: every column
    QList<Condition> conditions;  // every one must hold
    QString orderBy;      // a column; empty: no order
    bool descending = false;

    // Every column of the table, ordered by `key`.
    static Query ordered(const QString& table, const QString& key, bool descending);

    BoundStatement render() const;
    QString text() const;
    // The same without its order.
    Query unordered() const;
};
