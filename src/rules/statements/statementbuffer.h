#pragma once
// The statement buffer: statements of several lines are composed in it line
// by line, and what is sent is its text with every line followed by CR LF.
// A line that itself holds a line break (a value typed with one) becomes as
// many lines of the buffer; while the buffer holds no text, an empty line
// adds nothing.

#include <QString>
#include <QStringList>

class StatementBuffer {
public:
    // Empties the buffer, puts the lines in one by one and returns the
    // statement as it is sent.
    QString compose(const QStringList& lines);

    // The buffer's lines, and its text with the lines joined by '\n'.
    const QStringList& lines() const { return lines_; }
    QString text() const { return lines_.join(QLatin1Char('\n')); }

private:
    QStringList lines_;
};

// One line as the buffer keeps it: split at "\r\n", '\n', '\r' and the
// paragraph separator U+2029.
QStringList bufferLines(const QString& line);
