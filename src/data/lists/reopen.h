#pragma once
// Reopening a data set with a new statement, as every search does.

#include <QString>

class DataSet;

// Ends a pending edit or insert the way a move does (a changed record is
// stored, an unchanged one abandoned), then closes the data set, gives it the
// statement and opens it (DataSet::reopen).  A store that fails is reported
// and ends the operation (AbortOperation) before anything else happens, so
// the record being edited and the grid stay as they were.
void reopenWith(DataSet& ds, const QString& sql);
