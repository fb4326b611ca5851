#pragma once
// The saved customer tree of a benchmark database, as "重生列表" over the
// benchmark tree fields leaves it: set/kehu_TreeView.List and the search
// list set/kehu_Search.List.  Built once per database, kept beside it, and
// copied into the program folder of a run that starts with the tree.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QString>
#include <cstdio>

#include "benchdb.h"
#include "data/lists/treeread.h"
#include "rules/files/textfile.h"
#include "rules/lists/customertree.h"
#include "rules/lists/savefile.h"

namespace bench {

// The saved tree file of `database`, built on first use.
inline QString savedTree(const QString& database)
{
    const QString file = database + QStringLiteral(".kehu_TreeView.List");
    if (QFileInfo(file).lastModified() >= QFileInfo(database).lastModified() && QFileInfo(file).size() > 0)
        return file;
    std::printf("building the saved tree of %s ...\n", qPrintable(database));
    std::fflush(stdout);
    QVector<customertree::Node> nodes;
    {
        // Read only: the database may be another run's too.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("savedtree"));
        db.setDatabaseName(database);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open())
            customertree::readTree(db, treeFields(), {}, {}, &nodes);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("savedtree"));
    replaceTextFile(file, customertree::treeLines(nodes));
    std::printf("  %lld nodes, %.1f MB\n", qint64(nodes.size()), QFileInfo(file).size() / 1048576.0);
    return file;
}

// Puts the saved tree and its search list into the program folder `folder`.
inline void putSavedTree(const QString& database, const QString& folder)
{
    QDir(folder).mkpath(QStringLiteral("set"));
    QFile::remove(folder + QStringLiteral("/set/kehu_TreeView.List"));
    QFile::copy(savedTree(database), folder + QStringLiteral("/set/kehu_TreeView.List"));
    writeTextLines(folder + QStringLiteral("/set/kehu_Search.List"), treeFields());
}

}  // namespace bench
