#include "rules/files/livefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <sys/stat.h>

namespace livefiles {

namespace {

QMutex& lock()
{
    static QMutex m;
    return m;
}

// Each marked file with the number of its holders.
QMap<QString, int>& marked()
{
    static QMap<QString, int> paths;
    return paths;
}

QString cleaned(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

bool identity(const QString& path, dev_t* dev, ino_t* ino)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *dev = st.st_dev;
    *ino = st.st_ino;
    return true;
}

}  // namespace

void mark(const QString& path)
{
    QMutexLocker hold(&lock());
    ++marked()[cleaned(path)];
}

void release(const QString& path)
{
    QMutexLocker hold(&lock());
    const auto it = marked().find(cleaned(path));
    if (it != marked().end() && --it.value() <= 0)
        marked().erase(it);
}

bool isLive(const QString& path)
{
    dev_t dev = 0;
    ino_t ino = 0;
    if (!identity(path, &dev, &ino))
        return false;
    QMutexLocker hold(&lock());
    for (const QString& live : marked().keys()) {
        dev_t d = 0;
        ino_t i = 0;
        // Compared as they are now: a database put back by a restore is
        // another file under the same name.
        if (identity(live, &d, &i) && d == dev && i == ino)
            return true;
    }
    return false;
}

QString refusedText(const QString& path)
{
    return QStringLiteral("“") + QDir::toNativeSeparators(path) +
           QStringLiteral("”是本程序正在使用的数据库文件，不能从它读取。请先用“备份数据库”做一份备份，再选择那份备份。");
}

}  // namespace livefiles
