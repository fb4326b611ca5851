#include "transfer/excelexport.h"

#include <QComboBox>
#include <QFileDialog>
#include <QProgressDialog>

#include "db/datam.h"
#include "db/dataset.h"
#include "transfer/exportfile.h"
#include "transfer/exportrows.h"
#include "transfer/select_fieldname.h"

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

// Shows progress while the rows are written; held back for short exports.
constexpr qint64 kProgressStep = 2000;

}  // namespace

ExcelExport::ExcelExport(TDataModule1& dm, QComboBox* outFieldName, QWidget* owner)
    : QObject(owner), dm_(dm), outFieldName_(outFieldName), owner_(owner), chooseFile_(dialogFileName)
{
}

ExcelExport::~ExcelExport() = default;

QString ExcelExport::failureText()
{
    return QStringLiteral("不能正确操作Excel文件。可能是该文件已被其他程序打开,或系统错误。");
}

void ExcelExport::N4Click() { exportDataSet(dm_.kehutable, QStringLiteral("客户数据")); }

void ExcelExport::exportCalls() { exportDataSet(dm_.laidianTel, QStringLiteral("来电数据")); }

void ExcelExport::exportDataSet(DataSet& ds, const QString& sheetName)
{
    // 1. The fields and the per-file limit.
    {
        TdaoChu_fieldw w(ds.fieldNames(), dm_.exportFileLimit, owner_);
        w.exec();
        outFieldName_->clear();
        outFieldName_->addItems(w.chosenFields());
    }
    QStringList columns;
    for (int i = 0; i < outFieldName_->count(); ++i)
        columns << outFieldName_->itemText(i);

    // 2. The file.
    QString filter;
    QString name = chooseFile_(owner_, QStringLiteral("请输入新生成的Excel文件名称"),
                               QStringList{kXlsFilter, kXlsxFilter, kCsvFilter}.join(QStringLiteral(";;")),
                               &filter);
    if (name.isEmpty())
        return;
    const exportfile::Format chosen = filter == kXlsxFilter ? exportfile::Format::Xlsx
                                      : filter == kCsvFilter ? exportfile::Format::Csv
                                                             : exportfile::Format::Xls;
    name = exportfile::withExtension(name, chosen);

    // 3. From the first record on, the grid and card held still.
    ds.first();
    const qint64 records = ds.recordCount();
    const int limit = dm_.exportFileLimit;
    ds.disableControls();
    struct Resume {
        DataSet& ds;
        ~Resume() { ds.enableControls(); }
    } resume{ds};

    QProgressDialog progress(QStringLiteral("正在导出数据，请稍候……"), QString(), 0, int(qMin<qint64>(records, INT_MAX)),
                             owner_);
    progress.setWindowTitle(QStringLiteral("导出"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setCancelButton(nullptr);
    progress.setAutoClose(false);
    progress_ = &progress;
    done_ = 0;
    struct Forget {
        QProgressDialog*& p;
        ~Forget() { p = nullptr; }
    } forget{progress_};

    ExportRows rows(ds, 0);
    const qint64 per = exportfile::rowsPerWorkbook(limit);
    if (per == 0) {
        // 4. Everything into the chosen file.
        SaveExcelFile_two(rows, name, columns, 0, sheetName);
    } else {
        // 5. Numbered workbooks, each continuing where the previous stopped.
        const qint64 count = exportfile::workbookCount(records, limit);
        for (qint64 k = 1; k <= count; ++k)
            SaveExcelFile_two(rows, exportfile::numberedName(name, k), columns, per, sheetName);
    }
    progress.reset();

    // The data set stands past the records written (on the last one).
    if (records > 0)
        ds.moveTo(int(qMin(rows.taken(), records - 1)));
}

bool ExcelExport::SaveExcelFile_two(ExportRows& rows, const QString& fileName, const QStringList& columns,
                                    qint64 maxRows, const QString& sheetName)
{
    QString error;
    QString missing;
    bool ok = rows.selectColumns(columns, &missing);
    if (ok) {
        ok = exportfile::writeInPlace(
            fileName,
            [&](const QString& tmp, QString* err) {
                auto writer = exportfile::makeWriter(exportfile::formatOf(fileName));
                if (!writer->open(tmp, err))
                    return false;
                writer->beginSheet(sheetName, columns);
                QStringList values;
                qint64 n = 0;
                while ((maxRows == 0 || n < maxRows) && rows.next(&values)) {
                    writer->addRow(values);
                    ++n;
                    progress(1);
                }
                return writer->finish(err);
            },
            &error);
    }
    if (!ok)
        dm_.ShowMessage_jd(failureText());
    return ok;
}

void ExcelExport::progress(qint64 done)
{
    done_ += done;
    if (progress_ && done_ % kProgressStep == 0)
        progress_->setValue(int(qMin<qint64>(done_, progress_->maximum())));
}
