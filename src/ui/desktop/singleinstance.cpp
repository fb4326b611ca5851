#include "ui/desktop/singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include "rules/files/privatefiles.h"

namespace {
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
constexpr int kWaitMs = 1000;
// A program that holds the lock but is still making its socket gets this
// long to answer.
constexpr int kStartingMs = 3000;

QString canonicalFolder(const QString& folder)
{
    QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QDir(folder).absolutePath());
    return canonical;
}

// A folder only this user can enter: owned by the user, no rights for the
// group or others.
bool ownPrivateFolder(const QString& path)
{
    struct stat st;
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

QString socketFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (ownPrivateFolder(runtime))
        return runtime;
    // Not TMPDIR, which differs from one start to the next and is shared.
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                        QStringLiteral("/tavrin-run");
    privatefiles::makeFolder(own);
    struct stat st;
    if (::lstat(QFile::encodeName(own).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
        ::chmod(QFile::encodeName(own).constData(), privatefiles::kFolderMode);
    return own;
}
}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), name_(socketName(folder)), lock_(std::make_unique<QLockFile>(lockName(folder)))
{
    // Only a process that is gone leaves the lock stale, however long the
    // program has run.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();
}

QString SingleInstance::socketName(const QString& folder)
{
    const QByteArray hash =
        QCryptographicHash::hash(canonicalFolder(folder).toUtf8(), QCryptographicHash::Sha1).toHex();
    return socketFolder() + QStringLiteral("/tavrin-") + QString::fromLatin1(hash.left(20));
}

QString SingleInstance::lockName(const QString& folder)
{
    return canonicalFolder(folder) + QStringLiteral("/data/tavrin.lock");
}

bool SingleInstance::takeLock()
{
    if (lock_->isLocked())
        return true;
    privatefiles::makeFolder(QFileInfo(lock_->fileName()).path());
    if (!lock_->tryLock(0))
        return false;
    QFile::setPermissions(lock_->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

qint64 SingleInstance::runningProcess() const
{
    qint64 pid = 0;
    QString host, application;
    return lock_->getLockInfo(&pid, &host, &application) ? pid : 0;
}

bool SingleInstance::askOnce()
{
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kWaitMs))
        return false;
    socket.write(kShowRequest);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::askRunningProgram()
{
    answered_ = false;
    if (takeLock())
        return false;
    // Held by a live program: it may still be on its way to its socket.
    const QDeadlineTimer deadline(kStartingMs);
    while (!(answered_ = askOnce()) && !deadline.hasExpired())
        QThread::msleep(50);
    return true;
}

bool SingleInstance::listen()
{
    if (!takeLock())
        return false;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // The lock is ours, so a socket of that name was left behind by a
        // run that ended without closing it.
        QLocalServer::removeServer(name_);
        if (!server_->listen(name_))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::takeConnection);
    return true;
}

void SingleInstance::takeConnection()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(kShowRequest))
                emit showRequested();
        });
    }
}
