#include "rules/lists/savefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "rules/files/privatefiles.h"
#include "rules/files/scratchfiles.h"
#include "rules/files/textfile.h"

void replaceFile(const QString& path, const QByteArray& bytes)
{
    // No flush to the disk is forced: the rename leaves the old or the new
    // file whole, and these files are the operator's settings, not records.
    scratch::removeLeftoversOf(path);
    QTemporaryFile f(scratch::templateFor(path));
    f.setAutoRemove(true);
    const bool ok = f.open() && privatefiles::applyMode(f, path) && f.write(bytes) == bytes.size() && f.flush();
    if (!ok || std::rename(QFile::encodeName(f.fileName()).constData(),
                           QFile::encodeName(path).constData()) != 0)
        throw FileError(QStringLiteral("无法写入文件“%1”：%2")
                            .arg(QDir::toNativeSeparators(path),
                                 ok ? QString::fromLocal8Bit(std::strerror(errno)) : f.errorString()));
    f.setAutoRemove(false);
}

void replaceTextFile(const QString& path, const QStringList& lines)
{
    QString text;
    for (const QString& l : lines)
        text += l + QLatin1String("\r\n");
    replaceFile(path, toGb18030(text));
}
