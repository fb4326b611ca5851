#include "maintenance/dbfiles.h"

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

#include "app/statementtext.h"
#include "transfer/tablereader.h"

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

// One SQLite connection of our own, closed when it goes out of scope.
class Db {
public:
    Db() = default;
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    ~Db() { close(); }

    bool open(const QString& path, int flags, QString* error)
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
        sqlite3_busy_timeout(h_, 5000);
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
        if (error)
            *error = msg ? QString::fromUtf8(msg) : lastError();
        sqlite3_free(msg);
        return false;
    }

    // First column of every row of a statement.
    bool column(const QString& sql, QStringList* out, QString* error)
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
                reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            if (error)
                *error = lastError();
            return false;
        }
        return true;
    }

private:
    sqlite3* h_ = nullptr;
};

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + quotedValue(text) + QLatin1Char('\'');
}

QString ident(const QString& name)
{
    QString t = name;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

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
        setError(error, QStringLiteral("无法把“%1”改名为“%2”：%3")
                            .arg(shown(from), shown(to), QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    syncFolderOf(to);
    return true;
}

// Removes a scratch database with whatever journal it has left.
bool removeScratch(const QString& path)
{
    QFile::remove(path + QStringLiteral("-journal"));
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    return !QFileInfo::exists(path) || QFile::remove(path);
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

// Leaves a freshly written scratch database as the program wants its
// database: an ordinary rollback journal, checked, and on disk.
bool finishScratch(const QString& path, QString* error)
{
    {
        Db db;
        QString why;
        if (!db.open(path, SQLITE_OPEN_READWRITE, &why) ||
            !db.exec(QStringLiteral("pragma journal_mode = delete"), &why)) {
            setError(error, QStringLiteral("新生成的数据库文件无法打开：%1").arg(why));
            return false;
        }
    }
    if (!verifyDatabase(path, error))
        return false;
    if (!syncPath(path, false)) {
        setError(error, QStringLiteral("无法把“%1”写入磁盘。").arg(shown(path)));
        return false;
    }
    return true;
}

// A database about to be replaced is brought to rest first: opening it
// rolls back a journal left by a crash, so that no journal can later be
// played into the file that takes its place.
void settle(const QString& path)
{
    if (!hasSqliteHeader(path))
        return;
    Db db;
    if (db.open(path, SQLITE_OPEN_READWRITE, nullptr))
        db.exec(QStringLiteral("select count(*) from sqlite_master"), nullptr);
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

int indexOfName(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString shortDate(const QDate& d) { return d.toString(QStringLiteral("yyyy-M-d")); }
QString longTime(const QTime& t) { return t.toString(QStringLiteral("H:mm:ss")); }

}  // namespace

void setStepHook(std::function<void(const char*)> hook) { stepHook() = std::move(hook); }

QStringList requiredTables()
{
    return {QStringLiteral("客户数据"), QStringLiteral("来电数据"), QStringLiteral("字典")};
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
    return missing.isEmpty() ? Kind::Ours : Kind::NotOurs;
}

bool verifyDatabase(const QString& path, QString* error)
{
    Db db;
    QString why;
    if (!db.open(path, SQLITE_OPEN_READONLY, &why)) {
        setError(error, QStringLiteral("无法打开“%1”：%2").arg(shown(path), why));
        return false;
    }
    // Read through a memory map: the check touches every page once.
    db.exec(QStringLiteral("pragma mmap_size = 2147483648"), nullptr);
    QStringList result;
    if (!db.column(QStringLiteral("pragma integrity_check"), &result, &why)) {
        setError(error, QStringLiteral("“%1”不是可用的数据库文件：%2").arg(shown(path), why));
        return false;
    }
    if (result != QStringList{QStringLiteral("ok")}) {
        setError(error, QStringLiteral("“%1”未通过完整性检查：%2")
                            .arg(shown(path), result.mid(0, 3).join(QLatin1Char(' '))));
        return false;
    }
    QString missing;
    if (!tablesPresent(db, &missing, &why)) {
        setError(error, why);
        return false;
    }
    if (!missing.isEmpty()) {
        setError(error, QStringLiteral("“%1”中没有“%2”表。").arg(shown(path), missing));
        return false;
    }
    return true;
}

bool Compact_Mdb(const QString& source, const QString& destination, QString* error)
{
    if (QFileInfo::exists(destination)) {
        setError(error, QStringLiteral("“%1”已经存在。").arg(shown(destination)));
        return false;
    }
    if (!QFileInfo(source).isFile()) {
        setError(error, QStringLiteral("找不到数据库文件“%1”。").arg(shown(source)));
        return false;
    }
    {
        Db db;
        QString why;
        const bool ok =
            db.open(source, SQLITE_OPEN_READWRITE, &why) &&
            // The copy is flushed once, after its check.
            db.exec(QStringLiteral("pragma synchronous = off"), &why) &&
            db.exec(QStringLiteral("vacuum into %1").arg(quoted(QDir::cleanPath(destination))), &why);
        if (!ok) {
            db.close();
            removeScratch(destination);
            setError(error, QStringLiteral("压缩“%1”失败：%2").arg(shown(source), why));
            return false;
        }
    }
    step("compact-written");
    if (!finishScratch(destination, error)) {
        removeScratch(destination);
        return false;
    }
    return true;
}

bool compactDatabase(const QString& database, const QString& scratch, QString* error)
{
    step("compact-start");
    if (!removeScratch(scratch)) {
        setError(error, QStringLiteral("无法删除上次留下的“%1”。").arg(shown(scratch)));
        return false;
    }
    if (!Compact_Mdb(database, scratch, error))
        return false;
    step("compact-checked");
    settle(database);
    if (!renameInto(scratch, database, error)) {
        removeScratch(scratch);
        return false;
    }
    step("compact-renamed");
    return true;
}

bool backupDatabase(const QString& database, const QString& target, QString* error,
                    const std::function<void(int)>& progress)
{
    step("backup-start");
    if (QFileInfo::exists(target) && sameFile(database, target)) {
        setError(error, QStringLiteral("不能把数据库备份到它自己的文件上，请另选一个文件名。"));
        return false;
    }
    const QString temp = target + QStringLiteral(".tmp");
    if (!removeScratch(temp)) {
        setError(error, QStringLiteral("无法删除“%1”。").arg(shown(temp)));
        return false;
    }
    auto fail = [&](const QString& why) {
        removeScratch(temp);
        setError(error, why);
        return false;
    };
    {
        Db source, copy;
        QString why;
        if (!source.open(database, SQLITE_OPEN_READWRITE, &why))
            return fail(QStringLiteral("无法打开数据库“%1”：%2").arg(shown(database), why));
        if (!copy.open(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why))
            return fail(QStringLiteral("无法创建“%1”：%2").arg(shown(temp), why));
        // The copy is checked and flushed as a whole afterwards.
        copy.exec(QStringLiteral("pragma synchronous = off"), nullptr);
        copy.exec(QStringLiteral("pragma journal_mode = off"), nullptr);
        sqlite3_backup* b = sqlite3_backup_init(copy.handle(), "main", source.handle(), "main");
        if (!b)
            return fail(QStringLiteral("无法复制数据库：%1").arg(copy.lastError()));
        int rc;
        int chunk = 4096;
        int busy = 0;
        do {
            rc = sqlite3_backup_step(b, chunk);
            if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                if (++busy > 100)
                    break;
                sqlite3_sleep(50);
                continue;
            }
            busy = 0;
            const int total = sqlite3_backup_pagecount(b);
            if (progress && total > 0)
                progress(int(100LL * (total - sqlite3_backup_remaining(b)) / total));
        } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE)
            return fail(QStringLiteral("复制数据库失败：%1")
                            .arg(QString::fromUtf8(sqlite3_errstr(rc))));
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
                     QString* error)
{
    step("replace-start");
    settle(database);
    if (!keepAs.isEmpty() && QFileInfo(database).isFile()) {
        // The old file stays under the second name: a second link to it
        // where the file system allows, a copy otherwise.
        const QString temp = keepAs + QStringLiteral(".tmp");
        QFile::remove(temp);
        if (::link(nativePath(database).constData(), nativePath(temp).constData()) != 0) {
            if (!QFile::copy(database, temp) || !syncPath(temp, false)) {
                QFile::remove(temp);
                setError(error, QStringLiteral("无法保留原数据库为“%1”。").arg(shown(keepAs)));
                return false;
            }
        }
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
    removeScratch(path);
    Db db;
    QString why;
    if (!db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &why)) {
        setError(error, QStringLiteral("无法创建“%1”：%2").arg(shown(path), why));
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
            cols << ident(c) + QStringLiteral(" TEXT");
        if (!db.exec(QStringLiteral("create table %1 (%2)").arg(tables[t], cols.join(", ")), &why)) {
            db.close();
            removeScratch(path);
            setError(error, QStringLiteral("无法创建“%1”：%2").arg(shown(path), why));
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
                   QString* error, const std::function<void(int)>& progress)
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
            setError(error, QStringLiteral("文件中没有“%1”表，不是来电显示软件的数据库。").arg(t));
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
        removeScratch(target);
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
            return fail(QStringLiteral("无法写入“%1”：%2").arg(shown(target), why));
        qint64 done = 0;
        int lastPercent = -1;
        for (int t = 0; t < tables.size(); ++t) {
            const QStringList& cols = columns[t];
            QStringList names;
            for (const QString& c : cols)
                names << ident(c);
            QStringList marks(cols.size(), QStringLiteral("?"));
            const QString sql = QStringLiteral("insert into %1 (%2) values (%3)")
                                    .arg(tables[t], names.join(", "), marks.join(", "));
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db.handle(), sql.toUtf8().constData(), -1, &st, nullptr) !=
                SQLITE_OK)
                return fail(QStringLiteral("无法写入“%1”：%2").arg(tables[t], db.lastError()));
            const int idColumn = indexOfName(cols, QStringLiteral("ID"));
            qint64 rows = 0;
            QString rowError;
            const bool read = reader.readRows(source[t], [&](const QVariantList& row) {
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
                if (progress && totalRows > 0) {
                    const int p = int(qMin<qint64>(100, 100 * done / totalRows));
                    if (p != lastPercent)
                        progress(lastPercent = p);
                }
                return true;
            });
            sqlite3_finalize(st);
            if (!rowError.isEmpty())
                return fail(QStringLiteral("“%1”第 %2 行无法转入：%3")
                                .arg(tables[t]).arg(rows + 1).arg(rowError));
            if (!read)
                return fail(QStringLiteral("读取“%1”表失败：%2").arg(source[t], reader.error()));
            (t == 0 ? moved.customers : t == 1 ? moved.calls : moved.dictionary) = rows;
        }
        if (!db.exec(QStringLiteral("commit"), &why))
            return fail(QStringLiteral("无法写入“%1”：%2").arg(shown(target), why));
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
