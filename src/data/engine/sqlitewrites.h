#pragma once
// The pages SQLite writes into a new database file (a copy or a compacted
// file), remembered as it writes them, so that the file can be read back
// afterwards and found to hold exactly those bytes: a check of the copy
// that costs one read of a file still in the page cache, instead of a walk
// through every b-tree.
//
// The connections that write such files open them through writtenPages::vfs(),
// which passes everything to the system's own and keeps a hash of every page
// written to a file being watched.

#include <QString>

struct sqlite3_vfs;

namespace writtenPages {

// The name of the recording file system for sqlite3_open_v2 (registered on
// first use; not the default one).
const char* vfs();

// Remembers from now on what is written to the file at `path` (it must
// exist): what was remembered of it before is dropped.
void watch(const QString& path);

// Forgets what was remembered of the file at `path`, before it is removed
// unchecked.
void forget(const QString& path);

enum class Match {
    Same,     // the file holds what was written, page for page, and no more
    Differs,  // a page differs, or the file is shorter or longer
    Unknown,  // nothing remembered, or writes that were no whole pages
};
// Reads the file and compares it with what was written to it; *problem
// names the first difference.  Forgets the file.
Match compare(const QString& path, QString* problem);

}  // namespace writtenPages
