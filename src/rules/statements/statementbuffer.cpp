#include "rules/statements/statementbuffer.h"

#include "rules/statements/statementtext.h"

QStringList bufferLines(const QString& line)
{
    QStringList out;
    QString current;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::ParagraphSeparator) {
            if (c == QLatin1Char('\r') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out << current;
            current.clear();
        } else {
            current += c;
        }
    }
    out << current;
    return out;
}

QString StatementBuffer::compose(const QStringList& lines)
{
    lines_.clear();
    for (const QString& line : lines) {
        // While the buffer holds no text at all, a line takes the place of
        // the empty first line instead of following it.
        if (lines_.isEmpty() || (lines_.size() == 1 && lines_.first().isEmpty()))
            lines_ = bufferLines(line);
        else
            lines_ << bufferLines(line);
    }
    return statementText(lines_);
}
