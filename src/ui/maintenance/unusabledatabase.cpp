// A database file at start that the program cannot use: empty (0 bytes),
// damaged, or not a database of the program.  The file is the user's: it is
// never opened as a database (SQLite would make an empty file a new empty
// database) but renamed aside, and the operator chooses how to go on.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStringList>
#include <QTimer>

#include "data/module/datamodule.h"
#include "data/maintenance/dbfiles.h"
#include "ui/kit/message.h"
#include "ui/maintenance/maintenance.h"

namespace {

QString shown(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

bool unusable(dbfile::Kind kind)
{
    return kind == dbfile::Kind::NotDatabase || kind == dbfile::Kind::NotOurs || kind == dbfile::Kind::TextKeys;
}

// Renames the file and whatever journal or log lies beside it (a log must
// never be played into another file of that name).
bool renameAside(const QString& database, const QString& aside)
{
    if (!QFile::rename(database, aside))
        return false;
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        if (QFile::exists(database + suffix))
            QFile::rename(database + suffix, aside + suffix);
    return true;
}

enum class Choice { Empty, Backup, Neither };

Choice ask(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("数据库不能使用"), text, QMessageBox::NoButton, owner);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setObjectName(QStringLiteral("message"));
    QPushButton* empty = box.addButton(QStringLiteral("新建空数据库"), QMessageBox::AcceptRole);
    QPushButton* backup = box.addButton(QStringLiteral("从备份恢复"), QMessageBox::ActionRole);
    QPushButton* neither = box.addButton(QStringLiteral("暂不打开"), QMessageBox::RejectRole);
    box.setDefaultButton(backup);
    box.setEscapeButton(neither);
    box.exec();
    if (box.clickedButton() == empty)
        return Choice::Empty;
    return box.clickedButton() == backup ? Choice::Backup : Choice::Neither;
}

}  // namespace

bool Maintenance::setAsideUnusableDatabase()
{
    const QString db = databasePath();
    if (dm_.databaseLocation().isServer())
        return true;
    // A file the program has open already is looked at through its own
    // connection: closing a descriptor of another reader would give up the
    // program's locks on it.  Only a file without the tables is let go.
    if (dm_.connection.isConnected()) {
        const QStringList tables = dm_.connection.database().tables();
        bool complete = true;
        for (const QString& t : dbfile::requiredTables())
            complete = complete && tables.contains(t, Qt::CaseInsensitive);
        if (complete)
            return true;
        dm_.connection.close();
    }
    if (!unusable(dbfile::kindOf(db)))
        return true;
    const QString aside =
        db + QStringLiteral(".损坏-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    if (!renameAside(db, aside)) {
        showMessage(QStringLiteral("数据库文件“") + shown(db) +
                    QStringLiteral("”是空的或已损坏，不能使用；也不能把它改名保存。\n请检查data文件夹的权限后再启动本软件。"));
        return false;
    }
    QString text = QStringLiteral("数据库文件“") + shown(db) +
                   QStringLiteral("”是空的或已损坏（不是本软件能用的数据库），不能使用。\n原文件没有删除，已改名保存为“") +
                   shown(aside) + QStringLiteral("”。\n\n请选择：新建一个空数据库开始使用，或从备份恢复数据库。");
    for (;;) {
        const Choice choice = ask(owner_, text);
        if (choice == Choice::Neither)
            return false;
        QString source;
        if (choice == Choice::Backup) {
            FileRequest r;
            r.title = QStringLiteral("请选择一个过去备份的数据库文件");
            r.filter = QStringLiteral("Microsoft Acsess 数据文件(*.mdb)|*.mdb|Access 2007 数据文件(*.accdb)|*.accdb");
            source = askFile(r);
            if (source.isEmpty())
                continue;
            if (const dbfile::Kind kind = dbfile::kindOf(source); !restorableOrTold(source, kind))
                continue;
        }
        // The program starts on an empty database; a chosen backup then
        // takes its place as 恢复数据库 does it, off the window thread.
        QString why;
        if (!dbfile::createDatabase(db, &why)) {
            text = QStringLiteral("不能新建空数据库：") + why + QStringLiteral("\n\n请选择：再试一次，或从备份恢复数据库。");
            continue;
        }
        if (!source.isEmpty())
            QTimer::singleShot(0, this, [this, source] { startRestore(source, dbfile::kindOf(source)); });
        return true;
    }
}
