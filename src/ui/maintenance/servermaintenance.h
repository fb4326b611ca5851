#pragma once
// "压缩数据库", "备份数据库" and "恢复数据库" for a desk on the shared
// server, and "上传本机数据到服务器", which moves a desk's own database onto
// it.  The questions and messages are those of the local versions where
// they fit; the work runs as long work (serverfiles.h, serverupload.h):
//  - compact: VACUUM (ANALYZE) of the program's tables; calls are logged
//    meanwhile as always;
//  - backup: pg_dump's own file of the whole database;
//  - restore: such a file put back in one transaction; calls that come
//    meanwhile are logged once it has ended, and the lists reopen;
//  - upload: the rows of data/web.mdb (or another database of the program)
//    into the empty server database, IDs kept.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include "data/engine/serverrights.h"
#include "ui/maintenance/filerequest.h"

class BackgroundWork;
class DataModule;
struct WorkOutcome;

class ServerMaintenance : public QObject {
    Q_OBJECT
public:
    using AskFile = std::function<QString(const MaintenanceFileRequest&)>;
    ServerMaintenance(DataModule& dm, QWidget* owner, std::function<void()> activate, AskFile askFile,
                      QObject* parent);

    void compact();
    void backUp();
    void restore();
    void upload();

    BackgroundWork* work() const { return work_; }

    // The file filter of the server's backups.
    static QString backupFilter();

signals:
    // A work has ended and its outcome was told.
    void workEnded();

private:
    void start(BackgroundWork* work, std::function<void(const WorkOutcome&)> done);
    void finish(std::function<void()> tell = {});
    // The message for a file that cannot be restored; empty when it can.
    static QString restoreProblem(const QString& file);
    QString askUploadFile();
    void startUpload(const QString& file);
    // True, after telling why, when this login may not take the step.
    bool refused(serverrights::Step step);
    // The lists and everything else loaded again, as at start.
    void reload();

    DataModule& dm_;
    QWidget* owner_;
    std::function<void()> activate_;
    AskFile askFile_;
    QPointer<BackgroundWork> work_;
};
