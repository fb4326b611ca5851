#pragma once
// The desktop entries of menu 设置: "来电时窗口置顶", "关闭到托盘",
// "开机自动启动" and "来电时自动网页搜索", checkable, kept in
// set/desktop.dat and in force as soon as they are chosen.

#include <QObject>
#include <QString>

#include "rules/settings/desktopsettings.h"

class QAction;
class QMenu;

class DesktopSettingsMenu : public QObject {
    Q_OBJECT
public:
    // Puts the entries into `menu` before `before` (at the end when null),
    // checked as the settings in `file` say.
    DesktopSettingsMenu(QMenu* menu, QAction* before, const QString& file, QObject* parent);

    const DesktopSettings& settings() const { return settings_; }

    // Where the autostart entry goes (XDG_CONFIG_HOME, usually ~/.config).
    static QString configHome();

signals:
    // A setting was chosen and stored.
    void changed(const DesktopSettings& settings);

private:
    QAction* addEntry(QMenu* menu, QAction* before, const char* name, const QString& caption, bool on);
    // Stores the chosen settings; false (with the reason reported) when
    // they cannot be stored, and the entries then show what is in force.
    bool store(const DesktopSettings& chosen);
    void showChecks();

    QString file_;
    DesktopSettings settings_;
    QAction* raise_;
    QAction* tray_;
    QAction* autostart_;
    QAction* search_;
};
