#include "rules/errors/diskfull.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

QString diskFullText()
{
    return QStringLiteral("磁盘已满，文件没有写完（已写的部分已删除，原有的文件没有改动）。"
                          "请删除不需要的文件、腾出磁盘空间后再试。");
}

bool diskFullAt(const QString& path, qint64 room)
{
    // The nearest folder that exists: the file may not be there (yet).
    QFileInfo at(path);
    while (!at.exists() && at.absolutePath() != at.absoluteFilePath())
        at = QFileInfo(at.absolutePath());
    struct statvfs s {};
    if (::statvfs(QFile::encodeName(at.absoluteFilePath()).constData(), &s) != 0)
        return false;
    return qint64(s.f_bavail) * qint64(s.f_frsize) < room;
}

QString withDiskFullSaid(const QString& text)
{
    if (text.contains(QStringLiteral("磁盘已满")))
        return text;
    const QStringList words = {QString::fromLocal8Bit(std::strerror(ENOSPC)), QStringLiteral("No space left on device"),
                               QStringLiteral("database or disk is full"), QStringLiteral("设备上没有空间")};
    for (const QString& w : words)
        if (!w.isEmpty() && text.contains(w, Qt::CaseInsensitive))
            return diskFullText() + QLatin1Char('\n') + text;
    return text;
}
