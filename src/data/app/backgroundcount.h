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

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "rules/app/databaselocation.h"
#include "rules/app/query.h"

class DatabaseEngine;

class BackgroundCount {
public:
    // Counts with `sql` (one row, one number) on the database `file`.
    // (a location: the SQLite file or the server)
    // `arrived` runs on the thread of `context` once the count is there,
    // unless it was cancelled first.  Returns once the count's view of the
    // database is fixed: whatever is stored afterwards is not counted.
    BackgroundCount(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& file, const BoundStatement& sql,
                    QObject* context, std::function<void()> arrived);
    ~BackgroundCount();  // cancels

    BackgroundCount(const BackgroundCount&) = delete;
    BackgroundCount& operator=(const BackgroundCount&) = delete;

    // Waits for the count; -1 when it failed (or was cancelled).
    qint64 wait();
    void cancel();

    // Tests hold a count back at the moment its view is fixed, before it
    // counts (on the count's thread).
    static void setPauseBeforeCount(std::function<void()> pause);

    struct Token;

private:
    std::shared_ptr<Token> token_;
};
