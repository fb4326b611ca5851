#pragma once
// The program's database on a PostgreSQL server that several desks share
// (Qt's QPSQL driver, libpq for what the driver leaves out).  The tables
// are those of the SQLite file, made by the program on an empty database;
// the caller lookup's number index is a table of digits kept by triggers
// and searched through trigram (pg_trgm) indexes.  A server has no database
// file: the file operations fail with a reason.

#include <QMap>

#include "data/engine/engine.h"

struct pg_conn;

class PostgresEngine final : public DatabaseEngine {
public:
    static const QString driver;  // QPSQL
    // libpq's handle of an opened connection; null for another driver.
    static pg_conn* handleOf(const QSqlDatabase& db);

    // The libpq keywords and values of a server location: the URI's, or
    // the fields given (empty ones left to libpq).  *error when the URI
    // cannot be read.
    static QMap<QString, QString> parameters(const DatabaseLocation& where, QString* error = nullptr);
    // The channel a table's insert trigger notifies.
    static QString insertChannel(const QString& table);

    DatabaseLocation::Kind kind() const override { return DatabaseLocation::Kind::Server; }
    QSqlDatabase connection(const QString& name, const DatabaseLocation& where, int waitMs,
                            Access access = Access::ReadWrite) const override;
    bool canTry(const DatabaseLocation& where, QString* error) const override;
    DatabaseLocation locationOf(const QSqlDatabase& db) const override;
    bool reachesDatabase(QSqlDatabase& db, QString* error) const override;
    bool prepareDatabase(QSqlDatabase& db, QString* error) const override;  // postgresschema.cpp
    bool prepareTables(QSqlDatabase& db, QString* error) const;
    void prepareSession(QSqlDatabase& db) const override;
    bool fixView(const QSqlDatabase& db, QString* error = nullptr) const override;
    bool isBusy(const QSqlError& error) const override;
    std::function<void()> interrupter(const QSqlDatabase& db) const override;
    void stopWhenSet(const QSqlDatabase& db, const std::atomic<bool>* stop) const override;
    QString watchInserts(QSqlDatabase& db, const QString& table) const override;
    bool connectionLost(const QSqlDatabase& db) const override;
    int socketOf(const QSqlDatabase& db) const override;
    void limitWaits(QSqlDatabase& db, int seconds) const override;
    QString transactionNumberStatement() const override;
    QString transactionFateStatement() const override;
    QString serverIdentityStatement() const override;
    QString logPositionStatement() const override;
    QString standbyReplayStatement() const override;
    QString readingPlaceStatement() const override;

    QString beginWrite() const override;
    QString sameValue(const QString& quotedColumn) const override;
    QString rowsAtMostStatement(const QString& table) const override;
    QString insertGivingKey(const QString& insert, const QString& keyColumn) const override;
    QVariant newKey(QSqlQuery& q) const override;
    QString columnName(const QString& reported) const override;
    QString keyFollowing() const override;
    QString textLike(const QString& column, const QString& pattern) const override;
    QString limited(const QString& sql, qint64 rows) const override;
    QString objectCountStatement(int names) const override;
    QString tableCountStatement() const override;

    // The number index (postgresschema.cpp).
    bool addDigitsFunction(const QSqlDatabase& db) const override;
    QStringList numberIndexCreation(const NumberIndex& ix) const override;
    QStringList numberIndexRemoval(const NumberIndex& ix) const override;
    QStringList numberIndexObjects(const NumberIndex& ix) const override;
    QString numberIndexInsertTrigger(const NumberIndex& ix) const override;
    QString numberIndexInsertTriggerRemoval(const NumberIndex& ix) const override;
    QString numberIndexFill(const NumberIndex& ix) const override;
};
