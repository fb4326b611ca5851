#pragma once
// The settings files under set/ (and tel.txt) are plain text with CR LF
// after every line, the last one included.  They are written in GB18030,
// which gives every GBK character the same bytes as GBK: a file written
// before reads the same, and a character GBK lacks (䶮, an emoji) survives
// a save instead of turning into '?'.

#include <QByteArray>
#include <QString>
#include <QList>
#include <QPair>
#include <QStringList>
#include <stdexcept>

#include "rules/errors/errorreport.h"

// A file that cannot be opened or created.
class FileError : public AppError {
public:
    using AppError::AppError;
};

// GBK conversion.  A character GBK cannot hold is written as '?'; a byte
// sequence that is not GBK is read as U+FFFD.
QByteArray toGbk(const QString& text);
QString fromGbk(const QByteArray& bytes);

// GB18030 conversion.  Every character GBK holds gets its GBK bytes (the
// euro sign its single byte 0x80, as GBK files have it); any other
// character its GB18030 sequence.  Reading takes GBK and GB18030 sequences
// alike; a byte sequence that is neither reads as U+FFFD.
QByteArray toGb18030(const QString& text);
QString fromGb18030(const QByteArray& bytes);

// The whole text of a file as readTextLines decodes it, line breaks kept.
// Throws FileError when the file cannot be opened.
QString readText(const QString& path);

// Reads the lines of a text file (GB18030, GBK being part of it).  CR LF, lone CR and lone LF all end a
// line; a break at the very end adds no line, an empty line in the middle is
// an empty entry.  Lines are returned as they are, not trimmed.
// Throws FileError when the file cannot be opened.
QStringList readTextLines(const QString& path);

// Writes the lines in GB18030, each followed by CR LF.  Throws FileError when the
// file cannot be created or written.
void writeTextLines(const QString& path, const QStringList& lines);

// The key=value lines of a settings file: keys trimmed and in lower case,
// values trimmed, lines without '=' left out.  A missing or unreadable file
// gives none.
QList<QPair<QString, QString>> readKeyValues(const QString& path);
