#pragma once
// What happens before the windows: the command line, the program folder
// (chosen and, for an installed program, made on the first start), a word
// to whoever starts the program as root, and one program per folder.

#include <QString>
#include <QStringList>
#include <memory>

class QApplication;
class SingleInstance;
struct StartOptions;

struct StartDecision {
    bool goOn = false;  // false: end with exitCode
    int exitCode = 0;
    // The program of this folder; it tells when another start asks for the window.
    std::unique_ptr<SingleInstance> instance;
};

// Before the application exists: --help, --version and bad options are
// answered on the terminal (no display needed); -1 means go on.
int answerOptions(int argc, char** argv, const QString& version, StartOptions* options);

// Once the application exists: the folder, root, one program per folder.
StartDecision prepareStart(QApplication& app, const StartOptions& options);

// What the status bar says once the window is open: a program folder other
// users of this computer can read (once for the same finding; it is left as
// it is), a password written into --database's URI.
QStringList startNotes(const QString& folder, const StartOptions& options);
