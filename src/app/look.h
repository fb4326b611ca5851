#pragma once
// Fonts and window styles shared by the program's windows.

#include <QFont>
#include <QString>

class QWidget;

QFont pixelFont(const QString& family, int px);
inline QFont songti(int px) { return pixelFont(QStringLiteral("宋体"), px); }

// The secondary windows: a fixed border without minimise or maximise.
inline constexpr Qt::WindowFlags kFixedDialog = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                                Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                Qt::WindowCloseButtonHint;

// Centres a window on the screen: (screen - window) / 2, halves to even.
int centredCoordinate(int screen, int window);
void centreOnScreen(QWidget* w);
