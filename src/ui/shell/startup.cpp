#include "ui/shell/startup.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStringList>
#include <cstdio>
#include <unistd.h>

#include "rules/settings/databaselocation.h"
#include "rules/files/paths.h"
#include "rules/files/privatefiles.h"
#include "rules/files/textfile.h"
#include "rules/settings/programfolder.h"
#include "rules/files/scratchfiles.h"
#include "ui/desktop/singleinstance.h"

namespace {

void print(FILE* to, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// The browser engine refuses to start as root unless its sandbox is switched
// off; say how to start the program instead of leaving the engine's words.
bool refusedAsRoot()
{
    if (geteuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        return false;
    print(stderr, QStringLiteral("Tavrin来电显示不宜以 root 身份运行：请以普通用户身份启动 tavrin。\n"
                                 "一定要以 root 运行时（例如在测试机上），请用 scripts/start.sh 启动，"
                                 "或先设置环境变量 QTWEBENGINE_DISABLE_SANDBOX=1。\n"));
    return true;
}

}  // namespace

QStringList startNotes(const QString& folder, const StartOptions& options)
{
    QStringList notes;
    if (options.database && options.database->isServer() &&
        uriWithoutPassword(options.database->uri) != options.database->uri)
        notes << QStringLiteral("注意：--database 的地址里写了密码，程序运行期间本机的其他用户用 ps 就能看到；"
                                "请把密码写在 ~/.pgpass 里，或用 service= 指向服务文件。");
    const QString open = privatefiles::openToOthersText(privatefiles::openToOthers(folder));
    const QString told = QDir(folder).filePath(QStringLiteral("set/modes-told.dat"));
    QStringList before;
    try {
        if (QFileInfo::exists(told))
            before = readTextLines(told);
        if (!open.isEmpty() && before.value(0) != open) {
            notes << open;
            writeTextLines(told, {open});
        }
    } catch (const FileError&) {
        if (!open.isEmpty())
            notes << open;  // said every time rather than never
    }
    return notes;
}

int answerOptions(int argc, char** argv, const QString& version, StartOptions* options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    *options = readStartOptions(arguments, version);
    if (!options->finished)
        return -1;
    print(options->exitCode ? stderr : stdout, options->output);
    return options->exitCode;
}

StartDecision prepareStart(QApplication& app, const StartOptions& options)
{
    Q_UNUSED(app);
    StartDecision d;
    if (refusedAsRoot()) {
        d.exitCode = 1;
        return d;
    }
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                               QStringLiteral("/tavrin");
    const QString folder = chooseProgramFolder(options.folder, executableFolder, userFolder);
    const QString problem = prepareProgramFolder(folder, sharedDataFolder(executableFolder));
    if (!problem.isEmpty()) {
        print(stderr, problem + QLatin1Char('\n'));
        QMessageBox::critical(nullptr, QStringLiteral("Tavrin来电显示"), problem);
        d.exitCode = 1;
        return d;
    }
    setProgramFolder(folder);

    d.instance = std::make_unique<SingleInstance>(folder);
    if (d.instance->askRunningProgram()) {
        const QString shown = QDir::toNativeSeparators(folder);
        if (d.instance->answered()) {
            print(stdout, QStringLiteral("Tavrin来电显示已经在运行（程序文件夹 %1），已把它的窗口放到最前面。\n").arg(shown));
            return d;  // exit code 0
        }
        const QString refused = QStringLiteral("Tavrin来电显示已经在这个程序文件夹上运行（进程 ") +
                                QString::number(d.instance->runningProcess()) + QStringLiteral("，程序文件夹 ") + shown +
                                QStringLiteral("），不能再启动一次。");
        print(stderr, refused + QLatin1Char('\n'));
        QMessageBox::warning(nullptr, QStringLiteral("Tavrin来电显示"), refused);
        d.exitCode = 1;
        return d;
    }
    d.instance->listen();
    // The only program on this folder: what interrupted writes of an earlier
    // run left (a compact's new.MDB, a backup's or an export's temporary)
    // goes before anything could take it for a good file.
    scratch::removeLeftoversIn(folder);
    d.goOn = true;
    return d;
}
