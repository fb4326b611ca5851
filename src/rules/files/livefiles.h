#pragma once
// The files the program's own SQLite connections have open (the database,
// the call journal).  On this system the locks SQLite holds on a file belong
// to the process: closing any other descriptor of the same file, even one
// opened only to read a few bytes, drops them, and another program may then
// take the file from under the connection.  Nothing but those connections
// may open a live file: readers ask here first, by the file's identity
// (device and inode), which opens nothing.

#include <QString>

namespace livefiles {

// A connection marks its file when it opens it and lets it go when it no
// longer holds it; a file marked by two connections stays live until both
// have let it go.
void mark(const QString& path);
void release(const QString& path);
// Whether `path` names one of the live files (also through a link or
// another spelling).
bool isLive(const QString& path);

// Said when a live file is chosen to be read.
QString refusedText(const QString& path);

}  // namespace livefiles
