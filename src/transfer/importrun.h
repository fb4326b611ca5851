#pragma once
// The two runs of the import windows: customers in from the opened table
// (the import) and customers out to the end of it (the reverse run).

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>

class Connection;
class DataSet;
class ImportDataSet;

struct RunOutcome {
    qint64 count = 0;     // rows read (import) or records written (reverse run)
    qint64 stored = 0;    // records stored by the import
    bool finished = false;
    QString error;        // why the run stopped; empty when finished
};

// Called with the rows done so far and the rows to do in all.
using RunProgress = std::function<void(qint64 done, qint64 total)>;

// Appends one record to `table` per source row.  Box i sends source column i
// to standard field numbers[i] ("0": not used); empty cells are skipped, a
// later column wins over an earlier one for the same field, a row with no
// value adds no record but counts.  The numbers must have been checked.
// All rows go in one transaction: a record that cannot be stored ends the
// run there and keeps the records before it; a file that cannot be read to
// the end stores nothing.  Lists of the connection still being counted are
// counted first, so that no count holds the database while the rows go in.
RunOutcome importRows(Connection& connection, const QString& table, ImportDataSet& source,
                      const QStringList& standard, const QStringList& numbers, const RunProgress& progress);

// Appends every record of `customers`, in its order, to the end of the
// source table: column i of a new row gets the customer field numbers[i]
// (empty values too), columns numbered "0" stay empty.  The file is written
// anew and moved over the old one, so a failure changes nothing.
RunOutcome exportRows(DataSet& customers, ImportDataSet& source, const QStringList& standard,
                      const QStringList& numbers, const RunProgress& progress);
