#pragma once
// Statements are built as text.  A value spliced between single quotes has
// its quotes doubled, so a quote in it is searched for instead of ending the
// text early; ordinary values go in unchanged.

#include <QString>
#include <QStringList>

class QPlainTextEdit;

QString quoteValue(const QString& value);

// Composes a statement of several lines in the statement buffer (cleared,
// then filled line by line) and returns what is sent to the database: every
// line followed by CR LF.
QString composeStatement(QPlainTextEdit& buffer, const QStringList& lines);
