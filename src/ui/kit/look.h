#pragma once
// Fonts and window styles shared by the program's windows.

#include <QFont>
#include <QString>

class QWidget;

// The program's name as its windows and messages show it.
inline QString programTitle() { return QStringLiteral("Tavrin来电显示自动查询软件 1.1"); }

QFont pixelFont(const QString& family, int px);
inline QFont songti(int px) { return pixelFont(QStringLiteral("宋体"), px); }

// The secondary windows: a fixed border without minimise or maximise.
inline constexpr Qt::WindowFlags kFixedDialog = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                Qt::WindowCloseButtonHint;

// Centres a window on the screen: (screen - window) / 2, halves to even.
int centredCoordinate(int screen, int window);
void centreOnScreen(QWidget* w);
