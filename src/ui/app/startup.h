#pragma once
// What happens before the windows: the command line, the program folder
// (chosen and, for an installed program, made on the first start), a word
// to whoever starts the program as root, and one program per folder.

#include <memory>

class QApplication;
class SingleInstance;

struct StartDecision {
    bool goOn = false;  // false: end with exitCode
    int exitCode = 0;
    // The program of this folder; it tells when another start asks for the window.
    std::unique_ptr<SingleInstance> instance;
};

StartDecision prepareStart(QApplication& app);
