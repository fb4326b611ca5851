#pragma once
// Statement text: statements are joined from fixed pieces and values.  A
// value goes between single quotes with its own single quotes doubled, so
// that any text is searched for as it is and never ends the quoted part.
// Statements of several lines are composed in the statement buffer
// (statementbuffer.h); the text sent is every line followed by CR LF.

#include <QString>
#include <QStringList>

// The value as it goes between single quotes: every ' doubled.
QString quotedValue(const QString& value);

// An identifier (a table or column name) as it goes into a statement.  A
// plain word of ASCII letters, digits and underscores that is no keyword of
// either engine goes in bare, so that each engine reads it its own way (a
// server folds ID to the id it created, SQLite ignores case); any other name
// goes between double quotes with its own double quotes doubled.
QString quotedIdentifier(const QString& name);

// Every line followed by CR LF.
QString statementText(const QStringList& lines);
