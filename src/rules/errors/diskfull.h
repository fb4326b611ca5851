#pragma once
// A full disk, said as such.  A write that fails for want of room reaches
// the operator in many words (the system's "No space left on device", the
// database's "database or disk is full", a library's own, or none at all);
// every report of it says in Chinese that the disk is full and what to do.

#include <QString>

// What the operator is told of a full disk.
QString diskFullText();

// Whether the file system holding `path` (a file, or the folder it is to be
// written in) has no room left for a file: less than `room` bytes free.
bool diskFullAt(const QString& path, qint64 room = 8 * 1024);

// The text of a failure with the word on a full disk in front when the text
// tells of one; otherwise the text as it is.
QString withDiskFullSaid(const QString& text);
