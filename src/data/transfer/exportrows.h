#pragma once
// The records an export writes and the writing of its workbooks.
//
// Both run on the export's worker thread, on its own connection: the rows
// of the list's statement are read once, front to back, inside one read
// transaction, so that every workbook holds the list as it stood when the
// export began, whatever the window writes meanwhile.  The list's data set
// itself is neither read nor moved.

#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

class SqliteTextRows;

class ExportRows {
public:
    // Runs the statement on `db`; throws DbError when it cannot run.  A
    // database file's rows are read through SQLite's own interface, their
    // texts taken as the file holds them.
    ExportRows(const QSqlDatabase& db, const QString& sql);
    ~ExportRows();
    ExportRows(const ExportRows&) = delete;
    ExportRows& operator=(const ExportRows&) = delete;

    // Picks the columns by name (without regard to case); false with the
    // first unknown name in *missing.
    bool selectColumns(const QStringList& names, QString* missing);
    // The next record's values of the selected columns as text (NULL as "");
    // false past the last record.  A failed read throws DbError.
    bool next(QStringList* values);
    // Whether the records can be read as UTF-8 bytes (a database file's).
    bool readsUtf8() const { return raw_ != nullptr; }
    // The next record's values of the selected columns as the UTF-8 texts
    // next() decodes (NULL as empty), valid until the next read; false past
    // the last record.  A failed read throws DbError.
    bool nextUtf8(std::vector<QByteArrayView>* cells);
    // Records handed out so far.
    qint64 taken() const { return taken_; }

private:
    bool stepRaw();  // false past the last record

    std::unique_ptr<SqliteTextRows> raw_;
    QSqlQuery q_;
    QVector<int> columns_;
    QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
    std::vector<QByteArray> numbers_;  // nextUtf8's numbers with a fraction, by column
    qint64 taken_ = 0;
    bool done_ = false;
};

// What one export writes.
struct ExportPlan {
    QString statement;     // the list's statement
    QStringList columns;   // the export column list, in column order
    QString fileName;      // the name chosen in the save dialog
    qint64 perWorkbook = 0;  // records per workbook; 0: all into fileName
    QString sheetName;
};

// How it went.
struct ExportReport {
    qint64 records = 0;              // records of the list
    QStringList written;             // workbooks in place
    QStringList failures;            // one line per workbook that could not be written
    // Texts cut at a cell's limit, per column in column order.
    QList<QPair<QString, qint64>> cut;
    qint64 cutTotal() const;
};

// The worker's side of the surroundings (see WorkContext).
struct ExportSteps {
    std::function<void()> checkStop = [] {};  // throws to stop
    std::function<void(qint64 done, qint64 total)> progress = [](qint64, qint64) {};
    std::function<void(const QString&)> text = [](const QString&) {};
    // Called once the read transaction holds its view of the database.
    std::function<void()> viewTaken = [] {};
};

// Writes the plan's workbook(s) from the rows of `db`.  Every workbook is
// written under a temporary name beside its own; only when all are written
// are they moved into place, so that a stop (or an error of the database)
// leaves no file behind and every earlier file as it was.  A workbook that
// cannot be written is told in the report, and the others still follow.
// Throws DbError (or what checkStop throws); the temporaries are gone then.
ExportReport writeWorkbooks(const QSqlDatabase& db, const ExportPlan& plan, const ExportSteps& steps);

// The closing words: a failure's text for the operator ("" without one) and
// the note on cut texts ("" when nothing was cut).
QString exportFailureText(const ExportReport& report);
QString exportCutText(const ExportReport& report);
