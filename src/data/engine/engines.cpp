// The engine of a location, and of an opened database.

#include "data/engine/engine.h"

#include "data/engine/postgresengine.h"
#include "data/engine/sqliteengine.h"

std::shared_ptr<const DatabaseEngine> DatabaseEngine::standard(const DatabaseLocation& where)
{
    static const std::shared_ptr<const DatabaseEngine> sqlite = std::make_shared<SqliteEngine>();
    static const std::shared_ptr<const DatabaseEngine> postgres = std::make_shared<PostgresEngine>();
    return where.isServer() ? postgres : sqlite;
}

const DatabaseEngine& DatabaseEngine::of(const QSqlDatabase& db)
{
    DatabaseLocation where;
    if (db.driverName() == PostgresEngine::driver)
        where.kind = DatabaseLocation::Kind::Server;
    return *standard(where);
}
