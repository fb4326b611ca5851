#pragma once
// The temporary files of the program's own writers.  Every file the program
// writes in full (an export, a backup, a settings file, a layout) is written
// under a temporary name beside its target and renamed over it when whole.
// A write that is interrupted (the program killed, the power gone) leaves
// the temporary behind; its name says whose it is, so that the next write
// to the same target removes it, and the next start removes those in the
// program folder.

#include <QString>
#include <QStringList>

namespace scratch {

// What every temporary name of the program holds.
extern const QString marker;  // ".tavrin-tmp"

// The fixed temporary name for a target ("bk.mdb" -> "bk.mdb.tavrin-tmp").
QString nameFor(const QString& target);
// The template of a QTemporaryFile for a target ("bk.xls.tavrin-tmp-XXXXXX").
QString templateFor(const QString& target);

// Removes what interrupted writes to `target` left beside it (and the
// journals SQLite keeps beside a temporary database); the names removed.
QStringList removeLeftoversOf(const QString& target);

// At start, with no other copy of the program on the folder: removes from
// the program folder's data/ and set/ every temporary of the program's
// writers, the scratch databases of compacting, restoring and converting
// (data/new.MDB, data/web.mdb.new) with their journals, and the *.tmp files
// older versions left; the database itself, its journal and its log are
// never touched.  The names removed.
QStringList removeLeftoversIn(const QString& programFolder);

}  // namespace scratch
