#pragma once
// How the program lives on the desktop, kept in set/desktop.dat (GBK with
// CR LF like the other set files, one key=value a line):
//     tray=0|1        closing the window hides it in the tray
//     raise=0|1       every call raises and activates the window (来电时窗口置顶)
//     autostart=0|1   started with the desktop session (开机自动启动)
//     websearch=0|1   every call searches the number on the web (来电时自动网页搜索)

#include <QString>

struct DesktopSettings {
    bool closeToTray = false;
    bool raiseOnCall = false;
    bool startWithDesktop = false;
    bool searchTheWeb = true;

    bool operator==(const DesktopSettings&) const = default;
};

// set/desktop.dat in the program folder.
QString desktopSettingsFile();

// The settings in the file; what the file lacks keeps its default.
DesktopSettings readDesktopSettings(const QString& path);

// Writes them (to a temporary file renamed into place).  Throws FileError
// when the file cannot be written.
void writeDesktopSettings(const QString& path, const DesktopSettings& settings);

// The user's autostart entry for this program (XDG autostart, under
// `configHome`, usually ~/.config): written when `on`, removed when not.
// It starts `executable` on `folder`.  Throws FileError when it cannot be
// written or removed.
void setStartWithDesktop(const QString& configHome, bool on, const QString& executable, const QString& folder);
QString autostartEntryPath(const QString& configHome);

// One argument of a desktop entry's Exec key: in double quotes, with ", `,
// $ and \ escaped, then escaped again for the key's value.
QString desktopExecArgument(const QString& argument);
