#pragma once
// The settings files under set/ (and tel.txt) are plain text in GBK with
// CR LF after every line, the last one included.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "app/errorreport.h"

// A file that cannot be opened or created.
class FileError : public AppError {
public:
    using AppError::AppError;
};

// GBK conversion.  A character GBK cannot hold is written as '?'; a byte
// sequence that is not GBK is read as U+FFFD.
QByteArray toGbk(const QString& text);
QString fromGbk(const QByteArray& bytes);

// Reads the lines of a GBK text file.  CR LF, lone CR and lone LF all end a
// line; a break at the very end adds no line, an empty line in the middle is
// an empty entry.  Lines are returned as they are, not trimmed.
// Throws FileError when the file cannot be opened.
QStringList readTextLines(const QString& path);

// Writes the lines in GBK, each followed by CR LF.  Throws FileError when the
// file cannot be created or written.
void writeTextLines(const QString& path, const QStringList& lines);
