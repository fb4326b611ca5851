#pragma once
// Moving the program to another database: trying one before it is chosen
// ("测试连接" and 确定 of the database settings), and the move itself.
// Everything here that reaches a database may take seconds (a server that
// does not answer): callers run it off the window thread.

#include <QString>

#include "rules/settings/databaselocation.h"

class DataModule;

namespace databasechoice {

struct Trial {
    bool ok = false;
    QString text;  // what the operator reads: what is there, or why it failed
};

// Connects and says what the database holds; changes nothing in it.
Trial test(const DatabaseLocation& where);

// Connects and makes the database ready the way the program's open does
// (an empty server database gets the tables); refused when it cannot be
// used.  Safe on any thread.
Trial prepare(const DatabaseLocation& where);

// The file or server a location stands for: the file kind without a file
// is data/web.mdb of the program folder.
DatabaseLocation resolved(const DatabaseLocation& where);

// Moves the data module to `where`: every pending edit of its lists is
// ended first the way a move ends it (a changed record stored), then the
// connection is closed and the location set; the caller reopens the lists.
// False, with nothing changed, when a pending edit cannot be stored (its
// failure was reported).
bool moveTo(DataModule& dm, const DatabaseLocation& where);

}  // namespace databasechoice
