#pragma once
// One program per program folder.  The first start holds a lock in the
// folder's data/ (whatever TMPDIR, spelling or symbolic link the folder was
// started with) and listens on a local socket in a folder only the user can
// enter; a second start on the same folder (a double click on the menu entry
// while the program runs) asks the first to come to the front and ends,
// without opening the database or the device again.  A lock and a socket
// left by a run that crashed are taken over.

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when a program already runs on this folder; it has been asked to
    // show its window when it answered (answered()).  False when none runs:
    // the folder's lock is then this program's.
    bool askRunningProgram();
    // Whether the running program answered askRunningProgram().
    bool answered() const { return answered_; }
    // The running program's process id, 0 when unknown.
    qint64 runningProcess() const;

    // Becomes the program of this folder (a lock or socket left by a crashed
    // run is taken over); false when another program holds the folder or
    // the socket cannot be made.
    bool listen();

    // The socket's full path: the same for every spelling of one folder, in
    // $XDG_RUNTIME_DIR or else in a 0700 folder of the user's own cache.
    static QString socketName(const QString& folder);
    // The lock held while the program runs on the folder.
    static QString lockName(const QString& folder);

signals:
    // Another start on this folder asked for the window.
    void showRequested();

private:
    bool takeLock();
    bool askOnce();
    void takeConnection();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
    bool answered_ = false;
};
