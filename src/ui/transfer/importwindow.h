#pragma once
// What the two import windows, ExcelImportWindow ("导入Excel数据文件") and
// AccessImportWindow ("导入ACCESS数据文件"), share: they map the columns of
// one table of an outside file to the customer fields and run the import or
// the reverse run.  The menu entries (importmenu.h) choose the file and
// show them.

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

#include "data/work/backgroundwork.h"
#include "data/transfer/importrun.h"

class ImportConnection;
class ImportDataSet;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QScrollArea;
class QTableView;
class QPushButton;
class QWidget;
class StatusBar;
class DataModule;

// The controls carry object names: "tableList", "recordCount",
// "previewGrid", "fileLabel", "importButton", "exportButton", "backButton",
// "statusBar", "progressBar".
class ImportWindow : public QDialog {
    Q_OBJECT
public:
    enum class Variant { Excel, Access };

    Variant variant() const { return variant_; }
    const QStringList& standardFields() const { return standard_; }
    int mappingCount() const { return mappingCount_; }
    // The rows of the mapping are named "mappingNumber/<i>" (the number
    // typed for source column i) and "mappingColumn/<i>" (its name); the
    // standard fields' names "standardField/<n>".
    bool isRunning() const { return running_; }

    // A click on a table of the file: the table opened, its columns mapped.
    void openChosenTable();
    void importData();  // 导入数据
    void exportData();  // 导出数据: the customer list appended to the table
    void goBack();      // 返回

    ~ImportWindow() override;

protected:
    ImportWindow(DataModule& dm, Variant v, QWidget* owner);
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void buildMappingPanels();
    void buildStatusBar();
    void makeStandardLabels();
    void makeMappingRows();
    void removeMappingRows();
    void runExport();
    ImportConnection& connection() const;
    ImportDataSet& source() const;
    bool checkBeforeRun();
    QStringList numbers() const;
    void startProgress(qint64 total);
    void showProgress(const QString& prefix, qint64 done, qint64 total);
    void endProgress();
    void startImport(ExistingIds existing);
    void finishImport(RunOutcome out, const WorkOutcome& work);
    void finishExport(RunOutcome out, const WorkOutcome& work, const QStringList& typed);
    ExistingIds askExistingIds(const RunOutcome& out);

    DataModule& dm_;
    Variant variant_;
    QGroupBox* standardGroup_;   // 数据库标准项目
    QScrollArea* standardScroll_;
    QGroupBox* mappingGroup_;    // 导入数据项目
    QScrollArea* mappingScroll_;
    QLabel* fileLabel_;          // 即将导入的数据文件
    QTableView* previewGrid_;
    QLineEdit* recordCount_;
    QListWidget* tableList_;     // the file's tables
    QPushButton* importButton_;
    QPushButton* exportButton_;
    QPushButton* backButton_;
    StatusBar* statusBar_;
    QProgressBar* progressBar_;
    QWidget* standardPanel_;
    QWidget* mappingPanel_;
    QStringList standard_;
    QList<QLabel*> standardLabels_;
    QList<QLineEdit*> edits_;
    QList<QLabel*> labels_;
    int mappingCount_ = 0;
    bool running_ = false;
    QPointer<BackgroundWork> work_;
    bool shown_ = false;
};

