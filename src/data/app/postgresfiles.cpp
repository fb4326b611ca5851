// A server keeps its database itself: there is no file beside the program
// to copy, compact or check.  Every file operation fails with that reason.
// The one file of a server's database a desk handles is its backup, in
// pg_dump's custom format (see serverfiles.h).

#include <QFile>

#include "data/app/postgresengine.h"

namespace {

const QString kNoFile = QStringLiteral("服务器数据库没有本机的数据库文件，这一操作只适用于本机数据库。");

bool refuse(QString* error)
{
    if (error)
        *error = kNoFile;
    return false;
}

}  // namespace

QStringList PostgresEngine::sideFiles(const QString&) const { return {}; }

bool PostgresEngine::looksLikeDatabase(const QString& path) const
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(5) == "PGDMP";
}

bool PostgresEngine::tablesOf(const QString&, QStringList*, QString* error) const { return refuse(error); }

QStringList PostgresEngine::columnsOf(const QString&, const QString&) const { return {}; }

bool PostgresEngine::hasIntegerKey(const QString&, const QString&) const { return false; }

DatabaseEngine::Integrity PostgresEngine::checkIntegrity(const QString&, QStringList*, QString* error) const
{
    refuse(error);
    return Integrity::Unopened;
}

bool PostgresEngine::compactInto(const QString&, const QString&, const FileProgress&, QString* error,
                                 bool* stopped) const
{
    if (stopped)
        *stopped = false;
    return refuse(error);
}

bool PostgresEngine::copyInto(const QString&, const QString&, const FileProgress&, QString* error, bool* stopped) const
{
    if (stopped)
        *stopped = false;
    return refuse(error);
}

bool PostgresEngine::detachSideFiles(const QString&, QString* error) const { return refuse(error); }

bool PostgresEngine::settle(const QString&, QString* error, bool* inUse) const
{
    if (inUse)
        *inUse = false;
    return refuse(error);
}

std::unique_ptr<FileHold> PostgresEngine::holdWrites(const QString&, QString* error) const
{
    refuse(error);
    return {};
}

bool PostgresEngine::createTables(const QString&, const QList<QPair<QString, QStringList>>&, QString* error) const
{
    return refuse(error);
}

std::unique_ptr<RowWriter> PostgresEngine::writeRows(const QString&, QString* error) const
{
    refuse(error);
    return {};
}
