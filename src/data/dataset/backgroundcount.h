#pragma once
// A count of a long list on a read-only connection of its own, on a thread
// of its own, while the window goes on.  The count sees the database as it
// was when it began (one read transaction): what is stored from then on is
// not in it.
//
// The count belongs to a token: cancel() (or the count's end) interrupts
// the statement under way and discards the result; the window is then never
// told.  Nothing on the window thread waits for a count it has not cancelled,
// except wait(), which asks for the result itself.
//
// When the count's view is fixed is not known to the window: rows of the
// list it deletes meanwhile are handed to the count (removing()), which
// leaves out those its own view still held, so each is counted once
// whether it was deleted before or after that moment.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "rules/settings/databaselocation.h"
#include "rules/statements/query.h"

class DatabaseEngine;

class BackgroundCount {
public:
    // Of the keys given, how many the count's view holds among the rows it
    // counts (one row, one number).
    using AmongStatement = std::function<BoundStatement(const QList<qint64>& keys)>;

    // Counts with `sql` (one row, one number) on the database at `where`,
    // the SQLite file or the server.  `arrived` runs on the thread of
    // `context` once the count is there, unless it was cancelled first.
    // Returns at once.  `among` tells which deleted rows the view still
    // held; without it a count with rows deleted meanwhile fails (-1).
    BackgroundCount(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& where, const BoundStatement& sql,
                    QObject* context, std::function<void()> arrived, AmongStatement among = {});
    ~BackgroundCount();  // cancels

    BackgroundCount(const BackgroundCount&) = delete;
    BackgroundCount& operator=(const BackgroundCount&) = delete;

    // Deletes a row of the list being counted: `remove` runs the delete
    // (true when it was done), and the row is counted once either way the
    // count's view fell.  Never waits for the count (only, for a moment, for
    // the count to hand over the rows deleted so far).
    bool removing(qint64 key, const std::function<bool()>& remove);

    // Waits for the count; -1 when it failed (or was cancelled).  For the
    // explicit waits of the data set (DataSet::waitForCount()) and tests.
    qint64 wait();
    void cancel();

    // Tests hold a count back on its thread: before its view of the
    // database is fixed, and once it is fixed, before it counts.
    static void setPauses(std::function<void()> beforeView, std::function<void()> beforeCount);

    struct Token;

private:
    std::shared_ptr<Token> token_;
};
