#pragma once
// The general error report shown as the program's message box.

class QWidget;

namespace errorbox {

// Installs the message box as the way reports are shown, parented on
// `owner` (normally the main window; the active window when none).
void install(QWidget* owner);

}  // namespace errorbox
