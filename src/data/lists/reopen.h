#pragma once
// Reopening a data set with a new statement, as every search does.

#include "rules/statements/query.h"
#include "rules/lists/listsearch.h"

class DataSet;

// Ends a pending edit or insert the way a move does (a changed record is
// stored, an unchanged one abandoned), then closes the data set, gives it the
// statement and opens it (DataSet::reopen).  A store that fails is reported
// and ends the operation (AbortOperation) before anything else happens, so
// the record being edited and the grid stay as they were.
void reopenWith(DataSet& ds, const WrittenStatement& statement);

// The field searches' comparison on the data set's database.
listsearch::TextLike textLikeOf(const DataSet& ds);

// Every row of a table, the newest first: the lists as they open
// ("select * from <table> order by id desc").
WrittenStatement wholeList(const QString& table);
