#pragma once
// Where long work runs: the database it opens a connection of its own to,
// the engine it reaches it through, and the writes it holds while it writes
// (see backgroundwork.h).  The connection is the one work site of the program.

#include <QString>
#include <memory>

#include "rules/settings/databaselocation.h"

class DatabaseEngine;

class WorkSite {
public:
    // Where the database is (also when not connected).
    virtual DatabaseLocation location() const = 0;
    virtual std::shared_ptr<const DatabaseEngine> sharedEngine() const = 0;
    virtual void holdWrites(const QString& what) = 0;
    virtual void releaseWrites() = 0;

protected:
    ~WorkSite() = default;
};
