#pragma once
// The two import windows, ExcelImportWindow ("导入Excel数据文件") and
// AccessImportWindow ("导入ACCESS数据文件"): twins that map the columns of one
// table of an outside file to the customer fields and run the import or the
// reverse run.  The menu entries choose the file and show them.

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>

#include "data/app/backgroundwork.h"
#include "data/transfer/importrun.h"

class DataSet;
class ImportConnection;
class ImportDataSet;
class ImportGridSource;
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

class ImportWindow : public QDialog {
    Q_OBJECT
public:
    enum class Variant { Excel, Access };

    QGroupBox* GroupBox1;    // 数据库标准项目
    QScrollArea* ScrollBox2;
    QGroupBox* GroupBox2;    // 导入数据项目
    QScrollArea* ScrollBox1;
    QLabel* Label6;          // 即将导入的数据文件
    QTableView* DBGrid1;
    QLabel* Label5;          // 选择数据表
    QLabel* Label7;          // 记录数
    QLineEdit* Edit1;        // record count
    QListWidget* ListBox1;   // the file's tables
    QListWidget* ListBox2;   // hidden copy of the standard field list
    QPushButton* Button3;    // 导入数据
    QPushButton* Button1;    // 导出数据
    QPushButton* Button2;    // 返回
    StatusBar* StatusBar1;   // 提示 | progress panel
    QProgressBar* ProgressBar1;

    Variant variant() const { return variant_; }
    const QStringList& standardFields() const { return standard_; }
    int mappingCount() const { return mappingCount_; }
    QLineEdit* mappingBox(int i) const { return edits_.value(i); }
    QLabel* mappingLabel(int i) const { return labels_.value(i); }
    QList<QLabel*> standardLabels() const { return standardLabels_; }
    bool isRunning() const { return running_; }

    void FormCreate();
    void CreateLabel();
    void ListBox1Click();
    void CreateEdit_XiangMu();
    void DeleteEdit_XiangMu();
    void Button3Click();
    void Button1Click();
    void InComeData();
    void OutComeData();
    void Button2Click();

    ~ImportWindow() override;

protected:
    ImportWindow(DataModule& dm, Variant v, QWidget* owner);
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
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

class ExcelImportWindow : public ImportWindow {
    Q_OBJECT
public:
    explicit ExcelImportWindow(DataModule& dm, QWidget* owner = nullptr) : ImportWindow(dm, Variant::Excel, owner) {}
};

class AccessImportWindow : public ImportWindow {
    Q_OBJECT
public:
    explicit AccessImportWindow(DataModule& dm, QWidget* owner = nullptr) : ImportWindow(dm, Variant::Access, owner) {}
};

// The menu entries: choose the file (cancel stops), disconnect, connect, show
// the window modally and destroy it.
void importExcelCustomers(DataModule& dm, QWidget* owner);      // 导入客户数据(excel格式）
void importAccessCustomers(DataModule& dm, QWidget* owner);  // 导入客户数据(Access格式）
// The part after the file dialog; a file that cannot be read is reported and
// no window opens.  Returns false in that case.
bool showImportWindow(DataModule& dm, QWidget* owner, ImportWindow::Variant v, const QString& file);
