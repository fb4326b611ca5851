// Composing in the statement buffer needs the windows; the rest of the
// statement text is plain values (statementtext.cpp).
#include "rules/app/statementtext.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

QString composeStatement(QPlainTextEdit* memo, const QStringList& lines)
{
    memo->clear();
    for (const QString& line : lines)
        memo->appendPlainText(line);
    QStringList memoLines;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next())
        memoLines << b.text();
    if (lines.isEmpty())
        memoLines.clear();  // an empty memo still has one empty block
    return statementText(memoLines);
}
