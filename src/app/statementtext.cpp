#include "app/statementtext.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

QString quotedValue(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    return v;
}

QString statementText(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

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
