#include "data/maintenance/serverfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <algorithm>
#include <csignal>

#include "data/engine/postgresengine.h"
#include "data/maintenance/filesteps.h"
#include "rules/files/privatefiles.h"
#include "rules/files/scratchfiles.h"
#include "rules/statements/statementtext.h"
#include "rules/statements/tablenames.h"

namespace serverfiles {

namespace {

using dbfile::steps::shown;

QString& clientFolder()
{
    static QString folder;
    return folder;
}

// The folders where PostgreSQL installs its programs by version: Debian's
// and the installer's of Windows.
QList<QPair<int, QString>> installedVersions()
{
    QList<QPair<int, QString>> out;
    for (const QString& root : {QStringLiteral("/usr/lib/postgresql"), QStringLiteral("C:/Program Files/PostgreSQL")}) {
        const QDir dir(root);
        for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool number = false;
            const int version = name.section(QLatin1Char('.'), 0, 0).toInt(&number);
            if (number)
                out << qMakePair(version, dir.filePath(name) + QStringLiteral("/bin"));
        }
    }
    return out;
}

QString executableIn(const QString& folder, const QString& name)
{
    const QString found = QStandardPaths::findExecutable(name, {folder});
    return found;
}

// A value in a libpq keyword=value string.
QString conninfoValue(const QString& v)
{
    QString out = v;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// What a client program printed, for the operator: its lines, never the
// password.
QString printed(QByteArray bytes, const QString& password)
{
    QString text = QString::fromLocal8Bit(bytes).trimmed();
    if (!password.isEmpty())
        text.replace(password, QStringLiteral("******"));
    return text;
}

struct Run {
    bool ok = false;
    bool stopped = false;
    QString error;
};

// Asks a client program to end: first as Ctrl+C does (it then cancels the
// statement the server runs for it), then for good.
void endProcess(QProcess& p)
{
#ifdef Q_OS_UNIX
    ::kill(pid_t(p.processId()), SIGINT);
    if (p.waitForFinished(3000))
        return;
#endif
    p.kill();
    p.waitForFinished(3000);
}

// Runs a client program to its end, telling the work how it goes every
// half second; a stop ends it.
Run runClient(const QString& program, const QStringList& arguments, const Reach& reach, const Progress& progress,
              const std::function<QString(qint64 ms)>& state)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!reach.password.isEmpty())
        env.insert(QStringLiteral("PGPASSWORD"), reach.password);
    if (!env.contains(QStringLiteral("PGCONNECT_TIMEOUT")))
        env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("10"));
    if (!env.contains(QStringLiteral("PGAPPNAME")))
        env.insert(QStringLiteral("PGAPPNAME"), QStringLiteral("tavrin"));
    // A lock another desk keeps too long ends the run with a reason
    // instead of keeping the operator waiting without end.
    if (!env.contains(QStringLiteral("PGOPTIONS")))
        env.insert(QStringLiteral("PGOPTIONS"), QStringLiteral("-c lock_timeout=30000"));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, arguments);
    Run r;
    const QString name = QFileInfo(program).completeBaseName();
    if (!p.waitForStarted(30000)) {
        r.error = QStringLiteral("无法运行 ") + shown(program) + QStringLiteral("：") + p.errorString();
        return r;
    }
    QElapsedTimer clock;
    clock.start();
    while (!p.waitForFinished(200)) {
        if (progress.stopRequested && progress.stopRequested()) {
            endProcess(p);
            r.stopped = true;
            r.error = dbfile::steps::stoppedText();
            return r;
        }
        if (progress.text && state)
            progress.text(state(clock.elapsed()));
    }
    const QString said = printed(p.readAllStandardError(), reach.password);
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok)
        r.error = name + QStringLiteral(" 没有成功") +
                  (p.exitStatus() == QProcess::NormalExit ? QStringLiteral("（退出码 ") + QString::number(p.exitCode()) + QStringLiteral("）")
                                                           : QStringLiteral("（异常结束）")) +
                  (said.isEmpty() ? QStringLiteral("。") : QStringLiteral("：\n") + said);
    return r;
}

QString seconds(qint64 ms) { return QString::number(ms / 1000); }

}  // namespace

bool isDumpFile(const QString& path)
{
    // pg_dump's custom format begins with its name.
    QFile f(path);
    return QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly) && f.read(5) == "PGDMP";
}

int serverMajor(const QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("show server_version_num")) || !q.next())
        return 0;
    return q.value(0).toInt() / 10000;
}

void setClientFolder(const QString& folder) { clientFolder() = folder; }

QString clientProgram(const QString& name, int serverMajor, QString* error)
{
    if (!clientFolder().isEmpty())
        if (const QString p = executableIn(clientFolder(), name); !p.isEmpty())
            return p;
    // A client program serves servers of its own version and older ones.
    QList<QPair<int, QString>> versions = installedVersions();
    std::sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [version, folder] : versions)
        if (version == serverMajor)
            if (const QString p = executableIn(folder, name); !p.isEmpty())
                return p;
    for (const auto& [version, folder] : versions)
        if (version >= serverMajor)
            if (const QString p = executableIn(folder, name); !p.isEmpty())
                return p;
    if (const QString p = QStandardPaths::findExecutable(name); !p.isEmpty())
        return p;
    if (error)
        *error = QStringLiteral("找不到 PostgreSQL 的程序 ") + name +
                 QStringLiteral("。请安装与服务器版本相同的 PostgreSQL 客户端（Debian：apt-get install postgresql-client-") +
                 (serverMajor > 0 ? QString::number(serverMajor) : QStringLiteral("15")) + QStringLiteral("）。");
    return {};
}

Reach reachOf(const DatabaseLocation& where)
{
    Reach r;
    r.arguments << QStringLiteral("--no-password");
    QMap<QString, QString> p = PostgresEngine::parameters(where);
    r.password = p.take(QStringLiteral("password"));
    if (!where.uri.isEmpty()) {
        // Every keyword of the URI as it was given, the password left out.
        QStringList pairs;
        for (auto it = p.cbegin(); it != p.cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + conninfoValue(it.value());
        r.arguments << QStringLiteral("--dbname") << pairs.join(QLatin1Char(' '));
        return r;
    }
    if (!where.hosts.isEmpty())
        r.arguments << QStringLiteral("--host") << where.hosts;
    if (where.port > 0)
        r.arguments << QStringLiteral("--port") << QString::number(where.port);
    if (!where.user.isEmpty())
        r.arguments << QStringLiteral("--username") << where.user;
    // A name with "=" in it would be read as a connection string.
    if (!where.database.isEmpty())
        r.arguments << QStringLiteral("--dbname")
                    << (where.database.contains(QLatin1Char('=')) ? QStringLiteral("dbname=") + conninfoValue(where.database)
                                                                  : where.database);
    return r;
}

bool vacuumTables(QSqlDatabase& db, const Progress& progress, QString* error, bool* stopped)
{
    *stopped = false;
    // The three tables and the caller lookup's number index.
    const QStringList names = {tables::customers(), tables::calls(), tables::dictionary(),
                               QStringLiteral("客户号码")};
    QStringList present;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    for (const QString& name : names) {
        q.prepare(QStringLiteral("select pg_has_role(relowner, 'USAGE') from pg_class where oid = to_regclass(?)"));
        q.addBindValue(quotedIdentifier(name));
        if (!q.exec()) {
            *error = q.lastError().text();
            return false;
        }
        if (!q.next())
            continue;
        // Anyone else's VACUUM passes the table over with a mere warning.
        if (!q.value(0).toBool()) {
            *error = QStringLiteral("表“") + name +
                     QStringLiteral("”不属于现在登录服务器的用户，只有它的所有者才能压缩。请用建表的用户登录后再压缩。");
            return false;
        }
        present << name;
    }
    q.finish();
    for (int i = 0; i < present.size(); ++i) {
        if (progress.text)
            progress.text(QStringLiteral("正在压缩服务器数据库：") + present[i] + QStringLiteral("（") + QString::number(i + 1) +
                          QLatin1Char('/') + QString::number(present.size()) + QStringLiteral("），来电照常记录……"));
        if (!q.exec(QStringLiteral("vacuum (analyze) ") + quotedIdentifier(present[i]))) {
            *stopped = progress.stopRequested && progress.stopRequested();
            *error = *stopped ? dbfile::steps::stoppedText() : q.lastError().text();
            return false;
        }
        if (progress.stopRequested && progress.stopRequested()) {
            *stopped = true;
            *error = dbfile::steps::stoppedText();
            return false;
        }
    }
    return true;
}

bool dump(const DatabaseLocation& where, int serverMajor, const QString& target, const Progress& progress,
          QString* error, bool* stopped)
{
    *stopped = false;
    const QString program = clientProgram(QStringLiteral("pg_dump"), serverMajor, error);
    if (program.isEmpty())
        return false;
    const QString dumpFile = scratch::nameFor(target);
    scratch::removeLeftoversOf(target);
    // pg_dump writes into a file that is the user's alone from its first byte.
    if (!privatefiles::createEmpty(dumpFile, error))
        return false;
    const Reach reach = reachOf(where);
    const QStringList arguments =
        QStringList{QStringLiteral("--format=custom"), QStringLiteral("--file"), dumpFile} + reach.arguments;
    const Run r = runClient(program, arguments, reach, progress, [dumpFile](qint64 ms) {
                                return QStringLiteral("正在备份服务器数据库，已写出 ") +
                                       QString::number(QFileInfo(dumpFile).size() / 1048576.0, 'f', 1) +
                                       QStringLiteral(" MB（") + seconds(ms) + QStringLiteral(" 秒）……");
                            });
    QString why = r.error;
    bool ok = r.ok;
    if (ok && !isDumpFile(dumpFile)) {
        ok = false;
        why = QStringLiteral("pg_dump 没有写出备份文件。");
    }
    if (ok && !dbfile::steps::syncPath(dumpFile, false)) {
        ok = false;
        why = QStringLiteral("无法把“") + shown(dumpFile) + QStringLiteral("”写入磁盘。");
    }
    if (ok && !privatefiles::applyMode(dumpFile, target)) {
        ok = false;
        why = QStringLiteral("无法设定“") + shown(dumpFile) + QStringLiteral("”的权限。");
    }
    ok = ok && dbfile::steps::renameInto(dumpFile, target, &why);
    if (!ok) {
        QFile::remove(dumpFile);
        *stopped = r.stopped;
        *error = why;
    }
    return ok;
}

bool restore(const DatabaseLocation& where, int serverMajor, const QString& file, const Progress& progress,
             QString* error, bool* stopped)
{
    *stopped = false;
    if (!isDumpFile(file)) {
        *error = QStringLiteral("“") + shown(file) + QStringLiteral("”不是服务器数据库的备份文件。");
        return false;
    }
    const QString program = clientProgram(QStringLiteral("pg_restore"), serverMajor, error);
    if (program.isEmpty())
        return false;
    const Reach reach = reachOf(where);
    const QStringList arguments = QStringList{QStringLiteral("--single-transaction"), QStringLiteral("--clean"),
                                              QStringLiteral("--if-exists"), QStringLiteral("--no-owner")} +
                                  reach.arguments + QStringList{file};
    const Run r = runClient(program, arguments, reach, progress, [](qint64 ms) {
                                return QStringLiteral("正在恢复服务器数据库（") + seconds(ms) +
                                       QStringLiteral(" 秒），完成前其他电脑看到的仍是原来的数据……");
                            });
    *stopped = r.stopped;
    if (!r.ok)
        *error = r.error;
    return r.ok;
}

}  // namespace serverfiles
