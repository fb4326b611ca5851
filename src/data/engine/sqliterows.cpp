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

bool SqliteTextRows::isReal(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_FLOAT; }

double SqliteTextRows::real(int column) const { return sqlite3_column_double(statement_, column); }

int SqliteTextRows::columnCount() const { return sqlite3_column_count(statement_); }

QString SqliteTextRows::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(statement_, column));
}

bool SqliteTextInsert::canRunOn(const QSqlDatabase& db) { return SqliteEngine::handleOf(db) != nullptr; }

SqliteTextInsert::SqliteTextInsert(const QSqlDatabase& db, const QString& sql) : db_(SqliteEngine::handleOf(db))
{
    if (!db_) {
        error_ = QStringLiteral("不是 SQLite 数据库");
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v3(db_, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement_,
                           nullptr) != SQLITE_OK) {
        error_ = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_finalize(statement_);
        statement_ = nullptr;
    }
}

SqliteTextInsert::~SqliteTextInsert() { sqlite3_finalize(statement_); }

void SqliteTextInsert::bind(int index, const QString& text)
{
    // SQLite takes the UTF-16 as it is and turns it into the file's UTF-8
    // when the row is stored.
    sqlite3_bind_text16(statement_, index + 1, text.utf16(), int(text.size() * 2), SQLITE_STATIC);
}

bool SqliteTextInsert::exec()
{
    const int rc = sqlite3_step(statement_);
    const bool ok = rc == SQLITE_DONE || rc == SQLITE_ROW;
    // The message of a failed step is the connection's until the reset.
    if (!ok)
        error_ = QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    return ok;
}
