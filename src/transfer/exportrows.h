#pragma once
// The records an export writes: the rows of a data set's statement from a
// given record on, read once, front to back, straight from the database
// (the data set itself is not moved record by record, so its grid, card
// and record position stay quiet while thousands of rows go by).

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVector>

class DataSet;

class ExportRows {
public:
    // Rows of the data set's statement, starting at its row `first` (from 0).
    // The data set must be open and have no pending edit.
    ExportRows(DataSet& ds, int first);

    // Picks the columns by name (without regard to case); false with the
    // first unknown name in *missing.
    bool selectColumns(const QStringList& names, QString* missing);
    // The next record's values of the selected columns as text (NULL as "");
    // false past the last record.
    bool next(QStringList* values);
    // Records handed out so far.
    qint64 taken() const { return taken_; }

private:
    QSqlQuery q_;
    QVector<int> columns_;
    qint64 taken_ = 0;
    bool done_ = false;
};
