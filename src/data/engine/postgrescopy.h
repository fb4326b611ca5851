#pragma once
// Rows sent to a server table with COPY ... FROM STDIN in its text format,
// on the server connection `db` (in whatever transaction is open on it).

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

struct pg_conn;

class PostgresCopyIn {
public:
    // Throws DbError when `db` is no server connection.
    explicit PostgresCopyIn(QSqlDatabase& db);

    // Starts the COPY statement; throws DbError with the server's refusal.
    void start(const QString& copyStatement);
    // Sends the lines in `buffer` and empties it.  Throws DbError.
    void send(QByteArray& buffer);
    // Ends the COPY (`stop`: abandoned) and reads the server's answer; a
    // refusal of a finished COPY is thrown as DbError.
    void finish(bool stop);

    // Appends a value in COPY's text format: \N for NULL (text null), the
    // four special characters escaped.
    static void appendValue(QByteArray& line, const char* text, int size);

private:
    pg_conn* conn_ = nullptr;
};
