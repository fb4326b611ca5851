#pragma once
// The office's customers and calls are the user's own: the folders the
// program makes are 0700 and the files it writes 0600, the database, the
// settings, backups and exports alike.  A file the program replaces keeps
// the mode it had (the user may have widened it on purpose); the program
// never widens a mode by itself, and never narrows one the user chose.

#include <QString>
#include <QStringList>
#include <sys/types.h>

class QFileDevice;

namespace privatefiles {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

// Makes the folder and those above it that are missing, each one it makes
// 0700; folders that exist keep their modes.  False when one cannot be made.
bool makeFolder(const QString& path);

// The mode a file written to path gets: the mode of the file it replaces,
// else 0600.
mode_t modeFor(const QString& path);

// Gives an open file that will become path (a QSaveFile, a temporary file
// renamed into place) its mode before a byte of it is written.
bool applyMode(QFileDevice& file, const QString& path);
// The same for a file named by its path (a copy made by another program).
bool applyMode(const QString& file, const QString& path);

// Makes a new empty file, 0600, for another library to write into (a
// database copy).  False when it exists already or cannot be made.
bool createEmpty(const QString& path, QString* error = nullptr);

// The folder, and data/ and set/ in it with what they hold, that other
// users of this computer may read or enter, each with its mode in octal
// ("data/web.mdb 0644").  Empty when everything is the user's own.
QStringList openToOthers(const QString& programFolder);

// The one line the status bar shows about openToOthers(); empty when the
// list is empty.
QString openToOthersText(const QStringList& open);

}  // namespace privatefiles
