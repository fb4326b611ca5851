#pragma once
// The two runs of the import windows: customers in from the opened table
// (the import) and customers out to the end of it (the reverse run).

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include "rules/statements/tablenames.h"

class Connection;
class DataSet;
class ImportDataSet;
class TableReader;

// What becomes of a row whose ID is already a customer's (or an earlier
// row's): the run stops before anything is stored, the row is left out, or
// it is stored as a new customer with a new ID.
enum class ExistingIds { Stop, Skip, AsNew };

// Where the rows come from: one table of an opened file, with the number
// of its rows (for the progress).
struct ImportSource {
    TableReader* reader = nullptr;
    QString table;
    qint64 rows = 0;
};

// Where they go: box i sends source column i to standard field numbers[i]
// ("0": not used) of the table `target`.  The numbers must have been checked.
struct ImportMapping {
    QString target = tables::customers();
    QStringList standard;
    QStringList numbers;
    ExistingIds existingIds = ExistingIds::Stop;
};

struct RunOutcome {
    qint64 count = 0;       // rows read (import) or records written (reverse run)
    qint64 stored = 0;      // records stored by the import
    qint64 skipped = 0;     // rows left out because their ID was there (Skip)
    qint64 renumbered = 0;  // rows stored with a new ID instead of theirs (AsNew)
    bool finished = false;
    bool cancelled = false;  // stopped on request: nothing stored
    QString existingId;      // the first ID found already there (Stop): nothing stored
    qint64 existingRow = 0;  // its row, from 1
    QString error;           // why the run stopped; empty when finished
};

// Called with the rows done so far and the rows to do in all.
using RunProgress = std::function<void(qint64 done, qint64 total)>;

// Appends one record to the target per source row, all in one transaction
// on `db`.  Empty cells are skipped, a later column wins over an earlier one
// for the same field, a row with no value adds no record but counts.  A
// record that cannot be stored ends the run there and keeps the records
// before it; a file that cannot be read to the end, a stop (`stopRequested`
// is asked before every row) and an ID already there (under
// ExistingIds::Stop) store nothing.  Plain code over `db`: callable from the
// worker thread of long work that owns it.
RunOutcome runImport(QSqlDatabase db, const ImportSource& source, const ImportMapping& mapping,
                     const std::function<bool()>& stopRequested, const RunProgress& progress);

// The same over the program's connection, in the calling thread.  Lists of
// the connection still being counted are counted first, so that no count
// holds the database while the rows go in.
RunOutcome importRows(Connection& connection, const QString& table, ImportDataSet& source,
                      const QStringList& standard, const QStringList& numbers, const RunProgress& progress);

// The reverse run: appends the customers that `statement` (the customer
// list's) selects from `db`, in its order, to the end of the target table:
// column i of a new row gets the customer field numbers[i] (empty values
// too), columns numbered "0" stay empty.  The file is written anew and moved
// over the old one, so a failure or a stop changes nothing.  Plain code over
// `db`, for the worker thread of long work.
RunOutcome appendCustomers(QSqlDatabase db, const QString& statement, const ImportSource& target,
                           const QStringList& standard, const QStringList& numbers,
                           const std::function<bool()>& stopRequested, const RunProgress& progress);
