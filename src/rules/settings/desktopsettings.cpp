#include "rules/settings/desktopsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "rules/files/paths.h"
#include "rules/files/privatefiles.h"
#include "rules/files/textfile.h"

namespace {

void saveBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !privatefiles::applyMode(file, path) || file.write(bytes) != bytes.size() ||
        !file.commit())
        throw FileError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

// The program the login looks for before it starts the entry: by its name
// when that name finds this executable on PATH (an installed program; gone
// after apt remove), else by its full path.
QString tryExecValue(const QString& executable)
{
    const QFileInfo exe(executable);
    const QString onPath = QStandardPaths::findExecutable(exe.fileName());
    const bool found = !onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == exe.canonicalFilePath();
    QString value = found ? exe.fileName() : exe.absoluteFilePath();
    return value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
}

}  // namespace

QString desktopSettingsFile() { return programFolder() + QStringLiteral("set/desktop.dat"); }

DesktopSettings readDesktopSettings(const QString& path)
{
    DesktopSettings s;
    for (const auto& [key, value] : readKeyValues(path)) {
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            continue;
        const bool on = value == QLatin1String("1");
        if (key == QLatin1String("tray"))
            s.closeToTray = on;
        else if (key == QLatin1String("raise"))
            s.raiseOnCall = on;
        else if (key == QLatin1String("autostart"))
            s.startWithDesktop = on;
        else if (key == QLatin1String("websearch"))
            s.searchTheWeb = on;
    }
    return s;
}

void writeDesktopSettings(const QString& path, const DesktopSettings& s)
{
    auto line = [](const char* key, bool on) { return QLatin1String(key) + (on ? QStringLiteral("=1") : QStringLiteral("=0")); };
    writeTextLines(path, {line("tray", s.closeToTray), line("raise", s.raiseOnCall),
                          line("autostart", s.startWithDesktop), line("websearch", s.searchTheWeb)});
}

QString autostartEntryPath(const QString& configHome)
{
    return QDir(configHome).filePath(QStringLiteral("autostart/org.tavrin.Tavrin.desktop"));
}

QString desktopExecArgument(const QString& argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QLatin1Char('\\');
        else if (c == QLatin1Char('\\'))
            quoted += QStringLiteral("\\\\\\");  // escaped for the argument, then for the value
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

void setStartWithDesktop(const QString& configHome, bool on, const QString& executable, const QString& folder)
{
    const QString path = autostartEntryPath(configHome);
    if (!on) {
        if (QFile::exists(path) && !QFile::remove(path))
            throw FileError(QStringLiteral("无法删除文件 %1").arg(path));
        return;
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        throw FileError(QStringLiteral("无法写入文件 %1").arg(path));
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Tavrin来电显示\n"
                                         "Comment=来电时自动显示客户资料\nIcon=org.tavrin.Tavrin\nExec=") +
                          desktopExecArgument(executable) + QStringLiteral(" --folder ") +
                          desktopExecArgument(folder) + QStringLiteral("\nTryExec=") + tryExecValue(executable) +
                          QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    saveBytes(path, entry.toUtf8());
}
