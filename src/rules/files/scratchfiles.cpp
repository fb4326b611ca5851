#include "rules/files/scratchfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace scratch {

const QString marker = QStringLiteral(".tavrin-tmp");

namespace {

// What SQLite keeps beside a database file while it is written.
const QStringList& journalSuffixes()
{
    static const QStringList s = {QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")};
    return s;
}

// A file name with a journal suffix taken off ("new.MDB-journal" -> "new.MDB").
QString withoutJournal(const QString& name)
{
    for (const QString& s : journalSuffixes())
        if (name.endsWith(s))
            return name.left(name.size() - s.size());
    return name;
}

bool removeFile(const QDir& dir, const QString& name, QStringList* removed)
{
    if (!QFile::remove(dir.filePath(name)))
        return false;
    *removed << dir.filePath(name);
    return true;
}

}  // namespace

QString nameFor(const QString& target) { return target + marker; }

QString templateFor(const QString& target) { return target + marker + QStringLiteral("-XXXXXX"); }

QStringList removeLeftoversOf(const QString& target)
{
    const QFileInfo info(target);
    const QDir dir = info.absoluteDir();
    const QString own = info.fileName() + marker;
    QStringList removed;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (withoutJournal(name) == own || withoutJournal(name).startsWith(own + QLatin1Char('-')))
            removeFile(dir, name, &removed);
    return removed;
}

QStringList removeLeftoversIn(const QString& programFolder)
{
    QStringList removed;
    for (const QString& sub : {QStringLiteral("data"), QStringLiteral("set")}) {
        const QDir dir(QDir(programFolder).filePath(sub));
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QString base = withoutJournal(name);
            const bool ours = base.contains(marker);
            const bool scratchDatabase = sub == QLatin1String("data") &&
                                         (base.compare(QLatin1String("new.MDB"), Qt::CaseInsensitive) == 0 ||
                                          base.compare(QLatin1String("web.mdb.new"), Qt::CaseInsensitive) == 0 ||
                                          base.endsWith(QLatin1String(".tmp"), Qt::CaseInsensitive));
            if (ours || scratchDatabase)
                removeFile(dir, name, &removed);
        }
    }
    return removed;
}

}  // namespace scratch
