#pragma once
// The database connection.  It opens on demand when the first data set on it
// opens, asks its before-connect step for the connection string each time it
// connects, and never creates a database file.

#include <QObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

#include "app/errorreport.h"

class DataSet;
namespace numberindex {
class Build;
}

// An error raised by the data layer; its text is what the operator sees.
class DbError : public AppError {
public:
    using AppError::AppError;
};

class Connection : public QObject {
    Q_OBJECT
public:
    explicit Connection(const QString& name, QObject* parent = nullptr);
    ~Connection() override;

    const QString& name() const { return name_; }

    // "Provider=...;Data Source=<file>;..." in the usual form; only the data
    // source is used.
    void setConnectionString(const QString& s) { connectionString_ = s; }
    const QString& connectionString() const { return connectionString_; }
    static QString dataSourceOf(const QString& connectionString);

    // Runs just before every connect; normally sets the connection string.
    void setBeforeConnect(std::function<void(Connection&)> f) { beforeConnect_ = std::move(f); }

    void open();   // no-op when connected
    void close();  // closes the data sets on the connection first
    bool isConnected() const;

    // Waits for the counts of lists still being counted: before anything
    // is written, so that every count matches its list.
    void finishCounts();
    void finishCountsBefore(int openedAs);  // of the lists opened before that one
    // Whether the open database has the caller lookup's index complete.  A
    // database that lacks it gets it when opened, a large one on a thread of
    // its own while the program works (see numberindex.h).
    bool hasNumberIndex() const { return numberIndex_; }

    // Executes a statement that returns no rows.
    void execute(const QString& sql);

    QSqlDatabase database() const;

    // Every try to reach a database locked by another program gives up
    // after this long, so that the window never hangs for long.
    static constexpr int kBusyTimeoutMs = 250;
    static bool isBusy(const QSqlError& error);
    // Statements report how they went: busyChanged() follows.
    void noteOutcome(const QSqlError& error);
    bool busy() const { return busy_; }

    // Data sets register themselves so that close() can close them.
    void attach(DataSet* ds);
    void detach(DataSet* ds);

signals:
    void connected();
    void disconnected();
    // The database was found locked by another program / is free again.
    void busyChanged(bool busy);

private:
    void ensureNumberIndex(QSqlDatabase& db);

    QString name_;
    QString sqlName_;
    QString connectionString_;
    std::function<void(Connection&)> beforeConnect_;
    QVector<DataSet*> dataSets_;
    bool busy_ = false;
    std::unique_ptr<numberindex::Build> indexBuild_;
    bool numberIndex_ = false;
};
