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

// A statement whose text is written out and kept as it is (shown in the
// statement buffer, as the searches write it): its writer says which table
// it reads and how it is ordered, so that nobody has to read that back out of
// the text.  Values in it went through quotedValue().
struct WrittenStatement {
    QString text;
    QString table;  // the table its rows are stored into
    // Ordered by a column of its writer's choice: the column, the direction
    // and the text without its order.  Empty: in no particular order.
    QString orderColumn;
    bool descending = false;
    QString unordered;
    // Every row of the table, each once.
    bool wholeTable = false;

    // In no particular order.
    static WrittenStatement of(const QString& text, const QString& table)
    {
        WrittenStatement w;
        w.text = text;
        w.table = table;
        return w;
    }
    // `unordered` followed by `order`, which orders it by `column`.
    static WrittenStatement ordered(const QString& unordered, const QString& order, const QString& table,
                                    const QString& column, bool descending)
    {
        WrittenStatement w = of(unordered + order, table);
        w.unordered = unordered;
        w.orderColumn = column;
        w.descending = descending;
        return w;
    }
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
