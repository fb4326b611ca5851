#pragma once
// The rows of a statement on a database file, read through SQLite's own
// interface: each value comes as UTF-8 text, without a detour through Qt's
// values (three times faster on a million calls), for writers that want
// the bytes as they are (a server's COPY).  And the other way: one insert
// run for many rows with texts bound as they are (an import).

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
    // Whether the column's value in the current row is a floating point
    // number, and that number.
    bool isReal(int column) const;
    double real(int column) const;
    // The statement's columns and their names.
    int columnCount() const;
    QString columnName(int column) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
};

// An insert (or any statement without rows) prepared once and run once per
// row on a database file, its parameters texts bound by position straight
// from their QStrings: no values copied into Qt's variants, no parameter
// looked up by name, as Qt's binding does for every value.
class SqliteTextInsert {
public:
    // Whether `db` is a database file these can run on.
    static bool canRunOn(const QSqlDatabase& db);
    // False with lastError() when `sql` cannot be prepared.
    SqliteTextInsert(const QSqlDatabase& db, const QString& sql);
    ~SqliteTextInsert();
    SqliteTextInsert(const SqliteTextInsert&) = delete;
    SqliteTextInsert& operator=(const SqliteTextInsert&) = delete;

    bool isValid() const { return statement_ != nullptr; }
    // Parameter `index` (from 0) takes `text` for the next exec(); the text
    // must stay unchanged until then.  Parameters not bound are NULL.
    void bind(int index, const QString& text);
    // Runs the statement with the bound texts and clears them; false with
    // lastError() when the database refuses the row.
    bool exec();
    // SQLite's own message (as QSqlError::databaseText() gives it).
    const QString& lastError() const { return error_; }

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* statement_ = nullptr;
    QString error_;
};
