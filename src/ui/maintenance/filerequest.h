#pragma once
// What the maintenance asks of a file dialog; tests put their own answer in.

#include <QString>

struct MaintenanceFileRequest {
    bool save = false;
    QString title;
    QString filter;  // "name|pattern" pairs joined by "|"
    QString defaultSuffix;
    QString selected;  // the file an open dialog proposes
};
