#pragma once
// Where the program's database is: the SQLite file beside the program (the
// standard), or a PostgreSQL server that several desks share.  The choice
// is kept in set/database.dat (GB18030 with CR LF like the other set files,
// one key=value a line, readable by its owner only since it may hold the
// password):
//     engine=本机数据库|服务器数据库
//     host=<name, address or socket folder; several comma-separated>
//     port=<number>
//     database=<name>
//     user=<name>
//     password=<password>
// An empty server field is left to libpq (its defaults, ~/.pgpass, PGSERVICE
// and the other PG* variables), as PostgreSQL users expect.  At start
// `--database sqlite` or `--database postgresql://...` (a libpq connection
// URI) overrides the file for that run without writing it.

#include <QString>
#include <optional>

struct DatabaseLocation {
    enum class Kind { File, Server };
    Kind kind = Kind::File;

    // File: the database file; empty stands for data/web.mdb of the program folder.
    QString file;

    // Server: a libpq connection URI, which then says everything; else the fields.
    QString uri;
    QString hosts;  // empty: libpq's own
    int port = 0;   // 0: libpq's own
    QString database;
    QString user;
    QString password;  // empty: none given (libpq looks in ~/.pgpass)

    bool isServer() const { return kind == Kind::Server; }
    static DatabaseLocation ofFile(const QString& file);
    static DatabaseLocation ofUri(const QString& uri);

    // How the operator reads it in a message: the file, or the server and
    // database.  Never the password (also not one written into a URI).
    QString describe() const;

    bool operator==(const DatabaseLocation&) const = default;
};

// A URI with its password (user:password@) left out.
QString uriWithoutPassword(const QString& uri);

// The value of `--database`: "sqlite" (the file beside the program) or a
// libpq URI ("postgresql://" or "postgres://").  Nothing with *error for any
// other value.
std::optional<DatabaseLocation> databaseOption(const QString& value, QString* error);

// set/database.dat in the program folder.
QString databaseSettingsFile();

// The choice in the file; the standard (the file beside the program) when
// it is missing or says nothing usable.
DatabaseLocation readDatabaseSettings(const QString& path);

// Writes the choice, readable and writable by its owner only, to a
// temporary name renamed into place.  With inKeyring the password is not
// written; the file says it is kept in the desktop's keyring instead
// (password-kept=keyring).  Throws FileError when it cannot.
void writeDatabaseSettings(const QString& path, const DatabaseLocation& where, bool inKeyring = false);

// Whether the file says the password is kept in the desktop's keyring.
bool passwordInKeyring(const QString& path);
