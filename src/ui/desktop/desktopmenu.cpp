#include "ui/desktop/desktopmenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSignalBlocker>
#include <QStandardPaths>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"

DesktopSettingsMenu::DesktopSettingsMenu(QMenu* menu, QAction* before, const QString& file, QObject* parent)
    : QObject(parent), file_(file), settings_(readDesktopSettings(file))
{
    menu->insertSeparator(before);
    raise_ = addEntry(menu, before, "raiseOnCallAction", QStringLiteral("来电时窗口置顶"), settings_.raiseOnCall);
    tray_ = addEntry(menu, before, "closeToTrayAction", QStringLiteral("关闭到托盘"), settings_.closeToTray);
    autostart_ =
        addEntry(menu, before, "startWithDesktopAction", QStringLiteral("开机自动启动"), settings_.startWithDesktop);
    search_ = addEntry(menu, before, "searchTheWebAction", QStringLiteral("来电时自动网页搜索"), settings_.searchTheWeb);

    connect(raise_, &QAction::toggled, this, [this](bool on) {
        DesktopSettings s = settings_;
        s.raiseOnCall = on;
        store(s);
    });
    connect(tray_, &QAction::toggled, this, [this](bool on) {
        DesktopSettings s = settings_;
        s.closeToTray = on;
        store(s);
    });
    connect(autostart_, &QAction::toggled, this, [this](bool on) {
        DesktopSettings s = settings_;
        s.startWithDesktop = on;
        store(s);
    });
    connect(search_, &QAction::toggled, this, [this](bool on) {
        DesktopSettings s = settings_;
        s.searchTheWeb = on;
        store(s);
    });
}

QAction* DesktopSettingsMenu::addEntry(QMenu* menu, QAction* before, const char* name, const QString& caption,
                                       bool on)
{
    auto* a = new QAction(caption, menu);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(true);
    a->setChecked(on);
    menu->insertAction(before, a);
    return a;
}

QString DesktopSettingsMenu::configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

bool DesktopSettingsMenu::store(const DesktopSettings& chosen)
{
    const bool stored = guarded([&] {
        // The autostart entry first: a setting is stored only once it is in force.
        if (chosen.startWithDesktop != settings_.startWithDesktop)
            setStartWithDesktop(configHome(), chosen.startWithDesktop, QCoreApplication::applicationFilePath(),
                                programFolder());
        writeDesktopSettings(file_, chosen);
    });
    if (stored)
        settings_ = chosen;
    showChecks();
    if (stored)
        emit changed(settings_);
    return stored;
}

void DesktopSettingsMenu::showChecks()
{
    const std::pair<QAction*, bool> checks[] = {{raise_, settings_.raiseOnCall},
                                                {tray_, settings_.closeToTray},
                                                {autostart_, settings_.startWithDesktop},
                                                {search_, settings_.searchTheWeb}};
    for (const auto& [action, on] : checks) {
        const QSignalBlocker quiet(action);
        action->setChecked(on);
    }
}
