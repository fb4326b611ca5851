#pragma once
// The rows of a list by their keys: the keys are read as rows are needed,
// from whichever end of the list is nearer, and the rows a page at a time
// by key.  Records stored later (higher keys than the list's highest when
// it opened) are never taken for rows of the list.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <optional>
#include <vector>

#include "data/dataset/keylist.h"
#include "rules/statements/query.h"

class Connection;
class QSqlQuery;

class KeyPaging {
public:
    enum class Order { None, Ascending, Descending };

    // `keyName` quoted; `base` the list's statement without its order by the key.
    KeyPaging(Connection& connection, const QString& keyName, const BoundStatement& base, Order order);

    const QString& keyName() const { return keyName_; }
    const BoundStatement& base() const { return base_; }
    Order order() const { return order_; }
    KeyList& keys() { return keys_; }
    const KeyList& keys() const { return keys_; }
    // The highest key when the list was opened.
    std::optional<qint64> limitKey() const { return limitKey_; }

    // Reads the first `n` keys in the list's order: *more when the list
    // holds more (they are then counted).  False when the statement cannot
    // be read this way (`failed` tells why); throws DbError on a failed read.
    bool readFirst(int n, bool* more, QSqlQuery* failed);
    // Takes every key of the list at once (a list in another order).
    void takeAll(std::vector<qint64> keys) { keys_.resetKnown(std::move(keys)); }

    // Reads keys until the row's key is known; false with *error when they
    // cannot be read (`name` begins the text of a list that shrank).
    bool load(int row, const QString& name, QString* error);

    // One stretch of keys toward a row not known yet, read from whichever
    // end of the list is nearer (on any connection to the database).
    struct KeyStep {
        bool front = true;
        int want = 0;
        std::optional<qint64> near, far;  // the cursors it starts from
        BoundStatement statement;
    };
    // `most` keys at most (0: up to the row, and a good stretch more).
    KeyStep stepToward(int row, int most = 0) const;
    // Takes the keys the step read.  False, and nothing taken, when keys were
    // taken from either end since the step was made.
    bool takeStep(const KeyStep& step, const std::vector<qint64>& keys);

    // The count of the list as it was opened, and, when that fails, as it is now.
    BoundStatement countStatement() const;
    // The list's length from the table's kept row count (rowcounts.h), when
    // the list is the whole table: the rows stored since it opened left out.
    // Nothing when it cannot tell.
    std::optional<qint64> countFromKept(qint64 kept);
    BoundStatement countNowStatement() const;
    // Of the given keys, how many are rows of the list as it was opened
    // (for a count that leaves out rows deleted meanwhile).
    std::function<BoundStatement(const QList<qint64>&)> amongStatement() const;

    // The rows from..to-1 (their keys known) by key, in the order of
    // `fields`: first through the list's statement, then records stored
    // here that it does not select from `table` by key.  A row gone from
    // the table has only its key.  False with *error when a read fails.
    bool readRows(int from, int to, const QStringList& fields, int keyField, const QString& table,
                  QVector<QVector<QVariant>>* rows, QString* error);

    // Reading rows by key on any connection: what readRows() does.
    struct RowsByKey {
        QString keyName;
        BoundStatement base;
        QStringList fields;
        int keyField = -1;
        QString table;
        QList<qint64> keys;  // wanted, in this order
    };
    RowsByKey rowsByKey(int from, int to, const QStringList& fields, int keyField, const QString& table) const;
    // Runs a statement (false when it failed) / the failure's text.
    using Run = std::function<bool(QSqlQuery& q, const BoundStatement& statement)>;
    using Failure = std::function<QString(const QSqlQuery& q)>;
    static bool readRowsByKey(const QSqlDatabase& db, const RowsByKey& what, const Run& run, const Failure& failure,
                              QVector<QVector<QVariant>>* rows, QString* error);

private:

    Connection& connection_;
    QString keyName_;
    BoundStatement base_;
    Order order_;
    KeyList keys_;
    // The last key read from the database at each end (the key order of the
    // statement); rows stored here later do not move them.
    std::optional<qint64> frontCursor_, backCursor_;
    std::optional<qint64> limitKey_;
};

// A statement as the source of another one: "(<statement>)" on lines of its own.
QString nestedStatement(const QString& sql);
// "<head>(<statement>)<tail>" with the statement's values.
BoundStatement nestedStatement(const QString& head, const BoundStatement& st, const QString& tail = QString());
