#pragma once
// The program's application object.  An error that escapes an event handler
// ends only that handler: it is shown by the general error report and the
// event loop goes on.

#include <QApplication>

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// Maps the Windows font names the windows ask for (宋体, 隶书, 黑体) to fonts
// that exist here, falling back to a CJK font that fontconfig knows.
void installFontSubstitutions();

// 宋体, 14 pixels: the standard font of every window.
QFont standardFont();
