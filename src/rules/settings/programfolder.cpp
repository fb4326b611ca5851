#include "rules/settings/programfolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "rules/files/privatefiles.h"
#include "rules/statements/servergrants.h"

namespace {

QString withSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// Copies a shipped file into place under a temporary name first, so that a
// half-copied database never stands where the program would open it.
bool copyIfMissing(const QString& from, const QString& to, QString* why)
{
    if (QFileInfo::exists(to))
        return true;
    if (!QFileInfo::exists(from)) {
        *why = QStringLiteral("找不到安装的文件“%1”。").arg(QDir::toNativeSeparators(from));
        return false;
    }
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    QFile source(from);
    if (!source.copy(part)) {
        *why = QStringLiteral("不能写入“%1”：%2").arg(QDir::toNativeSeparators(to), source.errorString());
        QFile::remove(part);
        return false;
    }
    if (!privatefiles::applyMode(part, to) || !QFile::rename(part, to)) {
        *why = QStringLiteral("不能写入“%1”。").arg(QDir::toNativeSeparators(to));
        QFile::remove(part);
        return false;
    }
    return true;
}

}  // namespace

StartOptions readStartOptions(const QStringList& arguments, const QString& version)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tavrin来电显示：来电时自动显示客户资料，管理客户资料和来电记录。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption showVersion = parser.addVersionOption();
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("程序文件夹（数据库、设置和 tel.txt 所在的文件夹）。"),
                                    QStringLiteral("DIR"));
    parser.addOption(folder);
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("这次运行使用的数据库：sqlite（程序文件夹里的本机数据库）或 postgresql://... 形式的服务器连接地址；"
                       "不改动数据库设置。地址里不要写密码（程序运行期间别的用户用 ps 就能看到），"
                       "密码请写在 ~/.pgpass 里，或用 service=名称 指向 ~/.pg_service.conf 中的一节。"),
        QStringLiteral("DB"));
    parser.addOption(database);
    const QCommandLineOption grants(
        QStringLiteral("server-grants"),
        QStringLiteral("列出给一个前台登录用户（ROLE）授权的 SQL 语句，由数据库的所有者用 psql 在本程序的数据库里执行；"
                       "前台可以读写客户数据和来电数据，不能建表、清空、恢复、上传或压缩。"),
        QStringLiteral("ROLE"));
    parser.addOption(grants);
    StartOptions out;
    if (!parser.parse(arguments)) {
        out.finished = true;
        out.exitCode = 2;
        out.output = parser.errorText() + QLatin1Char('\n') + parser.helpText();
        return out;
    }
    if (parser.isSet(help)) {
        out.finished = true;
        out.output = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("tavrin"));
    } else if (parser.isSet(showVersion)) {
        out.finished = true;
        out.output = QStringLiteral("tavrin ") + version + QLatin1Char('\n');
    }
    if (parser.isSet(grants) && !out.finished) {
        QString why;
        out.finished = true;
        out.output = serverGrants(parser.value(grants), &why);
        if (out.output.isEmpty()) {
            out.exitCode = 2;
            out.output = why + QLatin1Char('\n');
        }
    }
    out.folder = parser.value(folder);
    if (parser.isSet(database) && !out.finished) {
        QString why;
        out.database = databaseOption(parser.value(database), &why);
        if (!out.database) {
            out.finished = true;
            out.exitCode = 2;
            out.output = why + QLatin1Char('\n');
        }
    }
    return out;
}

QString chooseProgramFolder(const QString& asked, const QString& executableFolder, const QString& userDataFolder)
{
    if (!asked.isEmpty())
        return withSlash(QDir(asked).absolutePath());
    if (QFileInfo(QDir(executableFolder).filePath(QStringLiteral("data"))).isDir())
        return withSlash(executableFolder);
    return withSlash(userDataFolder);
}

QString sharedDataFolder(const QString& executableFolder)
{
    const QString beside = QDir(executableFolder).absoluteFilePath(QStringLiteral("../share/tavrin"));
    if (QFileInfo(beside).isDir())
        return withSlash(QDir::cleanPath(beside));
    const QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("tavrin"),
                                                 QStandardPaths::LocateDirectory);
    return found.isEmpty() ? QString() : withSlash(found);
}

QString prepareProgramFolder(const QString& folder, const QString& sharedFolder)
{
    QDir dir(folder);
    const QString shown = QDir::toNativeSeparators(dir.absolutePath());
    // A folder that is refused is left as it was: nothing is made in it.
    const bool hasDatabase = QFileInfo::exists(dir.filePath(QStringLiteral("data/web.mdb")));
    if (!hasDatabase && (sharedFolder.isEmpty() || !QFileInfo::exists(sharedFolder + QStringLiteral("web.mdb"))))
        return QStringLiteral("程序文件夹“%1”中没有数据库，也找不到安装的空数据库。").arg(shown);
    QStringList made;  // folders made here, deepest last
    for (const QString& sub : {QString(), QStringLiteral("data"), QStringLiteral("set")}) {
        const QString path = QDir::cleanPath(dir.absoluteFilePath(sub.isEmpty() ? QStringLiteral(".") : sub));
        if (!QFileInfo::exists(path))
            made << path;
    }
    const auto unmake = [&made] {
        for (auto it = made.crbegin(); it != made.crend(); ++it)
            QDir().rmdir(*it);
    };
    // What it makes is the user's alone; what exists keeps its modes (a
    // wider one is told in the status bar, never changed silently).
    if (!privatefiles::makeFolder(dir.filePath(QStringLiteral("data"))) ||
        !privatefiles::makeFolder(dir.filePath(QStringLiteral("set"))))
        return QStringLiteral("不能建立程序文件夹“%1”，请检查文件夹的权限，或用 --folder 指定另一个文件夹。").arg(shown);
    // A folder that exists but cannot be written would fail at the first call.
    const QString probe = dir.filePath(QStringLiteral("data/.write-test"));
    QFile test(probe);
    if (!test.open(QIODevice::WriteOnly)) {
        unmake();
        return QStringLiteral("程序文件夹“%1”不能写入，请检查文件夹的权限，或用 --folder 指定另一个文件夹。").arg(shown);
    }
    test.close();
    test.remove();
    QString why;
    if (!hasDatabase &&
        !copyIfMissing(sharedFolder + QStringLiteral("web.mdb"), dir.filePath(QStringLiteral("data/web.mdb")), &why)) {
        unmake();
        return why.isEmpty() ? QStringLiteral("程序文件夹“%1”中没有数据库，也找不到安装的空数据库。").arg(shown) : why;
    }
    if (!sharedFolder.isEmpty())
        copyIfMissing(sharedFolder + QStringLiteral("tel.txt"), dir.filePath(QStringLiteral("tel.txt")), &why);
    return QString();
}
