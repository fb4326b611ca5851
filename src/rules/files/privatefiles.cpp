#include "rules/files/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace privatefiles {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(QDir::cleanPath(path)); }

bool statOf(const QString& path, struct stat* st) { return ::stat(native(path).constData(), st) == 0; }

QString octal(mode_t mode) { return QStringLiteral("0") + QString::number(mode & 0777, 8); }

void noteIfOpen(const QString& path, const QString& shownAs, QStringList* open)
{
    struct stat st;
    if (statOf(path, &st) && (st.st_mode & 077) != 0)
        *open << shownAs + QLatin1Char(' ') + octal(st.st_mode);
}

}  // namespace

bool makeFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeFolder(parent))
        return false;
    if (::mkdir(native(clean).constData(), kFolderMode) != 0 && errno != EEXIST)
        return false;
    // mkdir leaves out what the umask takes away; 0700 is never wider.
    ::chmod(native(clean).constData(), kFolderMode);
    return QFileInfo(clean).isDir();
}

mode_t modeFor(const QString& path)
{
    struct stat st;
    if (statOf(path, &st) && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    return kFileMode;
}

bool applyMode(QFileDevice& file, const QString& path)
{
    const int fd = file.handle();
    return fd >= 0 && ::fchmod(fd, modeFor(path)) == 0;
}

bool applyMode(const QString& file, const QString& path)
{
    return ::chmod(native(file).constData(), modeFor(path)) == 0;
}

bool createEmpty(const QString& path, QString* error)
{
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        if (error)
            *error = QStringLiteral("无法建立文件“") + QDir::toNativeSeparators(path) + QStringLiteral("”：") +
                     QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::fchmod(fd, kFileMode);  // the umask may have taken away the owner's bits
    ::close(fd);
    return true;
}

QStringList openToOthers(const QString& programFolder)
{
    QStringList open;
    const QDir folder(programFolder);
    noteIfOpen(folder.absolutePath(), QDir::toNativeSeparators(folder.absolutePath()), &open);
    for (const QString& sub : {QStringLiteral("data"), QStringLiteral("set")}) {
        const QString path = folder.filePath(sub);
        noteIfOpen(path, sub + QLatin1Char('/'), &open);
        const QStringList names = QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& name : names)
            noteIfOpen(QDir(path).filePath(name), sub + QLatin1Char('/') + name, &open);
    }
    return open;
}

QString openToOthersText(const QStringList& open)
{
    if (open.isEmpty())
        return QString();
    return QStringLiteral("注意：本机的其他用户可以读取程序文件夹里的客户资料（") + open.join(QStringLiteral("，")) +
           QStringLiteral("）。只让自己读写，可用 chmod 700 文件夹、chmod 600 文件。");
}

}  // namespace privatefiles
