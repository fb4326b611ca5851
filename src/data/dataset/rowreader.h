#pragma once
// Reads for the rows a grid paints, on a read-only connection of its own and
// a thread of its own, one read at a time, while the window goes on.
//
// A read is a function run on the reader's thread with its connection; once
// it has run, its `done` runs on the thread of the reader's context (the
// window thread), unless the reader was destroyed first.  Destroying the
// reader interrupts the statement under way and waits for the thread, which
// then ends within a moment; nothing of an unfinished read is delivered.

#include <QObject>
#include <QSqlDatabase>
#include <functional>
#include <memory>

#include "rules/settings/databaselocation.h"

class DatabaseEngine;

class RowReader {
public:
    using Read = std::function<void(QSqlDatabase& db)>;
    using Done = std::function<void()>;

    RowReader(std::shared_ptr<const DatabaseEngine> engine, const DatabaseLocation& where, QObject* context);
    ~RowReader();

    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // Starts `read` (the reader must be idle); returns at once.
    void start(Read read, Done done);
    // A read was started and its `done` has not run yet.
    bool busy() const { return busy_; }

    // Tests hold the reader back on its thread: before each read, and after
    // it, before its `done` is sent on its way.
    static void setPauses(std::function<void()> beforeRead, std::function<void()> afterRead);

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    QObject* context_;
    bool busy_ = false;
};
