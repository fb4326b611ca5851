#include "data/engine/postgrescopy.h"

#include <libpq-fe.h>

#include "data/engine/dberror.h"
#include "data/engine/postgresengine.h"

namespace {

QString serverError(PGconn* conn) { return QString::fromUtf8(PQerrorMessage(conn)).trimmed(); }

}  // namespace

PostgresCopyIn::PostgresCopyIn(QSqlDatabase& db) : conn_(PostgresEngine::handleOf(db))
{
    if (!conn_)
        throw DbError(QStringLiteral("这不是服务器数据库的连接。"));
}

void PostgresCopyIn::start(const QString& copyStatement)
{
    PGresult* r = PQexec(conn_, copyStatement.toUtf8().constData());
    const bool copying = PQresultStatus(r) == PGRES_COPY_IN;
    const QString refused = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    if (!copying)
        throw DbError(refused);
}

void PostgresCopyIn::send(QByteArray& buffer)
{
    if (PQputCopyData(conn_, buffer.constData(), int(buffer.size())) != 1)
        throw DbError(serverError(conn_));
    buffer.clear();
}

void PostgresCopyIn::finish(bool stop)
{
    if (PQputCopyEnd(conn_, stop ? "stopped" : nullptr) != 1)
        throw DbError(serverError(conn_));
    QString error;
    while (PGresult* r = PQgetResult(conn_)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK && error.isEmpty())
            error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        PQclear(r);
    }
    if (!error.isEmpty() && !stop)
        throw DbError(error);
}

void PostgresCopyIn::appendValue(QByteArray& line, const char* text, int size)
{
    if (!text) {
        line += "\\N";
        return;
    }
    const char* run = text;
    const char* const end = text + size;
    for (const char* c = text; c < end; ++c) {
        const char* escaped = *c == '\\' ? "\\\\" : *c == '\n' ? "\\n" : *c == '\r' ? "\\r" : *c == '\t' ? "\\t" : nullptr;
        if (!escaped)
            continue;
        line.append(run, c - run);
        line += escaped;
        run = c + 1;
    }
    line.append(run, end - run);
}
