#include "data/engine/postgresengine.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <libpq-fe.h>

#include "rules/statements/statementtext.h"

const QString PostgresEngine::driver = QStringLiteral("QPSQL");

PGconn* PostgresEngine::handleOf(const QSqlDatabase& db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // Qt's driver names libpq's handle by the struct behind the typedef.
    if (h.isValid() && (qstrcmp(h.typeName(), "PGconn*") == 0 || qstrcmp(h.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn* const*>(h.constData());
    return nullptr;
}

namespace {

// Set on every connection of the program (and taken off again when a
// location is read back from a connection).
const QString kApplication = QStringLiteral("tavrin");
const QRegularExpression kOwnOptions(QStringLiteral(
    "\\s*-c (lock_timeout|default_transaction_read_only|idle_in_transaction_session_timeout|"
    "standard_conforming_strings)=\\S+"));

// A value in a libpq keyword=value string.
QString conninfoValue(const QString& v)
{
    QString out = v;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// The keywords of a libpq connection string or URI; false with *error when
// libpq cannot read it.
bool parseConninfo(const QString& text, QMap<QString, QString>* out, QString* error)
{
    char* why = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.toUtf8().constData(), &why);
    if (!options) {
        if (error)
            *error = QStringLiteral("连接地址无法识别：") +
                     (why ? QString::fromUtf8(why).trimmed() : QStringLiteral("内存不足"));
        PQfreemem(why);
        return false;
    }
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val)
            out->insert(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(options);
    return true;
}

QString conninfo(const QMap<QString, QString>& p)
{
    QStringList pairs;
    for (auto it = p.cbegin(); it != p.cend(); ++it)
        pairs << it.key() + QLatin1Char('=') + conninfoValue(it.value());
    return pairs.join(QLatin1Char(' '));
}

}  // namespace

QMap<QString, QString> PostgresEngine::parameters(const DatabaseLocation& where, QString* error)
{
    QMap<QString, QString> p;
    if (!where.uri.isEmpty()) {
        if (!parseConninfo(where.uri, &p, error))
            return {};
        // A URI kept without its password (that is in the keyring).
        if (!where.password.isEmpty() && !p.contains(QStringLiteral("password")))
            p.insert(QStringLiteral("password"), where.password);
        return p;
    }
    const auto put = [&p](const char* key, const QString& value) {
        if (!value.isEmpty())
            p.insert(QLatin1String(key), value);
    };
    put("host", where.hosts);
    put("port", where.port > 0 ? QString::number(where.port) : QString());
    put("dbname", where.database);
    put("user", where.user);
    put("password", where.password);
    return p;
}

QSqlDatabase PostgresEngine::connection(const QString& name, const DatabaseLocation& where, int waitMs,
                                        Access access) const
{
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(driver, name);
    QMap<QString, QString> p = parameters(where);
    // The password goes through the driver's own field (quoted by it); the
    // rest as keywords, so that several hosts, services and the other
    // keywords of a URI reach libpq as they are.
    db.setPassword(p.take(QStringLiteral("password")));
    QString options = p.take(QStringLiteral("options"));
    options += QStringLiteral(" -c lock_timeout=") + QString::number(waitMs);
    // Quoted texts mean what they say whatever the server's own setting: a
    // backslash typed into a field never ends a quoted literal.
    options += QStringLiteral(" -c standard_conforming_strings=on");
    if (access != Access::ReadWrite)
        options += QStringLiteral(" -c default_transaction_read_only=on");
    // A report reads from a standby when several servers are named.
    if (access == Access::Report && p.value(QStringLiteral("host")).contains(QLatin1Char(',')))
        p.insert(QStringLiteral("target_session_attrs"), QStringLiteral("prefer-standby"));
    p.insert(QStringLiteral("options"), options.trimmed());
    if (!p.contains(QStringLiteral("connect_timeout")))
        p.insert(QStringLiteral("connect_timeout"), QStringLiteral("5"));
    // A server that vanished from the network (no reset ever comes) is
    // given up after seconds, not after the system's quarter of an hour: a
    // statement whose data goes unacknowledged for 5 s fails, and an idle
    // connection is found dead within some 20 s (the desk then stops
    // asking it before the next call).
    for (const auto& [key, value] : {std::pair{"tcp_user_timeout", "5000"}, std::pair{"keepalives_idle", "10"},
                                     std::pair{"keepalives_interval", "5"}, std::pair{"keepalives_count", "2"}})
        if (!p.contains(QLatin1String(key)))
            p.insert(QLatin1String(key), QLatin1String(value));
    if (!p.contains(QStringLiteral("application_name")))
        p.insert(QStringLiteral("application_name"), kApplication);
    db.setConnectOptions(conninfo(p));
    return db;
}

bool PostgresEngine::canTry(const DatabaseLocation& where, QString* error) const
{
    QString why;
    if (!where.uri.isEmpty() && parameters(where, &why).isEmpty() && !why.isEmpty()) {
        *error = why;
        return false;
    }
    return true;
}

DatabaseLocation PostgresEngine::locationOf(const QSqlDatabase& db) const
{
    QMap<QString, QString> p;
    parseConninfo(db.connectOptions(), &p, nullptr);
    QString options = p.take(QStringLiteral("options"));
    options.remove(kOwnOptions);
    if (!options.trimmed().isEmpty())
        p.insert(QStringLiteral("options"), options.trimmed());
    if (!db.password().isEmpty())
        p.insert(QStringLiteral("password"), db.password());
    QStringList query;
    for (auto it = p.cbegin(); it != p.cend(); ++it)
        query << it.key() + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(it.value()));
    return DatabaseLocation::ofUri(QStringLiteral("postgresql://?") + query.join(QLatin1Char('&')));
}

bool PostgresEngine::reachesDatabase(QSqlDatabase& db, QString* error) const
{
    QSqlQuery probe(db);
    const bool ok = probe.exec(QStringLiteral("select 1"));
    if (!ok && error)
        *error = probe.lastError().text();
    return ok;
}

void PostgresEngine::prepareSession(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    // Notices and warnings ("already exists, skipping", a rollback with
    // nothing to roll back) are not the operator's business.
    q.exec(QStringLiteral("set client_min_messages = error"));
}

bool PostgresEngine::fixView(const QSqlDatabase& db, QString* error) const
{
    // One snapshot for the whole transaction, taken at its first statement.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("set transaction isolation level repeatable read")) && q.exec(QStringLiteral("select 1")))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

bool PostgresEngine::isBusy(const QSqlError& error) const
{
    // lock_not_available, serialization_failure, deadlock_detected.
    const QString state = error.nativeErrorCode();
    return state == QLatin1String("55P03") || state == QLatin1String("40001") || state == QLatin1String("40P01");
}

std::function<void()> PostgresEngine::interrupter(const QSqlDatabase& db) const
{
    PGconn* conn = handleOf(db);
    PGcancel* cancel = conn ? PQgetCancel(conn) : nullptr;
    if (!cancel)
        return {};
    // libpq's cancel object may be used from any thread while the
    // connection is busy on its own.
    std::shared_ptr<PGcancel> shared(cancel, PQfreeCancel);
    return [shared] {
        char why[256];
        PQcancel(shared.get(), why, int(sizeof why));
    };
}

void PostgresEngine::stopWhenSet(const QSqlDatabase&, const std::atomic<bool>*) const
{
    // The server has no hook between rows: a stop interrupts the statement
    // through interrupter() instead.
}

QString PostgresEngine::insertChannel(const QString& table)
{
    // Qt's driver reads channel names as Latin-1: the table's name in hex.
    return QStringLiteral("tavrin_") + QString::fromLatin1(table.toUtf8().toHex());
}

QString PostgresEngine::watchInserts(QSqlDatabase& db, const QString& table) const
{
    // The table's insert trigger notifies the channel (made with the
    // tables, postgresschema.cpp).
    const QString channel = insertChannel(table);
    return db.driver() && db.driver()->subscribeToNotification(channel) ? channel : QString();
}

bool PostgresEngine::connectionLost(const QSqlDatabase& db) const
{
    // libpq marks a connection bad as soon as it finds the server gone (a
    // failed statement, the end of the socket read for notifications); the
    // driver then no longer counts it open, but keeps it until closed.
    PGconn* conn = handleOf(db);
    return conn && PQstatus(conn) == CONNECTION_BAD;
}

int PostgresEngine::socketOf(const QSqlDatabase& db) const
{
    PGconn* conn = handleOf(db);
    return conn ? PQsocket(conn) : -1;
}

void PostgresEngine::limitWaits(QSqlDatabase& db, int seconds) const
{
    QMap<QString, QString> p;
    parseConninfo(db.connectOptions(), &p, nullptr);
    seconds = qMax(2, seconds);  // libpq's least
    p.insert(QStringLiteral("connect_timeout"), QString::number(seconds));
    p.insert(QStringLiteral("options"), p.value(QStringLiteral("options")) +
                                            QStringLiteral(" -c idle_in_transaction_session_timeout=") +
                                            QString::number(seconds * 1000));
    db.setConnectOptions(conninfo(p));
}

// txid_status() was made for exactly this: telling after a broken
// connection whether its commit went through.
QString PostgresEngine::transactionNumberStatement() const { return QStringLiteral("select txid_current()"); }

QString PostgresEngine::transactionFateStatement() const { return QStringLiteral("select txid_status(?)"); }

QString PostgresEngine::serverIdentityStatement() const
{
    // A socket connection has no address: the data folder's port stands in.
    return QStringLiteral("select coalesce(host(inet_server_addr()), 'local') || ':' || "
                          "coalesce(inet_server_port(), current_setting('port')::int)");
}

QString PostgresEngine::readingPlaceStatement() const
{
    // Caught up (all it received is replayed): nothing behind, however old
    // the last change is.
    return serverIdentityStatement() +
           QStringLiteral(", pg_is_in_recovery(), case when pg_last_wal_receive_lsn() = pg_last_wal_replay_lsn() "
                          "then 0 else extract(epoch from now() - pg_last_xact_replay_timestamp()) end");
}

QString PostgresEngine::logPositionStatement() const { return QStringLiteral("select pg_current_wal_lsn()::text"); }

QString PostgresEngine::standbyReplayStatement() const
{
    return QStringLiteral("select count(*), min(replay_lsn)::text from pg_stat_replication");
}

QString PostgresEngine::sameValue(const QString& column) const
{
    return column + QStringLiteral(" is not distinct from ?");
}

// The ID sequence is moved past the key, never back.
QString PostgresEngine::keyFollowing() const
{
    return QStringLiteral("select setval(s, greatest(?, coalesce(pg_sequence_last_value(cast(s as regclass)), 0))) "
                          "from pg_get_serial_sequence(?, 'id') as s");
}

// The server's like minds case and takes a backslash as its escape; the
// key is a number, not text.
QString PostgresEngine::textLike(const QString& column, const QString& pattern) const
{
    return QStringLiteral("cast(") + column + QStringLiteral(" as text) ilike ") + pattern + QStringLiteral(" escape ''");
}

QString PostgresEngine::beginWrite() const { return QStringLiteral("begin"); }

QString PostgresEngine::rowsAtMostStatement(const QString& table) const
{
    return QStringLiteral("select coalesce(max(id), 0) from ") + quotedIdentifier(table);
}

QString PostgresEngine::insertGivingKey(const QString& insert, const QString& keyColumn) const
{
    return insert + QStringLiteral(" returning ") + quotedIdentifier(keyColumn);
}

QVariant PostgresEngine::newKey(QSqlQuery& q) const { return q.next() ? q.value(0) : QVariant(); }

QString PostgresEngine::limited(const QString& sql, qint64 rows) const
{
    return sql + QStringLiteral(" limit ") + QString::number(rows);
}

QString PostgresEngine::objectCountStatement(int names) const
{
    QStringList marks;
    for (int i = 0; i < names; ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("select count(*) from (select relname::text as n from pg_class where pg_table_is_visible(oid) "
                          "union all select tgname::text from pg_trigger where not tgisinternal) as o where n in (") +
           marks.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString PostgresEngine::tableCountStatement() const
{
    return QStringLiteral("select count(*) from pg_class where relkind in ('r', 'p') and pg_table_is_visible(oid) "
                          "and relname::text = ?");
}
