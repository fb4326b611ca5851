#pragma once
// Where the program keeps its files: data/web.mdb, set/, tel.txt all live
// next to the executable.

#include <QString>

// The folder of the running executable, always ending with '/'.
QString programFolder();

// Replaces the folder (tests point it at a temporary folder).  An empty
// string returns to the executable's folder.
void setProgramFolder(const QString& folder);
