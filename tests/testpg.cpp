#include "testpg.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "data/module/datamodule.h"
#include "data/lists/reopen.h"
#include "rules/statements/statementtext.h"

namespace testutil {

namespace {
// The server's programs of the installed version.
QString serverBin()
{
    for (const char* v : {"15", "16", "17", "14"}) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(QLatin1String(v));
        if (QFileInfo::exists(bin + QStringLiteral("initdb")))
            return bin;
    }
    return {};
}

}  // namespace

// A port of 127.0.0.1 nobody listens on now.
int freeLoopbackPort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 5432;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0)
        close(s);
    return port;
}

bool runAsServerUser(const QStringList& command, QString* output, QString* error)
{
    QStringList args = command;
    QString program = args.takeFirst();
    if (geteuid() == 0) {
        args = QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program} + args;
        program = QStringLiteral("runuser");
    }
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QString out = QString::fromLocal8Bit(p.readAll());
    if (output)
        *output = out;
    if (!ok && error)
        *error = command.join(QLatin1Char(' ')) + QStringLiteral(": ") + out + p.errorString();
    return ok;
}

bool PrivatePostgres::run(const QStringList& command, QString* output)
{
    return runAsServerUser(command, output, &error_);
}

PrivatePostgres::PrivatePostgres()
{
    bin_ = serverBin();
    if (bin_.isEmpty()) {
        error_ = QStringLiteral("PostgreSQL's server programs are not installed (postgresql-15)");
        return;
    }
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("postgres");
        if (!pw || chown(QFile::encodeName(dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = QStringLiteral("no postgres user to run the server as");
            return;
        }
    }
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (!run({bin_ + QStringLiteral("initdb"), QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
              QStringLiteral("-U"), user(), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C.UTF-8")}))
        return;
    port_ = freeLoopbackPort();
    start();
}

PrivatePostgres::~PrivatePostgres()
{
    if (running_) {
        signalAll(SIGCONT);  // a test that paused it and failed
        control("stop");
    }
}

bool PrivatePostgres::control(const char* action)
{
    QString options = QStringLiteral("-k ") + dir_.path() + QStringLiteral(" -p ") + QString::number(port()) +
                            QStringLiteral(" -c listen_addresses=127.0.0.1 -c fsync=off");
    for (const QString& s : settings_)
        options += QStringLiteral(" -c ") + s;
    QStringList command{bin_ + QStringLiteral("pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                        QStringLiteral("-w")};
    if (qstrcmp(action, "start") == 0)
        command << QStringLiteral("-o") << options << QStringLiteral("-l") << dir_.filePath(QStringLiteral("server.log"));
    else
        command << QStringLiteral("-m") << QStringLiteral("immediate");
    command << QLatin1String(action);
    return run(command);
}

bool PrivatePostgres::start()
{
    if (!running_ && control("start"))
        running_ = true;
    return running_;
}

bool PrivatePostgres::stop()
{
    if (running_ && control("stop"))
        running_ = false;
    return !running_;
}

bool PrivatePostgres::createDatabase(const QString& name)
{
    if (!running_)
        return false;
    const QString connection = QStringLiteral("testpg-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(host());
        db.setPort(port());
        db.setUserName(user());
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            error_ = db.lastError().text();
        } else {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("create database ") + quotedIdentifier(name));
            if (!ok)
                error_ = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

QString PrivatePostgres::tcpUri(const QString& database) const
{
    return QStringLiteral("postgresql://") + user() + QStringLiteral("@127.0.0.1:") + QString::number(port()) +
           QLatin1Char('/') + database;
}

QString PrivatePostgres::uri(const QString& database) const
{
    return QStringLiteral("postgresql://") + user() + QStringLiteral("@/") + database + QStringLiteral("?host=") +
           QString::fromLatin1(QUrl::toPercentEncoding(host())) + QStringLiteral("&port=") + QString::number(port());
}

std::unique_ptr<DataModule> openDesk(const DatabaseLocation& where, const std::function<void(DataModule&)>& before)
{
    auto dm = std::make_unique<DataModule>();
    if (before)
        before(*dm);
    dm->setDatabaseLocation(where);
    dm->customerTable.reopen(wholeList(QStringLiteral("客户数据")));
    dm->callTable.reopen(wholeList(QStringLiteral("来电数据")));
    return dm;
}

bool PrivatePostgres::pause() { return signalAll(SIGSTOP); }

bool PrivatePostgres::resume() { return signalAll(SIGCONT); }

// The whole server at once, as a machine that fails takes it: a backend
// left without its postmaster would still commit a statement under way.
bool PrivatePostgres::crash()
{
    running_ = false;
    return signalAll(SIGKILL);
}

// The postmaster (first line of its pid file) and every process it started.
bool PrivatePostgres::signalAll(int signal)
{
    QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        error_ = QStringLiteral("no postmaster.pid");
        return false;
    }
    const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toLong());
    QList<pid_t> pids{postmaster};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLong(&number));
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && pid_t(rest[1].toLong()) == postmaster)
            pids << pid;
    }
    // A process that ended meanwhile (a backend done) needs no signal.
    for (pid_t pid : pids)
        if (::kill(pid, signal) != 0 && errno != ESRCH) {
            error_ = QStringLiteral("kill failed");
            return false;
        }
    return true;
}

}  // namespace testutil
