#pragma once
// Statements and small files of the list searches: the field search of both
// lists, the call list's date search and the files that remember which
// field each list's combo had selected.

#include <QString>
#include <QStringList>
#include <functional>

namespace listsearch {

// "<column> like <pattern>" in the dialect of the database searched.
using TextLike = std::function<QString(const QString& column, const QString& pattern)>;

// "select * from <table> where <field> like '%<text>%'"; "%" and "_" typed
// in the text stay the database's wildcards.  On 手机, 电话 and 宅电 a text
// with digits also finds every number holding those digits, whatever
// separators or country code the number was written with.  `like` writes
// the comparison of other fields (SQLite's "like" when none is given).
QString fieldSearch(const QString& table, const QString& field, const QString& text, const TextLike& like = {});

// The calls of one day, the date written as the call log writes it: year,
// month and day joined by "-" without leading zeros (2008-7-5).
QString dayText(int year, int month, int day);
QString dateSearch(int year, int month, int day);

// set/ldfield.dat and set/khfield.dat: the selected index (-1 for none) as
// their one line.
QStringList fieldChoiceLines(int index);
// The index from the file's lines; false when the first line is missing or
// not an integer.
bool parseFieldChoice(const QStringList& lines, int* index);

}  // namespace listsearch
