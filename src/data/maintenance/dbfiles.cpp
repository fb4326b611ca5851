#include "data/maintenance/dbfiles.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTime>
#include <QVariant>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "rules/app/statementtext.h"
#include "rules/transfer/tablereader.h"

namespace dbfile {
namespace {

std::function<void(const char*)>& stepHook()
{
    static std::function<void(const char*)> hook;
    return hook;
}

void step(const char* name)
{
    if (stepHook())
        stepHook()(name);
}

QByteArray nativePath(const QString& path) { return QFile::encodeName(QDir::cleanPath(path)); }

QString shown(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

// How long a connection here waits for a lock before it gives up.
constexpr int kWaitMs = 5000;
// The moment of putting a file in place runs on the window's thread: a
// database another program holds is not waited for long.
constexpr int kSettleWaitMs = 1000;

// One SQLite connection of our own, closed when it goes out of scope.
class Db {
public:
    Db() = default;
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    ~Db() { close(); }

    bool open(const QString& path, int flags, QString* error, int waitMs = kWaitMs)
    {
        close();
        const int rc = sqlite3_open_v2(nativePath(path).constData(), &h_,
                                       flags | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            if (error)
                *error = h_ ? lastError() : QString::fromUtf8(sqlite3_errstr(rc));
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
    sqlite3* take()
    {
        sqlite3* h = h_;
        h_ = nullptr;
        return h;
    }
    QString lastError() const { return h_ ? QString::fromUtf8(sqlite3_errmsg(h_)) : QString(); }

    bool exec(const QString& sql, QString* error)
    {
        char* msg = nullptr;
        if (sqlite3_exec(h_, sql.toUtf8().constData(), nullptr, nullptr, &msg) == SQLITE_OK)
            return true;
        if (error)
            *error = msg ? QString::fromUtf8(msg) : lastError();
        sqlite3_free(msg);
        return false;
    }

    // Column `column` of every row of a statement.
    bool column(const QString& sql, QStringList* out, QString* error, int column = 0)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
            if (error)
                *error = lastError();
            return false;
        }
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            out->append(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st, column))));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            if (error)
                *error = lastError();
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

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + quotedValue(text) + QLatin1Char('\'');
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString stoppedText() { return QStringLiteral("已停止。"); }

bool stopRequested(const Progress& p) { return p.stopRequested && p.stopRequested(); }

bool syncPath(const QString& path, bool directory)
{
    const int fd = ::open(nativePath(path).constData(), (directory ? O_DIRECTORY : 0) | O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool syncFolderOf(const QString& path) { return syncPath(QFileInfo(path).absolutePath(), true); }

// The rename that makes a new file the real one: atomic, then made durable.
bool renameInto(const QString& from, const QString& to, QString* error)
{
    if (::rename(nativePath(from).constData(), nativePath(to).constData()) != 0) {
        setError(error, QStringLiteral("无法把“") + shown(from) + QStringLiteral("”改名为“") + shown(to) +
                            QStringLiteral("”：") + QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    syncFolderOf(to);
    return true;
}

// What SQLite keeps beside a database file.
const char* const kSideFiles[] = {"-journal", "-wal", "-shm"};

void removeSideFiles(const QString& path)
{
    for (const char* side : kSideFiles)
        QFile::remove(path + QLatin1String(side));
}

bool hasSqliteHeader(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(16) == QByteArray("SQLite format 3", 16);
}

bool tablesPresent(Db& db, QString* missing, QString* error)
{
    QStringList names;
    if (!db.column(QStringLiteral("select name from sqlite_master where type = 'table'"), &names,
                   error))
        return false;
    for (const QString& t : requiredTables()) {
        bool found = false;
        for (const QString& n : names)
            found = found || n.compare(t, Qt::CaseInsensitive) == 0;
        if (!found) {
            if (missing)
                *missing = t;
            return true;
        }
    }
    if (missing)
        missing->clear();
    return true;
}

int indexOfName(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

MissingColumns missingColumnsOf(Db& db)
{
    MissingColumns out;
    for (const QString& table : requiredTables()) {
        QStringList present;
        db.column(QStringLiteral("pragma table_info(") + quotedIdentifier(table) + QLatin1Char(')'),
                  &present, nullptr, 1);
        QStringList lacking;
        for (const QString& c : requiredColumns(table))
            if (indexOfName(present, c) < 0)
                lacking << c;
        if (!lacking.isEmpty())
            out.append({table, lacking});
    }
    return out;
}

// Leaves a freshly written scratch database as a file of its own: an
// ordinary rollback journal (no log beside it), checked, and on disk.
bool finishScratch(const QString& path, QString* error)
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
            setError(error, QStringLiteral("新生成的数据库文件“") + shown(path) +
                                QStringLiteral("”无法改为普通日志方式。"));
            return false;
        }
    }
    removeSideFiles(path);
    if (!verifyDatabase(path, error))
        return false;
    if (!syncPath(path, false)) {
        setError(error, QStringLiteral("无法把“") + shown(path) + QStringLiteral("”写入磁盘。"));
        return false;
    }
    return true;
}

QString inUseText(const QString& path)
{
    return QStringLiteral("数据库“") + shown(path) +
           QStringLiteral("”正被其他程序使用，请关闭其他程序后再试。");
}

// A database about to be replaced is brought back into a file of its own:
// a log left beside it is moved into the file and removed, a journal left by
// a crash is rolled back.  Nothing of the old file can then be played into
// the one that takes its place.  Fails when another connection still has
// the database open (it would go on writing into the old file).
bool settle(const QString& path, QString* error)
{
    if (!QFileInfo(path).isFile() || !hasSqliteHeader(path))
        return true;
    {
        Db db;
        QString why;
        if (!db.open(path, SQLITE_OPEN_READWRITE, &why, kSettleWaitMs)) {
            setError(error, QStringLiteral("无法打开数据库“") + shown(path) + QStringLiteral("”：") + why);
            return false;
        }
        QStringList mode;
        if (!db.column(QStringLiteral("pragma journal_mode = delete"), &mode, &why) ||
            mode != QStringList{QStringLiteral("delete")} ||
            !db.exec(QStringLiteral("begin exclusive"), &why)) {
            setError(error, inUseText(path));
            return false;
        }
        db.exec(QStringLiteral("rollback"), nullptr);
    }
    step("settled");
    removeSideFiles(path);
    return true;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa, sb;
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

const QStringList& customerColumns()
{
    static const QStringList c = {
        QStringLiteral("联系人"), QStringLiteral("电话"),   QStringLiteral("手机"),
        QStringLiteral("宅电"),   QStringLiteral("公司名称"), QStringLiteral("地址"),
        QStringLiteral("EMAIL"),  QStringLiteral("QQ"),     QStringLiteral("MSN"),
        QStringLiteral("网址"),   QStringLiteral("部门"),   QStringLiteral("职务"),
        QStringLiteral("分类1"),  QStringLiteral("分类2"),  QStringLiteral("邮编"),
        QStringLiteral("事项"),   QStringLiteral("答复")};
    return c;
}

const QStringList& callColumns()
{
    static const QStringList c = {
        QStringLiteral("电话"),   QStringLiteral("手机"),   QStringLiteral("日期"),
        QStringLiteral("时间"),   QStringLiteral("联系人"), QStringLiteral("宅电"),
        QStringLiteral("公司名称"), QStringLiteral("地址"), QStringLiteral("EMAIL"),
        QStringLiteral("QQ"),     QStringLiteral("MSN"),    QStringLiteral("网址"),
        QStringLiteral("部门"),   QStringLiteral("职务"),   QStringLiteral("分类1"),
        QStringLiteral("分类2"),  QStringLiteral("邮编"),   QStringLiteral("事项"),
        QStringLiteral("答复")};
    return c;
}

const QStringList& dictionaryColumns()
{
    static const QStringList c = {QStringLiteral("项目"), QStringLiteral("内容")};
    return c;
}

const QStringList& standardColumns(int table)
{
    return table == 0 ? customerColumns() : table == 1 ? callColumns() : dictionaryColumns();
}

QString shortDate(const QDate& d) { return d.toString(QStringLiteral("yyyy-M-d")); }
QString longTime(const QTime& t) { return t.toString(QStringLiteral("H:mm:ss")); }

// VACUUM INTO is one statement: its progress is the size its copy has
// reached, looked at now and then while it runs; a stop interrupts it.
struct VacuumWatch {
    const Progress* progress;
    QByteArray destination;
    qint64 expectedBytes;
    int lastPercent = -1;
    bool stopped = false;
};

int vacuumProgress(void* context)
{
    auto* w = static_cast<VacuumWatch*>(context);
    step("compact-page");
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

}  // namespace

void setStepHook(std::function<void(const char*)> hook) { stepHook() = std::move(hook); }

QStringList requiredTables()
{
    return {QStringLiteral("客户数据"), QStringLiteral("来电数据"), QStringLiteral("字典")};
}

QStringList requiredColumns(const QString& table)
{
    const int t = indexOfName(requiredTables(), table);
    if (t < 0)
        return {};
    return QStringList{QStringLiteral("ID")} + standardColumns(t);
}

bool isAccessFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(20);
    return head.size() == 20 && head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
           (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB");
}

Kind kindOf(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return Kind::Missing;
    if (isAccessFile(path))
        return Kind::Access;
    if (!hasSqliteHeader(path))
        return Kind::NotDatabase;
    Db db;
    QString missing;
    if (!db.open(path, SQLITE_OPEN_READONLY, nullptr) || !tablesPresent(db, &missing, nullptr))
        return Kind::NotDatabase;
    if (!missing.isEmpty())
        return Kind::NotOurs;
    return missingColumnsOf(db).isEmpty() ? Kind::Ours : Kind::Incomplete;
}

MissingColumns missingColumns(const QString& path)
{
    Db db;
    if (!db.open(path, SQLITE_OPEN_READONLY, nullptr))
        return {};
    return missingColumnsOf(db);
}

bool verifyDatabase(const QString& path, QString* error)
{
    Db db;
    QString why;
    if (!db.open(path, SQLITE_OPEN_READONLY, &why)) {
        setError(error, QStringLiteral("无法打开“") + shown(path) + QStringLiteral("”：") + why);
        return false;
    }
    // Read through a memory map: the check touches every page once.
    db.exec(QStringLiteral("pragma mmap_size = 2147483648"), nullptr);
    QStringList result;
    if (!db.column(QStringLiteral("pragma integrity_check"), &result, &why)) {
        setError(error, QStringLiteral("“") + shown(path) + QStringLiteral("”不是可用的数据库文件：") + why);
        return false;
    }
    if (result != QStringList{QStringLiteral("ok")}) {
        setError(error, QStringLiteral("“") + shown(path) + QStringLiteral("”未通过完整性检查：") +
                            result.mid(0, 3).join(QLatin1Char(' ')));
        return false;
    }
    QString missing;
    if (!tablesPresent(db, &missing, &why)) {
        setError(error, why);
        return false;
    }
    if (!missing.isEmpty()) {
        setError(error, QStringLiteral("“") + shown(path) + QStringLiteral("”中没有“") + missing +
                            QStringLiteral("”表。"));
        return false;
    }
    return true;
}

bool WriteHold::take(const QString& database, QString* error)
{
    release();
    Db db;
    QString why;
    if (!db.open(database, SQLITE_OPEN_READWRITE, &why) ||
        !db.exec(QStringLiteral("begin immediate"), &why)) {
        setError(error, QStringLiteral("无法锁定数据库“") + shown(database) + QStringLiteral("”：") + why);
        return false;
    }
    h_ = db.take();
    return true;
}

void WriteHold::release()
{
    if (!h_)
        return;
    sqlite3_exec(h_, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close_v2(h_);
    h_ = nullptr;
}

bool removeDatabaseFile(const QString& path)
{
    removeSideFiles(path);
    return !QFileInfo::exists(path) || QFile::remove(path);
}

bool Compact_Mdb(const QString& source, const QString& destination, QString* error,
                 const Progress& progress)
{
    if (QFileInfo::exists(destination)) {
        setError(error, QStringLiteral("“") + shown(destination) + QStringLiteral("”已经存在。"));
        return false;
    }
    if (!QFileInfo(source).isFile()) {
        setError(error, QStringLiteral("找不到数据库文件“") + shown(source) + QStringLiteral("”。"));
        return false;
    }
    {
        Db db;
        QString why;
        VacuumWatch watch{&progress, nativePath(destination), 0};
        bool ok = db.open(source, SQLITE_OPEN_READWRITE, &why);
        if (ok) {
            // The copy holds the pages in use; the free ones stay behind.
            const qint64 pageSize = db.number(QStringLiteral("pragma page_size"));
            watch.expectedBytes = (db.number(QStringLiteral("pragma page_count")) -
                                   db.number(QStringLiteral("pragma freelist_count"))) * pageSize;
            sqlite3_progress_handler(db.handle(), 4000, vacuumProgress, &watch);
            // The copy is flushed once, after its check.
            ok = db.exec(QStringLiteral("pragma synchronous = off"), &why) &&
                 db.exec(QStringLiteral("vacuum into ") + quoted(QDir::cleanPath(destination)), &why);
            sqlite3_progress_handler(db.handle(), 0, nullptr, nullptr);
        }
        if (!ok) {
            db.close();
            removeDatabaseFile(destination);
            setError(error, watch.stopped ? stoppedText()
                                          : QStringLiteral("压缩“") + shown(source) +
                                                QStringLiteral("”失败：") + why);
            return false;
        }
    }
    step("compact-written");
    if (!finishScratch(destination, error)) {
        removeDatabaseFile(destination);
        return false;
    }
    if (progress.report)
        progress.report(100);
    return true;
}

bool compactDatabase(const QString& database, const QString& scratch, QString* error)
{
    step("compact-start");
    if (!removeDatabaseFile(scratch)) {
        setError(error, QStringLiteral("无法删除上次留下的“") + shown(scratch) + QStringLiteral("”。"));
        return false;
    }
    // Nothing written while the copy is made can be lost by the rename.
    WriteHold hold;
    if (!hold.take(database, error))
        return false;
    if (!Compact_Mdb(database, scratch, error))
        return false;
    step("compact-checked");
    if (!replaceDatabase(database, scratch, QString(), error, &hold)) {
        removeDatabaseFile(scratch);
        return false;
    }
    step("compact-renamed");
    return true;
}

bool backupDatabase(const QString& database, const QString& target, QString* error,
                    const Progress& progress)
{
    step("backup-start");
    if (QFileInfo::exists(target) && sameFile(database, target)) {
        setError(error, QStringLiteral("不能把数据库备份到它自己的文件上，请另选一个文件名。"));
        return false;
    }
    const QString temp = target + QStringLiteral(".tmp");
    if (!removeDatabaseFile(temp)) {
        setError(error, QStringLiteral("无法删除“") + shown(temp) + QStringLiteral("”。"));
        return false;
    }
    auto fail = [&](const QString& why) {
        removeDatabaseFile(temp);
        setError(error, why);
        return false;
    };
    {
        Db source, copy;
        QString why;
        QStringList probe;
        // One read transaction over the whole copy: it sees the database of
        // one moment, however much is written meanwhile by others.
        if (!source.open(database, SQLITE_OPEN_READWRITE, &why) ||
            !source.exec(QStringLiteral("begin"), &why) ||
            !source.column(QStringLiteral("select count(*) from sqlite_master"), &probe, &why))
            return fail(QStringLiteral("无法打开数据库“") + shown(database) + QStringLiteral("”：") + why);
        if (!copy.open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why))
            return fail(QStringLiteral("无法创建“") + shown(temp) + QStringLiteral("”：") + why);
        // The copy is checked and flushed as a whole afterwards.
        copy.exec(QStringLiteral("pragma synchronous = off"), nullptr);
        copy.exec(QStringLiteral("pragma journal_mode = off"), nullptr);
        sqlite3_backup* b = sqlite3_backup_init(copy.handle(), "main", source.handle(), "main");
        if (!b)
            return fail(QStringLiteral("无法复制数据库：") + copy.lastError());
        int rc;
        int busy = 0;
        int lastPercent = -1;
        bool stopped = false;
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
            step("backup-page");
            const int total = sqlite3_backup_pagecount(b);
            if (progress.report && total > 0) {
                const int p = int(100LL * (total - sqlite3_backup_remaining(b)) / total);
                if (p != lastPercent)
                    progress.report(lastPercent = p);
            }
            if (rc == SQLITE_OK && stopRequested(progress)) {
                stopped = true;
                break;
            }
        } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
        sqlite3_backup_finish(b);
        source.exec(QStringLiteral("commit"), nullptr);
        if (stopped)
            return fail(stoppedText());
        if (rc != SQLITE_DONE)
            return fail(QStringLiteral("复制数据库失败：") + QString::fromUtf8(sqlite3_errstr(rc)));
    }
    step("backup-written");
    QString why;
    if (!finishScratch(temp, &why))
        return fail(why);
    step("backup-checked");
    if (!renameInto(temp, target, &why))
        return fail(why);
    step("backup-renamed");
    return true;
}

bool replaceDatabase(const QString& database, const QString& replacement, const QString& keepAs,
                     QString* error, WriteHold* hold)
{
    step("replace-start");
    if (hold)
        hold->release();
    if (!settle(database, error))
        return false;
    if (!keepAs.isEmpty() && QFileInfo(database).isFile()) {
        // The old file stays under the second name: a second link to it
        // where the file system allows, a copy otherwise.
        const QString temp = keepAs + QStringLiteral(".tmp");
        QFile::remove(temp);
        if (::link(nativePath(database).constData(), nativePath(temp).constData()) != 0) {
            if (!QFile::copy(database, temp) || !syncPath(temp, false)) {
                QFile::remove(temp);
                setError(error, QStringLiteral("无法保留原数据库为“") + shown(keepAs) + QStringLiteral("”。"));
                return false;
            }
        }
        removeSideFiles(keepAs);
        if (!renameInto(temp, keepAs, error)) {
            QFile::remove(temp);
            return false;
        }
        step("replace-kept");
    }
    if (!renameInto(replacement, database, error))
        return false;
    step("replace-done");
    return true;
}

bool createDatabase(const QString& path, QString* error,
                    const std::function<QStringList(const QString&)>& extraColumns)
{
    removeDatabaseFile(path);
    Db db;
    QString why;
    if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why)) {
        setError(error, QStringLiteral("无法创建“") + shown(path) + QStringLiteral("”：") + why);
        return false;
    }
    const QStringList tables = requiredTables();
    for (int t = 0; t < tables.size(); ++t) {
        QStringList cols{QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT")};
        QStringList names = standardColumns(t);
        if (extraColumns)
            for (const QString& extra : extraColumns(tables[t]))
                if (indexOfName(names, extra) < 0 &&
                    extra.compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0)
                    names << extra;
        for (const QString& c : names)
            cols << quotedIdentifier(c) + QStringLiteral(" TEXT");
        if (!db.exec(QStringLiteral("create table ") + quotedIdentifier(tables[t]) + QStringLiteral(" (") +
                         cols.join(QStringLiteral(", ")) + QLatin1Char(')'),
                     &why)) {
            db.close();
            removeDatabaseFile(path);
            setError(error, QStringLiteral("无法创建“") + shown(path) + QStringLiteral("”：") + why);
            return false;
        }
    }
    return true;
}

QString movedInText(const QVariant& value, const QString& column)
{
    if (value.isNull() || !value.isValid())
        return QString();
    const bool isDate = column.compare(QStringLiteral("日期"), Qt::CaseInsensitive) == 0;
    const bool isTime = column.compare(QStringLiteral("时间"), Qt::CaseInsensitive) == 0;
    switch (value.typeId()) {
    case QMetaType::QDate:
        return shortDate(value.toDate());
    case QMetaType::QTime:
        return longTime(value.toTime());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (isDate)
            return shortDate(dt.date());
        // A time of day alone sits on Access's day zero.
        if (isTime || dt.date() == QDate(1899, 12, 30))
            return longTime(dt.time());
        if (dt.time() == QTime(0, 0))
            return shortDate(dt.date());
        return shortDate(dt.date()) + QLatin1Char(' ') + longTime(dt.time());
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (d == double(qint64(d)) && d > -1e15 && d < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    default:
        break;
    }
    const QString text = value.toString();
    if (isDate) {
        // 2009-04-27, 2009/4/27 or 2009.4.27, maybe followed by a time.
        static const QRegularExpression re(
            QStringLiteral("^\\s*(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})(\\s.*)?$"));
        const auto m = re.match(text);
        if (m.hasMatch()) {
            const QDate d(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (d.isValid())
                return shortDate(d);
        }
    } else if (isTime) {
        static const QRegularExpression re(
            QStringLiteral("^\\s*(?:\\d{4}[-/.]\\d{1,2}[-/.]\\d{1,2}\\s+)?(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?\\s*$"));
        const auto m = re.match(text);
        if (m.hasMatch()) {
            const QTime t(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
            if (t.isValid())
                return longTime(t);
        }
    }
    return text;
}

bool convertAccess(TableReader& reader, const QString& target, MoveInCounts* counts,
                   QString* error, const Progress& progress)
{
    step("convert-start");
    const QStringList tables = requiredTables();
    const QStringList present = reader.tableNames();
    QStringList source;  // the file's own spelling of each table
    QList<QStringList> columns;
    qint64 totalRows = 0;
    for (const QString& t : tables) {
        const int at = indexOfName(present, t);
        if (at < 0) {
            setError(error, QStringLiteral("文件中没有“") + t + QStringLiteral("”表，不是来电显示软件的数据库。"));
            return false;
        }
        source << present[at];
        columns << reader.columnNames(present[at]);
        totalRows += qMax<qint64>(0, reader.rowCount(present[at]));
    }
    auto extras = [&](const QString& table) { return columns[tables.indexOf(table)]; };
    if (!createDatabase(target, error, extras))
        return false;

    auto fail = [&](const QString& why) {
        removeDatabaseFile(target);
        setError(error, why);
        return false;
    };
    MoveInCounts moved;
    {
        Db db;
        QString why;
        if (!db.open(target, SQLITE_OPEN_READWRITE, &why) ||
            !db.exec(QStringLiteral("pragma synchronous = off"), &why) ||
            !db.exec(QStringLiteral("begin"), &why))
            return fail(QStringLiteral("无法写入“") + shown(target) + QStringLiteral("”：") + why);
        qint64 done = 0;
        int lastPercent = -1;
        bool stopped = false;
        for (int t = 0; t < tables.size(); ++t) {
            const QStringList& cols = columns[t];
            QStringList names;
            for (const QString& c : cols)
                names << quotedIdentifier(c);
            const QStringList marks(cols.size(), QStringLiteral("?"));
            const QString sql = QStringLiteral("insert into ") + quotedIdentifier(tables[t]) +
                                QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                                QStringLiteral(") values (") + marks.join(QStringLiteral(", ")) +
                                QLatin1Char(')');
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db.handle(), sql.toUtf8().constData(), -1, &st, nullptr) !=
                SQLITE_OK)
                return fail(QStringLiteral("无法写入“") + tables[t] + QStringLiteral("”：") + db.lastError());
            const int idColumn = indexOfName(cols, QStringLiteral("ID"));
            qint64 rows = 0;
            QString rowError;
            const bool read = reader.readRows(source[t], [&](const QVariantList& row) {
                if ((rows & 255) == 0 && stopRequested(progress)) {
                    stopped = true;
                    return false;
                }
                sqlite3_reset(st);
                sqlite3_clear_bindings(st);
                for (int c = 0; c < cols.size() && c < row.size(); ++c) {
                    const QVariant& v = row[c];
                    if (c == idColumn) {
                        bool ok = false;
                        const qint64 id = v.toLongLong(&ok);
                        if (!v.isNull() && ok)
                            sqlite3_bind_int64(st, c + 1, id);
                        continue;
                    }
                    const QString text = movedInText(v, cols[c]);
                    if (!text.isNull()) {
                        const QByteArray utf8 = text.toUtf8();
                        sqlite3_bind_text(st, c + 1, utf8.constData(), int(utf8.size()),
                                          SQLITE_TRANSIENT);
                    }
                }
                if (sqlite3_step(st) != SQLITE_DONE) {
                    rowError = db.lastError();
                    return false;
                }
                ++rows;
                ++done;
                if (progress.report && totalRows > 0) {
                    const int p = int(qMin<qint64>(100, 100 * done / totalRows));
                    if (p != lastPercent)
                        progress.report(lastPercent = p);
                }
                return true;
            });
            sqlite3_finalize(st);
            if (stopped)
                return fail(stoppedText());
            if (!rowError.isEmpty())
                return fail(QStringLiteral("“") + tables[t] + QStringLiteral("”第 ") + QString::number(rows + 1) +
                            QStringLiteral(" 行无法转入：") + rowError);
            if (!read)
                return fail(QStringLiteral("读取“") + source[t] + QStringLiteral("”表失败：") + reader.error());
            (t == 0 ? moved.customers : t == 1 ? moved.calls : moved.dictionary) = rows;
        }
        if (!db.exec(QStringLiteral("commit"), &why))
            return fail(QStringLiteral("无法写入“") + shown(target) + QStringLiteral("”：") + why);
    }
    step("convert-written");
    QString why;
    if (!finishScratch(target, &why))
        return fail(why);
    if (counts)
        *counts = moved;
    return true;
}

}  // namespace dbfile
