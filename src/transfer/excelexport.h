#pragma once
// Export of the customer list (and of the call list) to workbooks: the field
// selection window, the save dialog, then one workbook or several numbered
// ones under the per-file limit.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class DataSet;
class ExportRows;
class QComboBox;
class QProgressDialog;
class QWidget;
class TDataModule1;

class ExcelExport : public QObject {
    Q_OBJECT
public:
    // `outFieldName` is the main window's hidden export column list.
    ExcelExport(TDataModule1& dm, QComboBox* outFieldName, QWidget* owner);
    ~ExcelExport() override;

    static QString failureText();  // the notice after a failed workbook

    // The save dialog: title and filter in, chosen file name out ("" when
    // cancelled); `selectedFilter` tells which of the filter's types was
    // picked.  Tests put their own in place of the file dialog.
    using FileChooser = std::function<QString(QWidget* owner, const QString& title, const QString& filter,
                                              QString* selectedFilter)>;
    void setFileChooser(FileChooser f) { chooseFile_ = std::move(f); }

    // The menu entries: customers and calls.
    void N4Click();
    void exportCalls();

    // The whole export of one data set.
    void exportDataSet(DataSet& ds, const QString& sheetName);

    // Writes one workbook: the header row, then the records from `rows` on,
    // at most `maxRows` of them (0: all).  A failure shows the notice and
    // leaves no file under the name; returns false then.
    bool SaveExcelFile_two(ExportRows& rows, const QString& fileName, const QStringList& columns,
                           qint64 maxRows, const QString& sheetName);

private:
    void progress(qint64 done);

    TDataModule1& dm_;
    QComboBox* outFieldName_;
    QWidget* owner_;
    FileChooser chooseFile_;
    QProgressDialog* progress_ = nullptr;
    qint64 done_ = 0;
};
