#pragma once
// The program's database files in SQLite, through SQLite's own interface.

#include "data/engine/filestore.h"

class SqliteFileStore final : public FileStore {
public:
    QStringList sideFiles(const QString& path) const override;
    bool looksLikeDatabase(const QString& path) const override;
    bool tablesOf(const QString& path, QStringList* tables, QString* error) const override;
    QStringList columnsOf(const QString& path, const QString& table) const override;
    bool hasIntegerKey(const QString& path, const QString& table) const override;
    Integrity checkIntegrity(const QString& path, QStringList* problems, QString* error) const override;
    Integrity checkCopy(const QString& path, QStringList* problems, QString* error) const override;
    bool compactInto(const QString& source, const QString& destination, const FileProgress& progress,
                     QString* error, bool* stopped) const override;
    bool copyInto(const QString& source, const QString& destination, const FileProgress& progress,
                  QString* error, bool* stopped) const override;
    void forgetCopy(const QString& path) const override;
    bool detachSideFiles(const QString& path, QString* error) const override;
    bool settle(const QString& path, QString* error, bool* inUse) const override;
    bool flushLog(const QString& path, bool truncate, QString* error) const override;
    std::unique_ptr<FileHold> holdWrites(const QString& path, QString* error) const override;
    bool createTables(const QString& path, const QList<QPair<QString, QStringList>>& tables,
                      QString* error) const override;
    std::unique_ptr<RowWriter> writeRows(const QString& path, QString* error) const override;
};
