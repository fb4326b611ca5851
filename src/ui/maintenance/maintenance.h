#pragma once
// Looking after the database from the menus: "压缩数据库", "备份数据库",
// "恢复数据库", "清空客户数据", "清空来电数据", and the moving-in of an old
// Access database found at data/web.mdb when the program starts.
//
// Each of them asks its questions first and then runs as long work (see
// backgroundwork.h): the window keeps painting and taking calls, and its
// progress window offers "停止".  Compact, restore and clearing hold the
// database's writes while they run: a call that comes meanwhile is
// announced at once and logged as soon as the work has ended, into the
// database as it then is.  What the work has to say comes after that.

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "data/engine/serverrights.h"
#include "ui/maintenance/filerequest.h"

class BackgroundWork;
class DataSet;
class ServerMaintenance;
class DataModule;
class TableReader;
namespace dbfile {
enum class Kind;
}
struct WorkOutcome;

class Maintenance : public QObject {
    Q_OBJECT
public:
    // `activate` runs the main window's whole activation step (after a
    // restore).
    Maintenance(DataModule& dm, QWidget* owner, std::function<void()> activate);

    // The file dialogs; tests put their own answer in.  An empty name means
    // the operator cancelled.
    using FileRequest = MaintenanceFileRequest;
    using FileDialog = std::function<QString(const FileRequest&)>;
    void setFileDialog(FileDialog dialog) { fileDialog_ = std::move(dialog); }

    // How Access files are opened (openTableReader() unless tests say else).
    // Called on the work's thread.
    using ReaderOpener =
        std::function<std::unique_ptr<TableReader>(const QString& path, QString* error)>;
    void setReaderOpener(ReaderOpener opener) { openReader_ = std::move(opener); }

    // Where a note for the message panel of the status bar goes.
    void setStatusText(std::function<void(const QString&)> say) { say_ = std::move(say); }

    // The handlers of the menu entries.
    void compact();   // 压缩数据库
    void backUp();  // 备份数据库
    void restore();  // 恢复数据库
    void clearCustomers();  // 清空客户数据
    void clearCalls();  // 清空来电数据
    // 上传本机数据到服务器: a desk's own database moved onto the server it
    // now uses (servermaintenance.h).  On a server the three above run
    // there too.
    void upload();

    // An old Access database found at data/web.mdb is converted into one of
    // this program (the original stays as data/web.mdb.jet), and `then`
    // runs once it is in place.  True when there is nothing to convert; false
    // when the conversion was started or could not be.
    bool moveInOldDatabase(std::function<void()> then);

    // A database file at data/web.mdb that is empty, damaged or not one of
    // the program's is renamed aside (kept), and the operator chooses to
    // start with an empty database or to restore a backup.  True when the
    // activation may go on; false when the operator chose neither.
    bool setAsideUnusableDatabase();

    static QString databasePath();  // program folder + data/web.mdb

    // Before a table is cleared the database is copied into data/ under a
    // name with the date and time; the newest ones are kept.
    static constexpr int kClearingBackupsKept = 3;
    static QString clearingBackupName(const QDateTime& when);  // without a folder
    static QStringList clearingBackups();                      // oldest first, full paths

    // The maintenance work under way, if any.
    BackgroundWork* work() const;

signals:
    // A maintenance work has ended and its outcome was told.
    void workEnded();

private:
    QString askFile(const FileRequest& request);
    void clearTable(DataSet& ds, serverrights::Step step, const QString& what, const QString& message,
                    const QString& statement);
    void start(BackgroundWork* work, std::function<void(const WorkOutcome&)> done);
    // Runs after the work's end has been dealt with and the calls held
    // meanwhile are logged.
    void finish(std::function<void()> tell = {});
    void say(const QString& text);
    // False, after telling the operator why, when the file cannot replace
    // the database.
    bool restorableOrTold(const QString& source, dbfile::Kind kind);
    void startRestore(const QString& source, dbfile::Kind kind);

    DataModule& dm_;
    QWidget* owner_;
    std::function<void()> activate_;
    FileDialog fileDialog_;
    ReaderOpener openReader_;
    std::function<void(const QString&)> say_;
    QPointer<BackgroundWork> work_;
    ServerMaintenance* server_;
};
