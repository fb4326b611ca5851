#pragma once
// Export of the customer list (and of the call list) to workbooks: the field
// selection window, the save dialog, then one workbook or several numbered
// ones under the per-file limit.  The workbooks are written by long work on
// a connection of its own, with a progress window that can stop it; the
// window keeps taking calls meanwhile, and the list's data set is left
// where the operator has it.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class BackgroundWork;
class DataSet;
class QWidget;
class DataModule;
struct ExportPlan;
struct WorkOutcome;

class ExcelExport : public QObject {
    Q_OBJECT
public:
    ExcelExport(DataModule& dm, QWidget* owner);
    ~ExcelExport() override;

    static QString failureText();     // the first line of a failure's report
    static QString noFieldsText();    // the refusal of an export without fields

    // The save dialog: title and filter in, chosen file name out ("" when
    // cancelled); `selectedFilter` tells which of the filter's types was
    // picked.  Tests put their own in place of the file dialog.
    using FileChooser = std::function<QString(QWidget* owner, const QString& title, const QString& filter,
                                              QString* selectedFilter)>;
    void setFileChooser(FileChooser f) { chooseFile_ = std::move(f); }

    // The menu entries: customers and calls.
    void exportCustomers();
    void exportCalls();

    // The export of one data set: asks for the fields and the file, starts
    // the work and returns; ended() follows once the outcome has been told.
    void exportDataSet(DataSet& ds, const QString& sheetName);

    // The export under way, if any.
    BackgroundWork* running() const { return work_; }

    // The workbook limit last chosen (0: one workbook), offered again.
    int fileLimit() const { return fileLimit_; }

signals:
    // The export's work has ended and its messages have been shown.
    void ended(bool ok);

private:
    void startWork(DataSet& ds, const ExportPlan& plan);

    DataModule& dm_;
    QWidget* owner_;
    FileChooser chooseFile_;
    QPointer<BackgroundWork> work_;
    int fileLimit_ = 0;
};
