#pragma once
// The rows of a statement on a database file, read through SQLite's own
// interface: each value comes as UTF-8 text, without a detour through Qt's
// values (three times faster on a million calls), for writers that want
// the bytes as they are (a server's COPY).

#include <QSqlDatabase>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

class SqliteTextRows {
public:
    // Throws DbError when the statement cannot be prepared on `db` (also
    // when `db` is no SQLite connection).
    SqliteTextRows(QSqlDatabase& db, const QString& sql);
    ~SqliteTextRows();
    SqliteTextRows(const SqliteTextRows&) = delete;
    SqliteTextRows& operator=(const SqliteTextRows&) = delete;

    // Steps to the next row; false after the last.  Throws DbError.
    bool next();
    // The column's text in the current row, null for NULL.
    const char* text(int column) const;
    // Its length in bytes.
    int size(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};
