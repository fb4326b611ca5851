// SQLite database files: copies through the online backup and VACUUM INTO,
// the integrity check, the write-ahead log beside a file, and new files.

#include "data/engine/sqlitefiles.h"
#include "data/engine/sqliteengine.h"
#include "data/engine/sqlitewrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <sys/stat.h>

#include "rules/files/privatefiles.h"
#include "rules/statements/statementtext.h"

namespace {

QByteArray nativePath(const QString& path) { return QFile::encodeName(QDir::cleanPath(path)); }

// How long a connection here waits for a lock before it gives up.
constexpr int kWaitMs = 5000;
// The moment of putting a file in place runs on the window's thread: a
// database another program holds is not waited for long.
constexpr int kSettleWaitMs = 1000;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

void step(const FileProgress& p, const char* name)
{
    if (p.step)
        p.step(name);
}

bool stopRequested(const FileProgress& p) { return p.stopRequested && p.stopRequested(); }

// One SQLite connection of our own, closed when it goes out of scope.  Its
// files are opened through the file system that remembers the pages written
// to a new copy (sqlitewrites.h).
class Db {
public:
    Db() = default;
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    ~Db() { close(); }

    bool open(const QString& path, int flags, QString* error, int waitMs = kWaitMs)
    {
        close();
        const int rc =
            sqlite3_open_v2(nativePath(path).constData(), &h_, flags | SQLITE_OPEN_NOMUTEX, writtenPages::vfs());
        if (rc != SQLITE_OK) {
            setError(error, h_ ? lastError() : QString::fromUtf8(sqlite3_errstr(rc)));
            close();
            return false;
        }
        sqlite3_busy_timeout(h_, waitMs);
        sqlite3_extended_result_codes(h_, 1);
        return true;
    }
    void close()
    {
        if (h_)
            sqlite3_close_v2(h_);
        h_ = nullptr;
    }
    sqlite3* handle() const { return h_; }
    QString lastError() const { return h_ ? QString::fromUtf8(sqlite3_errmsg(h_)) : QString(); }

    bool exec(const QString& sql, QString* error)
    {
        char* msg = nullptr;
        if (sqlite3_exec(h_, sql.toUtf8().constData(), nullptr, nullptr, &msg) == SQLITE_OK)
            return true;
        setError(error, msg ? QString::fromUtf8(msg) : lastError());
        sqlite3_free(msg);
        return false;
    }

    // Column `column` of every row of a statement.
    bool column(const QString& sql, QStringList* out, QString* error, int column = 0)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            setError(error, lastError());
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            out->append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column))));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            setError(error, lastError());
            return false;
        }
        return true;
    }

    qint64 number(const QString& sql)
    {
        QStringList v;
        return column(sql, &v, nullptr) ? v.value(0).toLongLong() : -1;
    }

private:
    sqlite3* h_ = nullptr;
};

// The write lock of a transaction that writes nothing.
class SqliteHold final : public FileHold {
public:
    explicit SqliteHold(std::unique_ptr<Db> db) : db_(std::move(db)) {}
    ~SqliteHold() override { db_->exec(QStringLiteral("rollback"), nullptr); }

private:
    std::unique_ptr<Db> db_;
};

class SqliteRowWriter final : public RowWriter {
public:
    explicit SqliteRowWriter(std::unique_ptr<Db> db) : db_(std::move(db)) {}
    ~SqliteRowWriter() override { finalize(); }

    bool prepare(const QString& table, const QStringList& columns, QString* error) override
    {
        finalize();
        QStringList names, marks;
        for (const QString& c : columns) {
            names << quotedIdentifier(c);
            marks << QStringLiteral("?");
        }
        const QString sql = QStringLiteral("insert into ") + quotedIdentifier(table) + QStringLiteral(" (") +
                            names.join(QStringLiteral(", ")) + QStringLiteral(") values (") +
                            marks.join(QStringLiteral(", ")) + QLatin1Char(')');
        if (sqlite3_prepare_v2(db_->handle(), sql.toUtf8().constData(), -1, &st_, nullptr) == SQLITE_OK)
            return true;
        setError(error, db_->lastError());
        return false;
    }

    bool write(const QVariantList& values, QString* error) override
    {
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
        for (int c = 0; c < values.size(); ++c) {
            const QVariant& v = values[c];
            if (v.isNull())
                continue;
            if (v.typeId() == QMetaType::LongLong) {
                sqlite3_bind_int64(st_, c + 1, v.toLongLong());
                continue;
            }
            const QByteArray utf8 = v.toString().toUtf8();
            sqlite3_bind_text(st_, c + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(st_) == SQLITE_DONE)
            return true;
        setError(error, db_->lastError());
        return false;
    }

    bool commit(QString* error) override
    {
        finalize();
        return db_->exec(QStringLiteral("commit"), error);
    }

private:
    void finalize()
    {
        if (st_)
            sqlite3_finalize(st_);
        st_ = nullptr;
    }

    std::unique_ptr<Db> db_;
    sqlite3_stmt* st_ = nullptr;
};

// VACUUM INTO is one statement: its progress is the size its copy has
// reached, looked at now and then while it runs; a stop interrupts it.
struct VacuumWatch {
    const FileProgress* progress;
    QByteArray destination;
    qint64 expectedBytes;
    int lastPercent = -1;
    bool stopped = false;
};

int vacuumProgress(void* context)
{
    auto* w = static_cast<VacuumWatch*>(context);
    step(*w->progress, "compact-page");
    if (stopRequested(*w->progress)) {
        w->stopped = true;
        return 1;
    }
    if (w->progress->report && w->expectedBytes > 0) {
        struct stat st;
        if (::stat(w->destination.constData(), &st) == 0) {
            const int p = int(qMin<qint64>(99, 100 * qint64(st.st_size) / w->expectedBytes));
            if (p != w->lastPercent)
                w->progress->report(w->lastPercent = p);
        }
    }
    return 0;
}

// Pages copied by the online backup until done, failed or stopped.
int runBackup(sqlite3_backup* b, const FileProgress& progress, bool* stopped)
{
    int rc;
    int busy = 0;
    int lastPercent = -1;
    do {
        rc = sqlite3_backup_step(b, 256);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            if (++busy > 100)
                break;
            sqlite3_sleep(50);
            continue;
        }
        busy = 0;
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        step(progress, "backup-page");
        const int total = sqlite3_backup_pagecount(b);
        if (progress.report && total > 0) {
            const int p = int(100LL * (total - sqlite3_backup_remaining(b)) / total);
            if (p != lastPercent)
                progress.report(lastPercent = p);
        }
        if (rc == SQLITE_OK && stopRequested(progress)) {
            *stopped = true;
            break;
        }
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    return rc;
}

}  // namespace

QStringList SqliteFileStore::sideFiles(const QString& path) const
{
    return {path + QStringLiteral("-journal"), path + QStringLiteral("-wal"), path + QStringLiteral("-shm")};
}

bool SqliteFileStore::looksLikeDatabase(const QString& path) const
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3", 16);
}

bool SqliteFileStore::tablesOf(const QString& path, QStringList* tables, QString* error) const
{
    Db db;
    return db.open(path, SQLITE_OPEN_READONLY, error) &&
           db.column(QStringLiteral("select name from sqlite_master where type = 'table'"), tables, error);
}

QStringList SqliteFileStore::columnsOf(const QString& path, const QString& table) const
{
    Db db;
    QStringList present;
    if (db.open(path, SQLITE_OPEN_READONLY, nullptr))
        db.column(QStringLiteral("pragma table_info(") + quotedIdentifier(table) + QLatin1Char(')'), &present,
                  nullptr, 1);
    return present;
}

bool SqliteFileStore::hasIntegerKey(const QString& path, const QString& table) const
{
    // Only a column declared INTEGER that is the sole primary key of a table
    // with row ids stands for the row id, and the row id is always a whole
    // number.  Any other ID (TEXT, INT, a key over two columns, a table
    // WITHOUT ROWID) can hold text like 'id1'.
    Db db;
    if (!db.open(path, SQLITE_OPEN_READONLY, nullptr))
        return false;
    const QString name = QLatin1Char('\'') + quotedValue(table) + QLatin1Char('\'');
    QStringList keys, types, pkIndexes;
    return db.column(QStringLiteral("select name from pragma_table_info(") + name + QStringLiteral(") where pk > 0"),
                     &keys, nullptr) &&
           keys.size() == 1 && keys[0].compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0 &&
           db.column(QStringLiteral("select upper(type) from pragma_table_info(") + name +
                         QStringLiteral(") where pk > 0"),
                     &types, nullptr) &&
           types == QStringList{QStringLiteral("INTEGER")} &&
           db.column(QStringLiteral("select name from pragma_index_list(") + name +
                         QStringLiteral(") where origin = 'pk'"),
                     &pkIndexes, nullptr) &&
           pkIndexes.isEmpty();
}

namespace {

// Runs `pragma integrity_check` or `pragma quick_check` on the file.
FileStore::Integrity runCheck(const QString& path, const QString& pragma, QStringList* problems, QString* error)
{
    Db db;
    if (!db.open(path, SQLITE_OPEN_READONLY, error))
        return FileStore::Integrity::Unopened;
    // Read through a memory map: the check touches every page once.
    db.exec(QStringLiteral("pragma mmap_size = 2147483648"), nullptr);
    QStringList result;
    if (!db.column(QStringLiteral("pragma ") + pragma, &result, error))
        return FileStore::Integrity::Unreadable;
    if (result == QStringList{QStringLiteral("ok")})
        return FileStore::Integrity::Sound;
    *problems = result;
    return FileStore::Integrity::Damaged;
}

}  // namespace

FileStore::Integrity SqliteFileStore::checkIntegrity(const QString& path, QStringList* problems,
                                                       QString* error) const
{
    return runCheck(path, QStringLiteral("integrity_check"), problems, error);
}

// A copy written here is read back and compared with the pages SQLite wrote
// into it, page for page: a page of garbage or zeros, a page written over
// another, a lost tail or anything else changed in the file after it was
// written is found, at the cost of reading a file still in memory.  What the
// comparison leaves to the copy's source is the structure of its pages: a
// backup copies the pages as they are (a compact reads every row through its
// b-trees and stops at a damaged one).  A copy whose writing was not seen
// whole gets quick_check, which reads every page once and finds what a torn
// or spoiled copy shows: pages that are no valid b-tree page, cells out of
// their page or out of order, pages lost or used twice, a wrong free list or
// page count, records that do not parse, NOT NULL columns without a value.
FileStore::Integrity SqliteFileStore::checkCopy(const QString& path, QStringList* problems, QString* error) const
{
    QString difference;
    switch (writtenPages::compare(path, &difference)) {
    case writtenPages::Match::Same:
        return Integrity::Sound;
    case writtenPages::Match::Differs:
        *problems = QStringList{difference};
        return Integrity::Damaged;
    case writtenPages::Match::Unknown:
        break;
    }
    return runCheck(path, QStringLiteral("quick_check"), problems, error);
}

bool SqliteFileStore::compactInto(const QString& source, const QString& destination, const FileProgress& progress,
                               QString* error, bool* stopped) const
{
    Db db;
    VacuumWatch watch{&progress, nativePath(destination), 0};
    // Made empty and the user's alone before the copy is written into it.
    bool ok = privatefiles::createEmpty(destination, error) && db.open(source, SQLITE_OPEN_READWRITE, error);
    if (ok) {
        writtenPages::watch(destination);
        // The copy holds the pages in use; the free ones stay behind.
        const qint64 pageSize = db.number(QStringLiteral("pragma page_size"));
        watch.expectedBytes = (db.number(QStringLiteral("pragma page_count")) -
                               db.number(QStringLiteral("pragma freelist_count"))) * pageSize;
        sqlite3_progress_handler(db.handle(), 4000, vacuumProgress, &watch);
        // The copy is flushed once, after its check.
        ok = db.exec(QStringLiteral("pragma synchronous = off"), error) &&
             db.exec(QStringLiteral("vacuum into '") + quotedValue(QDir::cleanPath(destination)) + QLatin1Char('\''),
                     error);
        sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
    }
    *stopped = watch.stopped;
    return ok;
}

bool SqliteFileStore::copyInto(const QString& source, const QString& destination, const FileProgress& progress,
                            QString* error, bool* stopped) const
{
    Db from, copy;
    QString why;
    QStringList probe;
    // One read transaction over the whole copy: it sees the database of
    // one moment, however much is written meanwhile by others.
    if (!from.open(source, SQLITE_OPEN_READWRITE, &why) || !from.exec(QStringLiteral("begin"), &why) ||
        !from.column(QStringLiteral("select count(*) from sqlite_master"), &probe, &why)) {
        setError(error, QStringLiteral("无法打开数据库“") + QDir::toNativeSeparators(QDir::cleanPath(source)) +
                            QStringLiteral("”：") + why);
        return false;
    }
    if (!QFileInfo::exists(destination) && !privatefiles::createEmpty(destination, &why)) {
        setError(error, QStringLiteral("无法创建“") + QDir::toNativeSeparators(QDir::cleanPath(destination)) +
                            QStringLiteral("”：") + why);
        return false;
    }
    writtenPages::watch(destination);
    if (!copy.open(destination, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why)) {
        setError(error, QStringLiteral("无法创建“") + QDir::toNativeSeparators(QDir::cleanPath(destination)) +
                            QStringLiteral("”：") + why);
        return false;
    }
    // The copy is checked and flushed as a whole afterwards.
    copy.exec(QStringLiteral("pragma synchronous = off"), nullptr);
    copy.exec(QStringLiteral("pragma journal_mode = off"), nullptr);
    sqlite3_backup* b = sqlite3_backup_init(copy.handle(), "main", from.handle(), "main");
    if (!b) {
        setError(error, QStringLiteral("无法复制数据库：") + copy.lastError());
        return false;
    }
    const int rc = runBackup(b, progress, stopped);
    sqlite3_backup_finish(b);
    from.exec(QStringLiteral("commit"), nullptr);
    if (*stopped)
        return false;
    if (rc != SQLITE_DONE) {
        setError(error, QStringLiteral("复制数据库失败：") + QString::fromUtf8(sqlite3_errstr(rc)));
        return false;
    }
    return true;
}

void SqliteFileStore::forgetCopy(const QString& path) const { writtenPages::forget(path); }

bool SqliteFileStore::detachSideFiles(const QString& path, QString* error) const
{
    {
        Db db;
        QString why;
        QStringList mode;
        if (!db.open(path, SQLITE_OPEN_READWRITE, &why) ||
            !db.column(QStringLiteral("pragma journal_mode = delete"), &mode, &why)) {
            setError(error, QStringLiteral("新生成的数据库文件无法打开：") + why);
            return false;
        }
        if (mode != QStringList{QStringLiteral("delete")}) {
            setError(error, QStringLiteral("新生成的数据库文件“") + QDir::toNativeSeparators(QDir::cleanPath(path)) +
                                QStringLiteral("”无法改为普通日志方式。"));
            return false;
        }
    }
    for (const QString& side : sideFiles(path))
        QFile::remove(side);
    return true;
}

bool SqliteFileStore::settle(const QString& path, QString* error, bool* inUse) const
{
    *inUse = false;
    Db db;
    if (!db.open(path, SQLITE_OPEN_READWRITE, error, kSettleWaitMs))
        return false;
    // The log moves into the file and goes, a journal left by a crash is
    // rolled back; the exclusive lock proves no other connection has it open.
    QStringList mode;
    if (!db.column(QStringLiteral("pragma journal_mode = delete"), &mode, error) ||
        mode != QStringList{QStringLiteral("delete")} || !db.exec(QStringLiteral("begin exclusive"), error)) {
        *inUse = true;
        return false;
    }
    db.exec(QStringLiteral("rollback"), nullptr);
    return true;
}

bool SqliteFileStore::flushLog(const QString& path, bool truncate, QString* error) const
{
    Db db;
    return db.open(path, SQLITE_OPEN_READWRITE, error) &&
           db.exec(truncate ? QStringLiteral("pragma wal_checkpoint(truncate)") : QStringLiteral("pragma wal_checkpoint(passive)"),
                   error);
}

std::unique_ptr<FileHold> SqliteFileStore::holdWrites(const QString& path, QString* error) const
{
    auto db = std::make_unique<Db>();
    if (!db->open(path, SQLITE_OPEN_READWRITE, error) || !db->exec(QStringLiteral("begin immediate"), error))
        return {};
    return std::make_unique<SqliteHold>(std::move(db));
}

bool SqliteFileStore::createTables(const QString& path, const QList<QPair<QString, QStringList>>& tables,
                                QString* error) const
{
    Db db;
    if ((!QFileInfo::exists(path) && !privatefiles::createEmpty(path, error)) ||
        !db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error))
        return false;
    for (const auto& [table, columns] : tables) {
        QStringList cols{QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT")};
        for (const QString& c : columns)
            cols << quotedIdentifier(c) + QStringLiteral(" TEXT");
        if (!db.exec(QStringLiteral("create table ") + quotedIdentifier(table) + QStringLiteral(" (") +
                         cols.join(QStringLiteral(", ")) + QLatin1Char(')'),
                     error))
            return false;
    }
    return true;
}

std::unique_ptr<RowWriter> SqliteFileStore::writeRows(const QString& path, QString* error) const
{
    auto db = std::make_unique<Db>();
    if (!db->open(path, SQLITE_OPEN_READWRITE, error) || !db->exec(QStringLiteral("pragma synchronous = off"), error) ||
        !db->exec(QStringLiteral("begin"), error))
        return {};
    return std::make_unique<SqliteRowWriter>(std::move(db));
}

const FileStore& FileStore::standard()
{
    static const SqliteFileStore store;
    return store;
}
