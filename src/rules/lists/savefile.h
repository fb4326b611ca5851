#pragma once
// Writing a settings file whole: a complete file under a temporary name in
// the same folder is renamed over the old one, so a failed write leaves the
// old file as it was.

#include <QByteArray>
#include <QString>
#include <QStringList>

// Throws FileError when the file cannot be written.
void replaceFile(const QString& path, const QByteArray& bytes);

// The lines in GB18030 (GBK bytes for every GBK character), each followed
// by CR LF, written as above.
void replaceTextFile(const QString& path, const QStringList& lines);
