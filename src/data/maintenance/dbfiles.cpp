#include "data/maintenance/dbfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <future>
#include <unistd.h>

#include "rules/files/livefiles.h"
#include "data/maintenance/filesteps.h"
#include "rules/statements/tablenames.h"

namespace dbfile {

using namespace steps;

namespace {

bool verified(const QString& path, QString* error, bool copy);

std::function<void(const char*)>& stepHook()
{
    static std::function<void(const char*)> hook;
    return hook;
}

// The first of the three tables the file lacks, or "" when it has them all.
bool tablesPresent(const QString& path, QString* missing, QString* error)
{
    QStringList names;
    if (!store().tablesOf(path, &names, error))
        return false;
    missing->clear();
    for (const QString& t : requiredTables())
        if (indexOfName(names, t) < 0) {
            *missing = t;
            break;
        }
    return true;
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

}  // namespace

// --- what the operations share --------------------------------------------------

namespace steps {

const FileStore& store() { return FileStore::standard(); }

void reached(const char* name)
{
    if (stepHook())
        stepHook()(name);
}

FileProgress withSteps(const FileProgress& progress)
{
    FileProgress p = progress;
    p.step = [](const char* name) { reached(name); };
    return p;
}

QByteArray nativePath(const QString& path) { return QFile::encodeName(QDir::cleanPath(path)); }

QString shown(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString stoppedText() { return QStringLiteral("已停止。"); }

int indexOfName(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
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

bool renameInto(const QString& from, const QString& to, QString* error)
{
    if (::rename(nativePath(from).constData(), nativePath(to).constData()) != 0) {
        setError(error, QStringLiteral("无法把“") + shown(from) + QStringLiteral("”改名为“") + shown(to) +
                            QStringLiteral("”：") + QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    syncPath(QFileInfo(to).absolutePath(), true);
    return true;
}

bool finishScratch(const QString& path, QString* error)
{
    if (!store().detachSideFiles(path, error))
        return false;
    // The copy's pages are checked (its index entries come from its source:
    // they are not compared with its rows) while the disk takes the file.
    std::future<bool> synced = std::async(std::launch::async, [path] { return syncPath(path, false); });
    const bool sound = verified(path, error, true);
    const bool onDisk = synced.get();
    if (!sound)
        return false;
    if (!onDisk) {
        setError(error, QStringLiteral("无法把“") + shown(path) + QStringLiteral("”写入磁盘。"));
        return false;
    }
    return true;
}

}  // namespace steps

// --- looking at a file ------------------------------------------------------------

void setStepHook(std::function<void(const char*)> hook) { stepHook() = std::move(hook); }

QStringList requiredTables()
{
    return {tables::customers(), tables::calls(), tables::dictionary()};
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
    // The program's own open database is no Access file, and a descriptor
    // of it opened here would drop its locks when closed.
    if (livefiles::isLive(path))
        return false;
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
    if (!store().looksLikeDatabase(path))
        return Kind::NotDatabase;
    QString missing;
    if (!tablesPresent(path, &missing, nullptr))
        return Kind::NotDatabase;
    if (!missing.isEmpty())
        return Kind::NotOurs;
    if (!missingColumns(path).isEmpty())
        return Kind::Incomplete;
    return tablesWithoutIntegerKey(path).isEmpty() ? Kind::Ours : Kind::TextKeys;
}

QStringList tablesWithoutIntegerKey(const QString& path)
{
    QStringList out;
    for (const QString& table : requiredTables().mid(0, 2))
        if (!store().hasIntegerKey(path, table))
            out << table;
    return out;
}

MissingColumns missingColumns(const QString& path)
{
    MissingColumns out;
    if (!QFileInfo(path).isFile())
        return out;
    for (const QString& table : requiredTables()) {
        const QStringList present = store().columnsOf(path, table);
        QStringList lacking;
        for (const QString& c : requiredColumns(table))
            if (indexOfName(present, c) < 0)
                lacking << c;
        if (!lacking.isEmpty())
            out.append({table, lacking});
    }
    return out;
}

namespace {

// The check of verifyDatabase(), in full or (for a copy just written) of
// the pages alone.
bool verified(const QString& path, QString* error, bool copy)
{
    QString why;
    QStringList problems;
    switch (copy ? store().checkCopy(path, &problems, &why) : store().checkIntegrity(path, &problems, &why)) {
    case FileStore::Integrity::Unopened:
        setError(error, QStringLiteral("无法打开“") + shown(path) + QStringLiteral("”：") + why);
        return false;
    case FileStore::Integrity::Unreadable:
        setError(error, QStringLiteral("“") + shown(path) + QStringLiteral("”不是可用的数据库文件：") + why);
        return false;
    case FileStore::Integrity::Damaged:
        setError(error, QStringLiteral("“") + shown(path) + QStringLiteral("”未通过完整性检查：") +
                            problems.mid(0, 3).join(QLatin1Char(' ')));
        return false;
    case FileStore::Integrity::Sound:
        break;
    }
    QString missing;
    if (!tablesPresent(path, &missing, &why)) {
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

}  // namespace

bool verifyDatabase(const QString& path, QString* error) { return verified(path, error, false); }

// --- holding, removing and creating a file -------------------------------------------

bool WriteHold::take(const QString& database, QString* error)
{
    release();
    QString why;
    hold_ = store().holdWrites(database, &why);
    if (!hold_)
        setError(error, QStringLiteral("无法锁定数据库“") + shown(database) + QStringLiteral("”：") + why);
    return hold_ != nullptr;
}

bool removeDatabaseFile(const QString& path)
{
    store().forgetCopy(path);
    for (const QString& side : store().sideFiles(path))
        QFile::remove(side);
    return !QFileInfo::exists(path) || QFile::remove(path);
}

bool createDatabase(const QString& path, QString* error,
                    const std::function<QStringList(const QString&)>& extraColumns)
{
    removeDatabaseFile(path);
    QList<QPair<QString, QStringList>> tables;
    const QStringList names = requiredTables();
    for (int t = 0; t < names.size(); ++t) {
        QStringList columns = standardColumns(t);
        if (extraColumns)
            for (const QString& extra : extraColumns(names[t]))
                if (indexOfName(columns, extra) < 0 && extra.compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0)
                    columns << extra;
        tables.append({names[t], columns});
    }
    QString why;
    if (!store().createTables(path, tables, &why)) {
        removeDatabaseFile(path);
        setError(error, QStringLiteral("无法创建“") + shown(path) + QStringLiteral("”：") + why);
        return false;
    }
    return true;
}

}  // namespace dbfile
