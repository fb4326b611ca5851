#include "db/statement.h"

#include <QPlainTextEdit>

QString quoteValue(const QString& value)
{
    QString v = value;
    v.replace(QLatin1Char('\''), QLatin1String("''"));
    return v;
}

QString composeStatement(QPlainTextEdit& buffer, const QStringList& lines)
{
    buffer.clear();
    for (const QString& line : lines)
        buffer.appendPlainText(line);
    QString text;
    for (const QString& line : buffer.toPlainText().split(QLatin1Char('\n')))
        text += line + QLatin1String("\r\n");
    return text;
}
