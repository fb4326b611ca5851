#include "teststandby.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

#include "testpg.h"

namespace testutil {

// As the postgres user when run as root, as the primary is.
bool PrivateStandby::run(const QStringList& command) { return runAsServerUser(command, nullptr, &error_); }

PrivateStandby::PrivateStandby(const PrivatePostgres& primary) : bin_(primary.programs())
{
    if (geteuid() == 0) {
        const passwd* pw = getpwnam("postgres");
        if (!pw || chown(QFile::encodeName(dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = QStringLiteral("no postgres user");
            return;
        }
    }
    const QString data = dir_.filePath(QStringLiteral("data"));
    port_ = freeLoopbackPort();
    if (!run({bin_ + QStringLiteral("pg_basebackup"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
              QStringLiteral("-p"), QString::number(primary.port()), QStringLiteral("-U"), primary.user(),
              QStringLiteral("-D"), data, QStringLiteral("-R"), QStringLiteral("-X"), QStringLiteral("stream"),
              QStringLiteral("-c"), QStringLiteral("fast")}))
        return;
    const QString options = QStringLiteral("-k ") + dir_.path() + QStringLiteral(" -p ") + QString::number(port_) +
                            QStringLiteral(" -c listen_addresses=127.0.0.1 -c fsync=off");
    running_ = run({bin_ + QStringLiteral("pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-w"),
                    QStringLiteral("-o"), options, QStringLiteral("-l"), dir_.filePath(QStringLiteral("server.log")),
                    QStringLiteral("start")});
}

PrivateStandby::~PrivateStandby()
{
    if (!running_)
        return;
    holdReceiving(false);
    run({bin_ + QStringLiteral("pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
         QStringLiteral("-w"), QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
}

bool PrivateStandby::promote()
{
    return run({bin_ + QStringLiteral("pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                QStringLiteral("-w"), QStringLiteral("promote")});
}

// A process the standby's postmaster started, by the title it shows.
pid_t PrivateStandby::childNamed(const char* name) const
{
    QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray postmaster = pidFile.readLine().trimmed();
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() > 1 && rest[1] == postmaster && cmdline.readAll().contains(name))
            return pid_t(entry.toLong());
    }
    return 0;
}

bool PrivateStandby::holdReceiving(bool hold)
{
    const pid_t receiver = childNamed("walreceiver");
    return receiver > 0 && ::kill(receiver, hold ? SIGSTOP : SIGCONT) == 0;
}

QString bothServersUri(const PrivatePostgres& primary, const PrivateStandby& standby, const QString& database)
{
    return QStringLiteral("postgresql://") + primary.user() + QStringLiteral("@127.0.0.1:") +
           QString::number(primary.port()) + QStringLiteral(",127.0.0.1:") + QString::number(standby.port()) +
           QLatin1Char('/') + database + QStringLiteral("?target_session_attrs=read-write");
}

}  // namespace testutil
