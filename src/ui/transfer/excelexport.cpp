#include "ui/transfer/excelexport.h"

#include <QFileDialog>
#include <QSemaphore>
#include <atomic>
#include <memory>

#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/dataset/dataset.h"
#include "ui/kit/workwindow.h"
#include "rules/formats/exportfile.h"
#include "data/transfer/exportrows.h"
#include "ui/transfer/exportfieldswindow.h"
#include "rules/statements/tablenames.h"

namespace {

const QString kXlsFilter = QStringLiteral("Microsoft文件(*.xls)");
const QString kXlsxFilter = QStringLiteral("Excel 2007 工作簿(*.xlsx)");
const QString kCsvFilter = QStringLiteral("CSV 文件，UTF-8(*.csv)");

QString dialogFileName(QWidget* owner, const QString& title, const QString& filter, QString* selected)
{
    QFileDialog dlg(owner, title, QString(), filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    if (selected)
        *selected = dlg.selectedNameFilter();
    return dlg.selectedFiles().first();
}

// Told once, by the worker, when its view of the database is fixed (or when
// the work ended before that).
struct ViewTaken {
    QSemaphore semaphore;
    std::atomic<bool> told{false};
    void tell()
    {
        if (!told.exchange(true))
            semaphore.release();
    }
};

// How long the window waits for that: opening a connection and one read.
constexpr int kViewWaitMs = 3000;

}  // namespace

ExcelExport::ExcelExport(DataModule& dm, QWidget* owner)
    : QObject(owner), dm_(dm), owner_(owner), chooseFile_(dialogFileName)
{
}

ExcelExport::~ExcelExport() = default;

QString ExcelExport::failureText() { return exportfile::failureHeadline(); }

QString ExcelExport::noFieldsText() { return QStringLiteral("没有选择导出字段，没有导出。请在右边的列表中加入要导出的字段。"); }

void ExcelExport::exportCustomers() { exportDataSet(dm_.customerTable, tables::customers()); }

void ExcelExport::exportDataSet(DataSet& ds, const QString& sheetName)
{
    if (refuseWhileWorking(owner_))
        return;

    // 1. The fields and the per-file limit.
    const ExportFieldsWindow::Choice choice = ExportFieldsWindow::ask(ds.fieldNames(), fileLimit_, owner_);
    fileLimit_ = choice.limit;
    const QStringList& columns = choice.fields;
    // 2. The file.
    QString filter;
    QString name = chooseFile_(owner_, QStringLiteral("请输入新生成的Excel文件名称"),
                               QStringList{kXlsFilter, kXlsxFilter, kCsvFilter}.join(QStringLiteral(";;")),
                               &filter);
    if (name.isEmpty())
        return;
    if (columns.isEmpty()) {
        // A file of empty lines is of no use to anybody.
        showMessage(noFieldsText());
        return;
    }
    const exportfile::Format chosen = filter == kXlsxFilter ? exportfile::Format::Xlsx
                                      : filter == kCsvFilter ? exportfile::Format::Csv
                                                             : exportfile::Format::Xls;

    // 3. What is typed on the card goes into the file too.
    if (!ds.endPendingEdit())
        return;

    ExportPlan plan;
    plan.statement = ds.commandText();
    plan.columns = columns;
    plan.fileName = exportfile::withExtension(name, chosen);
    plan.perWorkbook = exportfile::rowsPerWorkbook(fileLimit_);
    plan.sheetName = sheetName;

    startWork(ds, plan);
}

// The workbooks are written on a connection of their own; the outcome is
// told once the work has ended.
void ExcelExport::startWork(DataSet& ds, const ExportPlan& plan)
{
    auto report = std::make_shared<ExportReport>();
    auto view = std::make_shared<ViewTaken>();
    auto* work = new BackgroundWork(
        ds.connection(), QStringLiteral("导出数据"), BackgroundWork::Access::Read,
        [plan, report, view](WorkContext& cx) {
            struct Tell {
                ViewTaken& v;
                ~Tell() { v.tell(); }
            } tell{*view};
            ExportSteps steps;
            steps.checkStop = [&cx] { cx.checkStop(); };
            steps.progress = [&cx](qint64 done, qint64 total) { cx.progress(done, total); };
            steps.text = [&cx](const QString& text) { cx.setText(text); };
            steps.viewTaken = [view] { view->tell(); };
            *report = writeWorkbooks(cx.db(), plan, steps);
        },
        this);
    work_ = work;
    runWork(work, owner_, [this, report](const WorkOutcome& outcome) {
        work_ = nullptr;
        bool ok = outcome.ok;
        if (outcome.stopped) {
            // The operator's own choice: nothing was written, nothing to say.
        } else if (!outcome.ok) {
            errorreport::report(failureText() + QLatin1Char('\n') + outcome.error);
        } else {
            const QString failed = exportFailureText(*report);
            const QString cut = exportCutText(*report);
            ok = failed.isEmpty();
            if (!failed.isEmpty())
                errorreport::report(cut.isEmpty() ? failed : failed + QStringLiteral("\n\n") + cut);
            else if (!cut.isEmpty())
                showMessage(QStringLiteral("导出完成。") + cut);
        }
        emit ended(ok);
    });
    // The export holds the list as it stands now: its view of the database
    // is fixed before a call that arrives next can be written.
    view->semaphore.tryAcquire(1, kViewWaitMs);
}

void ExcelExport::exportCalls() { exportDataSet(dm_.callTable, tables::calls()); }
