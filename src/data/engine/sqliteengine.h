#pragma once
// The program's databases in SQLite (Qt's QSQLITE driver for connections,
// SQLite's own interface for the database files).

#include "data/engine/engine.h"

struct sqlite3;

class SqliteEngine final : public DatabaseEngine {
public:
    static const QString driver;  // QSQLITE
    // SQLite's own handle of an opened connection; null for another driver.
    static sqlite3* handleOf(const QSqlDatabase& db);

    DatabaseLocation::Kind kind() const override { return DatabaseLocation::Kind::File; }
    QSqlDatabase connection(const QString& name, const DatabaseLocation& where, int waitMs,
                            Access access = Access::ReadWrite) const override;
    bool canTry(const DatabaseLocation& where, QString* error) const override;
    DatabaseLocation locationOf(const QSqlDatabase& db) const override;
    bool reachesDatabase(QSqlDatabase& db, QString* error) const override;
    bool prepareDatabase(QSqlDatabase& db, QString* error) const override;
    void prepareSession(QSqlDatabase& db) const override;
    bool canWrite(const QSqlDatabase& db) const override;
    bool flushLater(QSqlDatabase& db, bool later) const override;
    QStringList flushFiles(const QSqlDatabase& db) const override;
    bool fixView(const QSqlDatabase& db, QString* error = nullptr) const override;
    bool isBusy(const QSqlError& error) const override;
    std::function<void()> interrupter(const QSqlDatabase& db) const override;
    void stopWhenSet(const QSqlDatabase& db, const std::atomic<bool>* stop) const override;
    QString watchInserts(QSqlDatabase& db, const QString& table) const override;

    QString beginWrite() const override;
    QString sameValue(const QString& quotedColumn) const override;
    QString rowsAtMostStatement(const QString& table) const override;
    QString insertGivingKey(const QString& insert, const QString& keyColumn) const override;
    QVariant newKey(QSqlQuery& q) const override;
    QString textLike(const QString& column, const QString& pattern) const override;
    QString limited(const QString& sql, qint64 rows) const override;
    QString objectCountStatement(int names) const override;
    QString tableCountStatement() const override;

    bool addDigitsFunction(const QSqlDatabase& db) const override;
    QStringList numberIndexCreation(const NumberIndex& ix) const override;
    QStringList numberIndexRemoval(const NumberIndex& ix) const override;
    QStringList numberIndexObjects(const NumberIndex& ix) const override;
    QString numberIndexInsertTrigger(const NumberIndex& ix) const override;
    QString numberIndexInsertTriggerRemoval(const NumberIndex& ix) const override;
    QString numberIndexFill(const NumberIndex& ix) const override;
    QStringList rowCountTriggers(const QString& counts, const QString& table) const override;
    QStringList rowCountTriggerNames(const QString& counts, const QString& table) const override;
};
