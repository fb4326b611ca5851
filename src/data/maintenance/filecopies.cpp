// Compacting, backing up and replacing the database file.

#include "data/maintenance/dbfiles.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include "data/maintenance/filesteps.h"
#include "rules/files/privatefiles.h"
#include "rules/files/scratchfiles.h"

namespace dbfile {

using namespace steps;

namespace {

QString inUseText(const QString& path)
{
    return QStringLiteral("数据库“") + shown(path) + QStringLiteral("”正被其他程序使用，请关闭其他程序后再试。");
}

// A database about to be replaced is brought back into a file of its own:
// a log left beside it is moved into the file and removed, a journal left by
// a crash is rolled back.  Nothing of the old file can then be played into
// the one that takes its place.  Fails when another connection still has
// the database open (it would go on writing into the old file).
bool settle(const QString& path, QString* error)
{
    if (!QFileInfo(path).isFile() || !store().looksLikeDatabase(path))
        return true;
    QString why;
    bool inUse = false;
    if (!store().settle(path, &why, &inUse)) {
        setError(error, inUse ? inUseText(path)
                              : QStringLiteral("无法打开数据库“") + shown(path) + QStringLiteral("”：") + why);
        return false;
    }
    reached("settled");
    for (const QString& side : store().sideFiles(path))
        QFile::remove(side);
    return true;
}

bool sameFile(const QString& a, const QString& b)
{
    struct stat sa, sb;
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The replaced file stays under a second name: a second link to it where
// the file system allows, a copy otherwise.
bool keepOld(const QString& database, const QString& keepAs, QString* error)
{
    const QString temp = scratch::nameFor(keepAs);
    scratch::removeLeftoversOf(keepAs);
    if (::link(nativePath(database).constData(), nativePath(temp).constData()) != 0) {
        if (!QFile::copy(database, temp) || !privatefiles::applyMode(temp, keepAs) || !syncPath(temp, false)) {
            QFile::remove(temp);
            setError(error, QStringLiteral("无法保留原数据库为“") + shown(keepAs) + QStringLiteral("”。"));
            return false;
        }
    }
    for (const QString& side : store().sideFiles(keepAs))
        QFile::remove(side);
    if (!renameInto(temp, keepAs, error)) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

}  // namespace

bool Compact_Mdb(const QString& source, const QString& destination, QString* error, const Progress& progress)
{
    if (QFileInfo::exists(destination)) {
        setError(error, QStringLiteral("“") + shown(destination) + QStringLiteral("”已经存在。"));
        return false;
    }
    if (!QFileInfo(source).isFile()) {
        setError(error, QStringLiteral("找不到数据库文件“") + shown(source) + QStringLiteral("”。"));
        return false;
    }
    QString why;
    bool stopped = false;
    if (!store().compactInto(source, destination, withSteps(progress), &why, &stopped)) {
        removeDatabaseFile(destination);
        setError(error, stopped ? stoppedText()
                                : QStringLiteral("压缩“") + shown(source) + QStringLiteral("”失败：") + why);
        return false;
    }
    reached("compact-written");
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
    reached("compact-start");
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
    reached("compact-checked");
    if (!replaceDatabase(database, scratch, QString(), error, &hold)) {
        removeDatabaseFile(scratch);
        return false;
    }
    reached("compact-renamed");
    return true;
}

bool backupDatabase(const QString& database, const QString& target, QString* error, const Progress& progress)
{
    reached("backup-start");
    if (QFileInfo::exists(target) && sameFile(database, target)) {
        setError(error, QStringLiteral("不能把数据库备份到它自己的文件上，请另选一个文件名。"));
        return false;
    }
    const QString temp = scratch::nameFor(target);
    scratch::removeLeftoversOf(target);
    if (!removeDatabaseFile(temp)) {
        setError(error, QStringLiteral("无法删除“") + shown(temp) + QStringLiteral("”。"));
        return false;
    }
    auto fail = [&](const QString& why) {
        removeDatabaseFile(temp);
        setError(error, why);
        return false;
    };
    QString why;
    bool stopped = false;
    if (!store().copyInto(database, temp, withSteps(progress), &why, &stopped))
        return fail(stopped ? stoppedText() : why);
    reached("backup-written");
    if (!finishScratch(temp, &why))
        return fail(why);
    reached("backup-checked");
    if (!privatefiles::applyMode(temp, target) || !renameInto(temp, target, &why))
        return fail(why.isEmpty() ? QStringLiteral("无法设定“") + shown(temp) + QStringLiteral("”的权限。") : why);
    reached("backup-renamed");
    return true;
}

bool replaceDatabase(const QString& database, const QString& replacement, const QString& keepAs, QString* error,
                     WriteHold* hold)
{
    reached("replace-start");
    if (hold)
        hold->release();
    if (!settle(database, error))
        return false;
    if (!keepAs.isEmpty() && QFileInfo(database).isFile()) {
        if (!keepOld(database, keepAs, error))
            return false;
        reached("replace-kept");
    }
    // The database keeps the mode it had.
    if (QFileInfo(database).isFile() && !privatefiles::applyMode(replacement, database)) {
        setError(error, QStringLiteral("无法设定“") + shown(replacement) + QStringLiteral("”的权限。"));
        return false;
    }
    if (!renameInto(replacement, database, error))
        return false;
    reached("replace-done");
    return true;
}

}  // namespace dbfile
