#include "data/engine/sqliterows.h"

#include <sqlite3.h>

#include "data/engine/dberror.h"
#include "data/engine/sqliteengine.h"

SqliteTextRows::SqliteTextRows(QSqlDatabase& db, const QString& sql)
{
    sqlite3* handle = SqliteEngine::handleOf(db);
    if (!handle || sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &statement_, nullptr) != SQLITE_OK)
        throw DbError(QStringLiteral("无法读取本机数据库：") +
                      (handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QStringLiteral("不是 SQLite 数据库")));
    db_ = handle;
}

SqliteTextRows::~SqliteTextRows() { sqlite3_finalize(statement_); }

bool SqliteTextRows::next()
{
    const int rc = sqlite3_step(statement_);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DbError(QStringLiteral("无法读取本机数据库：") + QString::fromUtf8(sqlite3_errmsg(db_)));
    return rc == SQLITE_ROW;
}

const char* SqliteTextRows::text(int column) const
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL
               ? nullptr
               : reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
}

int SqliteTextRows::size(int column) const { return sqlite3_column_bytes(statement_, column); }
