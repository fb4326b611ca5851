#pragma once
// The import objects of the data module: a connection to an outside file
// (a workbook, an Access database or a text file), a data set over one of its
// tables and the source that feeds that table to a grid.  The file is read
// through the table readers; nothing here writes to it but appendRows().

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>

#include "rules/formats/tablereader.h"

class ImportDataSet;

class ImportConnection {
public:
    explicit ImportConnection(const QString& name) : name_(name) {}
    ~ImportConnection();
    ImportConnection(const ImportConnection&) = delete;
    ImportConnection& operator=(const ImportConnection&) = delete;

    const QString& name() const { return name_; }
    // The file read, its name taken as it is.
    void setFile(const QString& file) { file_ = file; }
    const QString& fileName() const { return file_; }

    // Opens the file; an AppError with the reader's Chinese message when it
    // cannot be read.  Closing first closes the data sets on it.
    void open();
    // Connects to a reader made elsewhere (tests hand in their own).
    void openWith(std::unique_ptr<TableReader> reader);
    void close();
    bool isConnected() const { return reader_ != nullptr; }
    TableReader* reader() const { return reader_.get(); }
    // Tables of the file, in file order; empty when not connected.
    QStringList tableNames() const;

    void attach(ImportDataSet* ds);
    void detach(ImportDataSet* ds);

private:
    QString name_;
    QString file_;
    std::unique_ptr<TableReader> reader_;
    QList<ImportDataSet*> dataSets_;
};

class ImportDataSet : public QObject {
    Q_OBJECT
public:
    ImportDataSet(ImportConnection* connection, const QString& name, QObject* parent = nullptr);
    ~ImportDataSet() override;

    // Rows kept for the grid; the runs read the whole table from the file.
    // Fewer when the rows are wide or hold long texts: a cell counts one,
    // and one more for every 64 characters of its text.
    static constexpr int kPreviewRows = 1000;
    static constexpr qint64 kPreviewCells = 1000000;

    const QString& name() const { return name_; }
    void setConnection(ImportConnection* c);
    ImportConnection* connection() const { return connection_; }

    // "select * from [name]" or "select * from name": the table is the text
    // after "from", brackets taken off.
    void setCommandText(const QString& sql);
    const QString& commandText() const { return sql_; }
    QString tableName() const;

    void open();   // AppError when the table cannot be read
    void close();
    bool isActive() const { return active_; }

    const QStringList& fieldNames() const { return fields_; }
    int fieldCount() const { return int(fields_.size()); }
    qint64 recordCount() const { return count_; }
    const QList<QVariantList>& previewRows() const { return preview_; }
    // What the reader had to say about how it read the file (empty: nothing).
    const QString& warning() const { return warning_; }

    // Every row of the table from the file; false with *error set when the
    // file cannot be read to the end.
    bool readRows(const std::function<bool(const QVariantList&)>& row, QString* error);
    // Appends rows at the end of the table (the file is written anew and
    // moved over the old one); false with *error when that cannot be done.
    bool appendRows(const QList<QVariantList>& rows, QString* error);

    // Display updates held back during a run.
    void disableControls() { ++disabled_; }
    void enableControls();

signals:
    void layoutChanged();

private:
    QString name_;
    ImportConnection* connection_ = nullptr;
    QString sql_;
    bool active_ = false;
    QString table_;
    QStringList fields_;
    qint64 count_ = 0;
    QList<QVariantList> preview_;
    QString warning_;
    int disabled_ = 0;
    bool pending_ = false;
};

// Feeds an import data set to a grid: its field names as headings, its
// preview rows as texts.
class ImportGridSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ImportGridSource(ImportDataSet* ds, QObject* parent = nullptr);
    ImportDataSet* dataSet() const { return ds_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;

private:
    QPointer<ImportDataSet> ds_;
};
