#include "data/engine/sqliteengine.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <mutex>
#include <sqlite3.h>

#include "rules/statements/statementtext.h"
#include "rules/calls/callrules.h"

sqlite3* SqliteEngine::handleOf(const QSqlDatabase& db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3* const*>(h.constData());
    return nullptr;
}

const QString SqliteEngine::driver = QStringLiteral("QSQLITE");


namespace {

void digitsFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    const QByteArray digits = numberDigitsUtf8(text, size);
    sqlite3_result_text(context, digits.constData(), int(digits.size()), SQLITE_TRANSIENT);
}

int addTo(sqlite3* handle)
{
    return sqlite3_create_function_v2(handle, numberDigitsFunction, 1,
                                      SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                      digitsFunction, nullptr, nullptr, nullptr);
}

extern "C" int addToNewConnection(sqlite3* handle, const char**, const sqlite3_api_routines*)
{
    return addTo(handle);
}

QString digitsOf(const QString& column)
{
    return QString::fromLatin1(numberDigitsFunction) + QLatin1Char('(') + column + QLatin1Char(')');
}

// "(rowid, a, b, c)" and "<key>, digits(<p>a), digits(<p>b), digits(<p>c)".
QString indexColumns(const DatabaseEngine::NumberIndex& ix)
{
    return QStringLiteral("(rowid, ") + ix.columns.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString indexValues(const DatabaseEngine::NumberIndex& ix, const QString& prefix)
{
    QStringList values{prefix + QStringLiteral("ID")};
    for (const QString& c : ix.columns)
        values << digitsOf(prefix + c);
    return values.join(QStringLiteral(", "));
}

QString marks(int n)
{
    QStringList m;
    for (int i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(QStringLiteral(", "));
}

}  // namespace

QSqlDatabase SqliteEngine::connection(const QString& name, const DatabaseLocation& where, int waitMs,
                                      Access access) const
{
    QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                   : QSqlDatabase::addDatabase(driver, name);
    db.setDatabaseName(where.file);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=") + QString::number(waitMs);
    if (access == Access::ReadOnly)
        options = QStringLiteral("QSQLITE_OPEN_READONLY;") + options;
    db.setConnectOptions(options);
    return db;
}

bool SqliteEngine::reachesDatabase(QSqlDatabase& db, QString* error) const
{
    QSqlQuery probe(db);
    const bool ok = probe.exec(QStringLiteral("select count(*) from sqlite_master"));
    if (!ok && error)
        *error = probe.lastError().text();
    return ok;
}

bool SqliteEngine::canTry(const DatabaseLocation& where, QString* error) const
{
    // SQLite would quietly create a missing file; a missing database is an
    // error here, and no empty file may appear in its place.
    if (!where.file.isEmpty() && QFileInfo(where.file).isFile())
        return true;
    *error = QStringLiteral("找不到数据库文件“") + QDir::toNativeSeparators(where.file) + QStringLiteral("”。");
    return false;
}

DatabaseLocation SqliteEngine::locationOf(const QSqlDatabase& db) const
{
    return DatabaseLocation::ofFile(db.databaseName());
}

bool SqliteEngine::prepareDatabase(QSqlDatabase&, QString*) const
{
    // The file is made with its tables (the empty database supplied with
    // the program); nothing is created in it here.
    return true;
}

void SqliteEngine::prepareSession(QSqlDatabase& db) const
{
    QSqlQuery q(db);
    // A database on read-only media keeps its journal as it is.
    q.exec(QStringLiteral("pragma journal_mode = wal"));
    // Every stored record must be on disk when its store returns.
    q.exec(QStringLiteral("pragma synchronous = full"));
}

bool SqliteEngine::canWrite(const QSqlDatabase& db) const
{
    sqlite3* h = handleOf(db);
    return !h || sqlite3_db_readonly(h, "main") != 1;
}

// In WAL mode synchronous=normal writes a commit into the log without
// waiting for it; a flush of the log then makes it what a full commit would
// have made it.  Commits that moved into the file by a checkpoint were
// flushed by SQLite itself.  Only the log is flushed from outside: SQLite
// keeps its locks on the database file and on the -shm file, never on the
// log, so a descriptor of the log opened and closed beside it drops none
// of them.
bool SqliteEngine::flushLater(QSqlDatabase& db, bool later) const
{
    QSqlQuery q(db);
    if (later && !(q.exec(QStringLiteral("pragma journal_mode")) && q.next() &&
                   q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0))
        return false;
    // Nor does such a commit move the log into the file (a checkpoint waits
    // for the disk twice): the log is moved in beside the window soon after
    // (DataModule's fold of the log).
    return q.exec(later ? QStringLiteral("pragma synchronous = normal") : QStringLiteral("pragma synchronous = full")) &&
           q.exec(later ? QStringLiteral("pragma wal_autocheckpoint = 0")
                        : QStringLiteral("pragma wal_autocheckpoint = 1000")) &&
           later;
}

QStringList SqliteEngine::flushFiles(const QSqlDatabase& db) const
{
    return {db.databaseName() + QStringLiteral("-wal")};
}

bool SqliteEngine::fixView(const QSqlDatabase& db, QString* error) const
{
    // A read transaction takes its view at its first read.
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (q.exec(QStringLiteral("select count(*) from sqlite_master")) && q.next())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

bool SqliteEngine::isBusy(const QSqlError& error) const
{
    // SQLITE_BUSY and SQLITE_LOCKED, with or without extended codes.
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok && ((code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED);
}

std::function<void()> SqliteEngine::interrupter(const QSqlDatabase& db) const
{
    sqlite3* h = handleOf(db);
    if (!h)
        return {};
    return [h] { sqlite3_interrupt(h); };
}

void SqliteEngine::stopWhenSet(const QSqlDatabase& db, const std::atomic<bool>* stop) const
{
    sqlite3* h = handleOf(db);
    if (!h)
        return;
    if (!stop) {
        sqlite3_progress_handler(h, 0, nullptr, nullptr);
        return;
    }
    sqlite3_progress_handler(
        h, 1000, [](void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(stop));
}

QString SqliteEngine::watchInserts(QSqlDatabase&, const QString&) const
{
    // One program on one file: nobody else stores there.
    return {};
}

QString SqliteEngine::sameValue(const QString& column) const { return column + QStringLiteral(" is ?"); }

QString SqliteEngine::textLike(const QString& column, const QString& pattern) const
{
    return column + QStringLiteral(" like ") + pattern;
}

QString SqliteEngine::beginWrite() const { return QStringLiteral("begin immediate"); }

QString SqliteEngine::rowsAtMostStatement(const QString& table) const
{
    return QStringLiteral("select max(rowid) from ") + quotedIdentifier(table);
}

QString SqliteEngine::insertGivingKey(const QString& insert, const QString&) const { return insert; }

QVariant SqliteEngine::newKey(QSqlQuery& q) const { return q.lastInsertId(); }

QString SqliteEngine::limited(const QString& sql, qint64 rows) const
{
    return sql + QStringLiteral(" limit ") + QString::number(rows);
}

QString SqliteEngine::objectCountStatement(int names) const
{
    return QStringLiteral("select count(*) from sqlite_master where name in (") + marks(names) + QLatin1Char(')');
}

QString SqliteEngine::tableCountStatement() const
{
    return QStringLiteral("select count(*) from sqlite_master where type = 'table' and name = ?");
}

bool SqliteEngine::addDigitsFunction(const QSqlDatabase& db) const
{
    static std::once_flag everyConnection;
    std::call_once(everyConnection, [] {
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&addToNewConnection));
    });
    sqlite3* h = handleOf(db);
    return h && addTo(h) == SQLITE_OK;
}

QStringList SqliteEngine::numberIndexCreation(const NumberIndex& ix) const
{
    // The index keeps its own copy of the digits: a lookup reads nothing
    // but the index, and no connection needs the digits function to read it.
    return {QStringLiteral("create virtual table ") + ix.index + QStringLiteral(" using fts5(") +
                ix.columns.join(QStringLiteral(", ")) + QStringLiteral(", tokenize='trigram')"),
            numberIndexInsertTrigger(ix),
            QStringLiteral("create trigger ") + ix.trigger("_ad") + QStringLiteral(" after delete on ") + ix.table +
                QStringLiteral(" begin delete from ") + ix.index + QStringLiteral(" where rowid = old.ID; end"),
            QStringLiteral("create trigger ") + ix.trigger("_au") + QStringLiteral(" after update of ID, ") +
                ix.columns.join(QStringLiteral(", ")) + QStringLiteral(" on ") + ix.table +
                QStringLiteral(" begin delete from ") + ix.index + QStringLiteral(" where rowid = old.ID; insert into ") +
                ix.index + indexColumns(ix) + QStringLiteral(" values (") + indexValues(ix, QStringLiteral("new.")) +
                QStringLiteral("); end")};
}

QStringList SqliteEngine::numberIndexRemoval(const NumberIndex& ix) const
{
    QStringList out;
    for (const char* t : {"_ai", "_ad", "_au"})
        out << QStringLiteral("drop trigger if exists ") + ix.trigger(t);
    out << QStringLiteral("drop table if exists ") + ix.index;
    return out;
}

QStringList SqliteEngine::numberIndexObjects(const NumberIndex& ix) const
{
    return {ix.index, ix.trigger("_ai"), ix.trigger("_ad"), ix.trigger("_au")};
}

QString SqliteEngine::numberIndexInsertTrigger(const NumberIndex& ix) const
{
    return QStringLiteral("create trigger ") + ix.trigger("_ai") + QStringLiteral(" after insert on ") + ix.table +
           QStringLiteral(" begin insert into ") + ix.index + indexColumns(ix) + QStringLiteral(" values (") +
           indexValues(ix, QStringLiteral("new.")) + QStringLiteral("); end");
}

QStringList SqliteEngine::rowCountTriggerNames(const QString& counts, const QString& table) const
{
    const QString stem = counts + QLatin1Char('_') + table;
    return {stem + QStringLiteral("_ai"), stem + QStringLiteral("_ad")};
}

QStringList SqliteEngine::rowCountTriggers(const QString& counts, const QString& table) const
{
    const QStringList names = rowCountTriggerNames(counts, table);
    auto trigger = [&](const QString& name, const char* event, const char* change) {
        return QStringLiteral("create trigger ") + quotedIdentifier(name) + QStringLiteral(" after ") +
               QLatin1String(event) + QStringLiteral(" on ") + quotedIdentifier(table) + QStringLiteral(" begin update ") +
               quotedIdentifier(counts) + QStringLiteral(" set 行数 = 行数 ") + QLatin1String(change) +
               QStringLiteral(" where 表名 = '") + quotedValue(table) + QStringLiteral("'; end");
    };
    return {trigger(names[0], "insert", "+ 1"), trigger(names[1], "delete", "- 1")};
}

QString SqliteEngine::numberIndexInsertTriggerRemoval(const NumberIndex& ix) const
{
    return QStringLiteral("drop trigger ") + ix.trigger("_ai");
}

QString SqliteEngine::numberIndexFill(const NumberIndex& ix) const
{
    return QStringLiteral("insert into ") + ix.index + indexColumns(ix) + QStringLiteral(" select ") +
           indexValues(ix, QString()) + QStringLiteral(" from ") + ix.table +
           QStringLiteral(" where ID > ? and ID <= ? and ID not in (select rowid from ") + ix.index +
           QStringLiteral(" where rowid > ? and rowid <= ?)");
}
