#pragma once
// What the database file operations share: the engine of the files, the
// steps a test may stop at, and the safe ways of putting a file on disk.

#include <QString>
#include <QStringList>

#include "data/engine/filestore.h"

namespace dbfile::steps {

const FileStore& store();

// Tells the test hook (setStepHook) that a step was reached.
void reached(const char* name);
// The progress with the test hook's steps added.
FileProgress withSteps(const FileProgress& progress);

QByteArray nativePath(const QString& path);
QString shown(const QString& path);  // as the operator reads it
void setError(QString* error, const QString& text);
QString stoppedText();
int indexOfName(const QStringList& names, const QString& name);

// fsync of a file or folder.
bool syncPath(const QString& path, bool directory);
// The rename that makes a new file the real one: atomic, then made durable.
bool renameInto(const QString& from, const QString& to, QString* error);
// Leaves a freshly written scratch database as a file of its own, checked
// and on disk.
bool finishScratch(const QString& path, QString* error);

}  // namespace dbfile::steps
