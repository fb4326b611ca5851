#pragma once
// Moving a desk's own database (the SQLite file) onto the PostgreSQL server
// the desk now uses: every row of 客户数据, 来电数据 and 字典 with its ID,
// in one transaction through COPY.  Columns the file has beyond the
// server's (imports may add text columns) are made on the server first;
// afterwards every table's ID sequence stands past the highest ID, and the
// caller lookup's number index (and a kept row count, where the server
// keeps one) holds the new rows.  A failure or a stop leaves the server as
// it was.  The server must hold no rows yet: the upload is for moving in,
// not for merging.

#include <QSqlDatabase>
#include <QString>
#include <functional>

namespace serverupload {

struct Progress {
    std::function<void(qint64 done, qint64 total)> report;  // rows
    std::function<void(const QString& text)> text;          // with the rows per second
    std::function<bool()> stopRequested;
};

struct Counts {
    qint64 customers = 0;
    qint64 calls = 0;
    qint64 dictionary = 0;
};

// Why the file cannot be uploaded (empty when it can): missing, not a
// database of the program, lacking columns.  Nothing is written.
QString fileProblem(const QString& file);

// The server's tables that already hold rows (empty: none).
QStringList tablesWithRows(QSqlDatabase& server, QString* error);

// Copies the rows of `file` into the server database of `server` (a
// connection of its own, on this thread).  *error says why not; *stopped
// when a stop ended it.
bool upload(QSqlDatabase& server, const QString& file, const Progress& progress, Counts* counts, QString* error,
            bool* stopped);

}  // namespace serverupload
