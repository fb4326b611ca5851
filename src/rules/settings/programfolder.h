#pragma once
// Which folder the program keeps its files in, and making a new one.
//
// A folder that holds data/ beside the executable (the build's program
// folder, or a copied "portable" folder) is used as it stands.  An installed
// program (its executable under /usr/bin) keeps them in the user's own data
// folder instead, made on the first start from the read-only files installed
// under share/tavrin: the empty database, the sample tel.txt.  --folder DIR
// chooses another folder.

#include <QString>
#include <QStringList>
#include <optional>

#include "rules/settings/databaselocation.h"

struct StartOptions {
    QString folder;        // --folder, empty when not given
    // --database: the database of this run instead of set/database.dat.
    std::optional<DatabaseLocation> database;
    bool finished = false;  // --help, --version or a bad option: nothing more to do
    int exitCode = 0;
    QString output;        // what to print when finished
};

// Reads the command line (the program's name first).
StartOptions readStartOptions(const QStringList& arguments, const QString& version);

// The program folder, ending with '/': the one asked for; else the
// executable's folder when it holds data/; else the user's data folder.
QString chooseProgramFolder(const QString& asked, const QString& executableFolder,
                            const QString& userDataFolder);

// Where the read-only files of an installed program lie (share/tavrin beside
// the executable's bin folder, or in the system's data folders); empty when
// none is found.
QString sharedDataFolder(const QString& executableFolder);

// Makes what is missing of a program folder: the folder, data/ with the empty
// database, set/, tel.txt.  Nothing that exists is ever replaced.  The
// answer is empty, or the reason the folder cannot be used, in words for
// the operator.
QString prepareProgramFolder(const QString& folder, const QString& sharedFolder);
