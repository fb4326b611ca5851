#include "ui/transfer/importwindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QResizeEvent>
#include <QShowEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>

#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/kit/message.h"
#include "ui/kit/statusbar.h"
#include "data/module/datamodule.h"
#include "ui/kit/workwindow.h"
#include "rules/transfer/fieldmapping.h"
#include "data/transfer/importrun.h"
#include "data/transfer/importsource.h"

namespace {

constexpr int kOuterWidth = 696;
constexpr int kOuterHeight = 439;
constexpr int kRowStep = 18;       // mapping rows

// Ends a pending edit of the customer data set the way a move does, then
// opens it again with its own statement so that it shows the table as it is.
void reopenCustomers(DataSet& ds)
{
    ds.checkBrowseMode();
    ds.close();
    ds.open();
}

QLabel* addLabel(QWidget* parent, const QString& text, int left, int top)
{
    auto* l = new QLabel(text, parent);
    l->move(left, top);
    l->adjustSize();
    l->show();
    return l;
}

QScrollArea* scrollBox(QGroupBox* box, QWidget** panel)
{
    auto* area = new QScrollArea(box);
    area->setFrameShape(QFrame::NoFrame);
    area->setGeometry(2, 15, box->width() - 4, box->height() - 17);
    area->setWidgetResizable(false);
    *panel = new QWidget;
    (*panel)->resize(area->width() - 18, area->height());
    area->setWidget(*panel);
    return area;
}

// Grows the panel of a scroll area to hold `bottom` pixels.
void fitPanel(QScrollArea* area, QWidget* panel, int bottom)
{
    panel->resize(area->viewport()->width(), std::max(bottom + 4, area->viewport()->height()));
}

}  // namespace

ImportWindow::ImportWindow(DataModule& dm, Variant v, QWidget* owner)
    : QDialog(owner), dm_(dm), variant_(v)
{
    const bool excel = v == Variant::Excel;
    setObjectName(excel ? QStringLiteral("ExcelImportWindow") : QStringLiteral("AccessImportWindow"));
    setWindowTitle(excel ? QStringLiteral("导入Excel数据文件") : QStringLiteral("导入ACCESS数据文件"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinMaxButtonsHint);
    setFont(songti(12));
    resize(kOuterWidth - 8, kOuterHeight - 34);

    buildMappingPanels();

    fileLabel_ = addLabel(this, QStringLiteral("即将导入的数据文件"), 332, 16);
    fileLabel_->setObjectName(QStringLiteral("fileLabel"));
    fileLabel_->setEnabled(false);

    previewGrid_ = new QTableView(this);
    previewGrid_->setObjectName(QStringLiteral("previewGrid"));
    previewGrid_->setGeometry(332, 28, 356, 193);
    previewGrid_->setModel(excel ? &dm_.excelTableSource : &dm_.accessTableSource);
    previewGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewGrid_->verticalHeader()->setDefaultSectionSize(18);
    previewGrid_->horizontalHeader()->setDefaultSectionSize(64);
    previewGrid_->setEnabled(false);

    addLabel(this, QStringLiteral("选择数据表"), 332, 232);
    addLabel(this, QStringLiteral("记录数"), 416, 232);
    recordCount_ = new QLineEdit(QStringLiteral("0"), this);
    recordCount_->setObjectName(QStringLiteral("recordCount"));
    recordCount_->setGeometry(456, 228, 69, 20);

    tableList_ = new QListWidget(this);
    tableList_->setObjectName(QStringLiteral("tableList"));
    tableList_->setGeometry(332, 252, 193, 121);

    auto button = [this](const char* name, const QString& caption, int left, int top) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, top, 75, 25);
        b->setAutoDefault(false);
        return b;
    };
    importButton_ = button("importButton", QStringLiteral("导入数据"), 574, 275);
    exportButton_ = button("exportButton", QStringLiteral("导出数据"), 572, 312);
    backButton_ = button("backButton", QStringLiteral("返回"), 572, 347);

    buildStatusBar();

    connect(tableList_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!running_)
            guarded([this] { openChosenTable(); });
    });
    connect(importButton_, &QPushButton::clicked, this, [this] { guarded([this] { importData(); }); });
    connect(exportButton_, &QPushButton::clicked, this, [this] { guarded([this] { exportData(); }); });
    connect(backButton_, &QPushButton::clicked, this, [this] { guarded([this] { goBack(); }); });

    centreOnScreen(this);
    makeStandardLabels();
    tableList_->addItems(connection().tableNames());
}

// The customer fields on the left, the outside table's columns with their
// numbers on the right.
void ImportWindow::buildMappingPanels()
{
    standardGroup_ = new QGroupBox(QStringLiteral("数据库标准项目"), this);
    standardGroup_->setObjectName(QStringLiteral("standardGroup"));
    standardGroup_->setGeometry(8, 24, 145, 353);
    standardScroll_ = scrollBox(standardGroup_, &standardPanel_);
    standardScroll_->setObjectName(QStringLiteral("standardScroll"));
    for (auto [text, left] : {std::pair{QStringLiteral("序号"), 16}, std::pair{QStringLiteral("项目名称"), 48}})
        addLabel(standardPanel_, text, left, 10)->setStyleSheet(QStringLiteral("color: fuchsia"));

    mappingGroup_ = new QGroupBox(QStringLiteral("导入数据项目"), this);
    mappingGroup_->setObjectName(QStringLiteral("mappingGroup"));
    mappingGroup_->setGeometry(164, 24, 153, 353);
    mappingScroll_ = scrollBox(mappingGroup_, &mappingPanel_);
    mappingScroll_->setObjectName(QStringLiteral("mappingScroll"));
    for (auto [text, left] : {std::pair{QStringLiteral("对应号"), 12}, std::pair{QStringLiteral("项目名称"), 64}})
        addLabel(mappingPanel_, text, left, 10)->setStyleSheet(QStringLiteral("color: blue"));
}

// 提示 | the messages of a run, with its progress bar at the right.
void ImportWindow::buildStatusBar()
{
    statusBar_ = new StatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusBar_->addPanel(QStringLiteral("提示"), 50, Qt::AlignCenter);
    statusBar_->addPanel(QString(), 400);
    progressBar_ = new QProgressBar(statusBar_);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setTextVisible(true);
    progressBar_->hide();
}

ImportWindow::~ImportWindow()
{
    if (work_) {
        // Stops the run and waits for its rollback.
        work_->stop();
        delete work_.data();
        source().enableControls();
        dm_.customerTable.enableControls();
    }
}

ImportConnection& ImportWindow::connection() const
{
    return variant_ == Variant::Excel ? dm_.excelFile : dm_.accessFile;
}

ImportDataSet& ImportWindow::source() const
{
    return variant_ == Variant::Excel ? dm_.excelTable : dm_.accessTable;
}

void ImportWindow::makeStandardLabels()
{
    if (!dm_.customerTable.isActive())
        guarded([this] { dm_.customerTable.open(); });
    standard_ = mapping::standardFields(dm_.customerTable.fieldNames(),
                                        variant_ == Variant::Excel ? QStringLiteral("序号") : QStringLiteral("ID"));
    const int step = variant_ == Variant::Excel ? 18 : 16;
    for (int n = 1; n <= standard_.size(); ++n) {
        const int top = 26 + step * (n - 1);
        standardLabels_ << addLabel(standardPanel_, standard_[n - 1], 48, top);
        standardLabels_.back()->setObjectName(QStringLiteral("standardField/") + QString::number(n - 1));
        addLabel(standardPanel_, QString::number(n), 16, top);
    }
    fitPanel(standardScroll_, standardPanel_, 26 + step * int(standard_.size()));
}

void ImportWindow::openChosenTable()
{
    QListWidgetItem* item = tableList_->currentItem();
    if (!item || !item->isSelected())
        return;
    ImportDataSet& ds = source();
    ds.close();
    const QString name = item->text();
    ds.setCommandText(variant_ == Variant::Excel ? QStringLiteral("select * from [") + name + QLatin1Char(']')
                                                 : QStringLiteral("select * from ") + name);
    if (variant_ == Variant::Access)
        ds.setConnection(&dm_.accessFile);
    ds.open();
    previewGrid_->setEnabled(true);
    fileLabel_->setEnabled(true);
    removeMappingRows();
    makeMappingRows();
    recordCount_->setText(QString::number(ds.recordCount()));
    if (!ds.warning().isEmpty())
        showMessage(ds.warning());
}

void ImportWindow::makeMappingRows()
{
    const ImportDataSet& ds = source();
    const QStringList columns = ds.isActive() ? ds.fieldNames() : QStringList();
    const QStringList numbers = mapping::prefilledNumbers(columns, standard_);
    for (int i = 0; i < numbers.size(); ++i) {
        auto* box = new QLineEdit(numbers[i], mappingPanel_);
        box->setObjectName(QStringLiteral("mappingNumber/") + QString::number(i));
        box->setGeometry(20, 26 + kRowStep * i, 18, 16);
        box->setMaxLength(2);
        box->setFrame(false);
        box->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid gray; padding: 0px; }"));
        box->show();
        edits_ << box;
        labels_ << addLabel(mappingPanel_, mapping::shownText(columns[i]), 64, 26 + kRowStep * i);
        labels_.back()->setObjectName(QStringLiteral("mappingColumn/") + QString::number(i));
    }
    mappingCount_ = int(numbers.size());
    fitPanel(mappingScroll_, mappingPanel_, 26 + kRowStep * mappingCount_);
}

void ImportWindow::removeMappingRows()
{
    qDeleteAll(edits_);
    qDeleteAll(labels_);
    edits_.clear();
    labels_.clear();
    mappingCount_ = 0;
}

QStringList ImportWindow::numbers() const
{
    QStringList list;
    for (QLineEdit* e : edits_)
        list << e->text();
    return list;
}

bool ImportWindow::checkBeforeRun()
{
    if (!source().isActive()) {
        showMessage(mapping::noTableMessage());
        return false;
    }
    const QStringList n = numbers();
    if (!mapping::anyMapped(n)) {
        showMessage(mapping::noMappingMessage());
        return false;
    }
    const int bad = mapping::firstInvalid(n, int(standard_.size()));
    if (bad >= 0) {
        showMessage(mapping::invalidNumberMessage(bad, labels_[bad]->text(), n[bad], int(standard_.size())));
        edits_[bad]->setFocus();
        edits_[bad]->selectAll();
        mappingScroll_->ensureWidgetVisible(edits_[bad]);
        return false;
    }
    return true;
}

void ImportWindow::importData()
{
    if (checkBeforeRun())
        startImport(ExistingIds::Stop);
}

void ImportWindow::exportData()
{
    if (checkBeforeRun())
        runExport();
}

void ImportWindow::startProgress(qint64 total)
{
    running_ = true;
    for (QWidget* w : {static_cast<QWidget*>(exportButton_), static_cast<QWidget*>(backButton_),
                       static_cast<QWidget*>(importButton_), static_cast<QWidget*>(tableList_),
                       static_cast<QWidget*>(mappingScroll_)})
        w->setEnabled(false);
    const QRect panel = statusBar_->panelRect(1);
    progressBar_->setGeometry(panel.right() - 200, panel.top() + 3, 196, panel.height() - 6);
    progressBar_->setRange(0, total > 0 ? 1000 : 0);
    progressBar_->setValue(0);
    progressBar_->show();
}

void ImportWindow::showProgress(const QString& prefix, qint64 done, qint64 total)
{
    statusBar_->setPanelText(1, prefix + QString::number(done) + QStringLiteral("条"));
    if (total > 0)
        progressBar_->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
}

void ImportWindow::endProgress()
{
    running_ = false;
    progressBar_->hide();
    for (QWidget* w : {static_cast<QWidget*>(exportButton_), static_cast<QWidget*>(backButton_),
                       static_cast<QWidget*>(importButton_), static_cast<QWidget*>(tableList_),
                       static_cast<QWidget*>(mappingScroll_)})
        w->setEnabled(true);
}

// The rows are read and stored as long work: on a thread of their own over
// a connection of their own, the database's writes held meanwhile.  The
// window keeps painting and shows the progress as it comes; the progress
// window offers "停止" until the run ends (finishImport).
void ImportWindow::startImport(ExistingIds existing)
{
    ImportDataSet& ds = source();
    if (!ds.isActive() || work_ || refuseWhileWorking(this))
        return;
    DataSet& customers = dm_.customerTable;
    if (!guarded([&] {
            customers.checkBrowseMode();
            dm_.connection.open();
            // No list still being counted may hold the database meanwhile.
            dm_.connection.finishCounts();
        }))
        return;
    ImportMapping m;
    m.standard = standard_;
    m.numbers = numbers();
    m.existingIds = existing;
    const ImportSource src{connection().reader(), ds.tableName(), ds.recordCount()};
    auto result = std::make_shared<RunOutcome>();
    work_ = new BackgroundWork(&dm_.connection, QStringLiteral("导入数据"), BackgroundWork::Access::Write,
                               [src, m, result](WorkContext& cx) {
                                   *result = runImport(
                                       cx.db(), src, m, [&cx] { return cx.stopRequested(); },
                                       [&cx](qint64 done, qint64 total) { cx.progress(done, total); });
                               },
                               this);
    connect(work_, &BackgroundWork::progressed, this, [this](qint64 done, qint64 total) {
        showProgress(QStringLiteral("已经完成导入数据："), done, total);
    });
    startProgress(ds.recordCount());
    ds.disableControls();
    customers.disableControls();
    runWork(work_, this, [this, result](const WorkOutcome& o) { finishImport(*result, o); });
}

void ImportWindow::finishImport(RunOutcome out, const WorkOutcome& work)
{
    work_ = nullptr;
    if (!work.ok && !work.stopped && out.error.isEmpty())
        out.error = work.error;  // the work's own connection could not be had
    ImportDataSet& ds = source();
    DataSet& customers = dm_.customerTable;
    ds.enableControls();
    customers.enableControls();
    endProgress();
    // The customer list shows the new records (and whatever was stored
    // before a failure).
    guarded([&] { reopenCustomers(customers); });
    if (out.cancelled || work.stopped) {
        statusBar_->setPanelText(1, QStringLiteral("导入已停止"));
        showMessage(QStringLiteral("导入已停止，没有导入任何数据。"));
        return;
    }
    if (!out.existingId.isEmpty()) {
        statusBar_->setPanelText(1, QString());
        const ExistingIds choice = askExistingIds(out);
        if (choice != ExistingIds::Stop)
            startImport(choice);
        return;
    }
    if (!out.finished) {
        if (!out.error.isEmpty())
            errorreport::report(out.error);
        return;
    }
    // What was stored: rows left out (their ID was there, or nothing in
    // them) are not counted as done.
    QString done = mapping::importDoneMessage(out.stored);
    if (out.skipped)
        done += QChar(13) + QStringLiteral("其中%1行的ID已经存在，没有导入。").arg(out.skipped);
    if (out.renumbered)
        done += QChar(13) + QStringLiteral("其中%1行的ID已经存在，已作为新客户导入（使用新的ID）。").arg(out.renumbered);
    showMessage(done);
}

ExistingIds ImportWindow::askExistingIds(const RunOutcome& out)
{
    const QString text =
        QStringLiteral("导入的第%1行数据的ID“%2”在客户数据中已经存在，没有导入任何数据。")
            .arg(QString::number(out.existingRow), mapping::shownText(out.existingId)) +
        QChar(13) + QStringLiteral("可以跳过ID已经存在的行，或者把这些行作为新客户导入（使用新的ID）。");
    QMessageBox box(QMessageBox::Question, programTitle(), text, QMessageBox::NoButton, this);
    QPushButton* skip = box.addButton(QStringLiteral("跳过这些行"), QMessageBox::AcceptRole);
    QPushButton* asNew = box.addButton(QStringLiteral("作为新客户导入"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == skip)
        return ExistingIds::Skip;
    if (box.clickedButton() == asNew)
        return ExistingIds::AsNew;
    return ExistingIds::Stop;
}

void ImportWindow::runExport()
{
    ImportDataSet& ds = source();
    if (!ds.isActive())
        return;
    if (variant_ == Variant::Access ||
        connection().fileName().endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive) ||
        connection().fileName().endsWith(QLatin1String(".accdb"), Qt::CaseInsensitive)) {
        // libmdb only reads: say so before anything is prepared.
        QString error;
        ds.appendRows({}, &error);
        if (error.isEmpty())
            error = QStringLiteral("Access数据库文件只能读取，本软件不能向其中写入数据。");
        showMessage(error);
        return;
    }
    if (work_ || refuseWhileWorking(this))
        return;
    // The customer list's records are read on a thread of their own, over a
    // connection of their own, and the file is written there too.
    DataSet& customers = dm_.customerTable;
    qint64 total = 0;
    if (!guarded([&] {
            customers.checkBrowseMode();
            total = customers.isActive() ? customers.waitForCount() : 0;
        }))
        return;
    if (!customers.isActive()) {
        showMessage(mapping::exportDoneMessage(0));
        return;
    }
    const QString statement = customers.commandText();
    const ImportSource target{connection().reader(), ds.tableName(), total};
    const QStringList standard = standard_;
    const QStringList typed = numbers();
    auto result = std::make_shared<RunOutcome>();
    work_ = new BackgroundWork(&dm_.connection, QStringLiteral("导出数据"), BackgroundWork::Access::Read,
                               [=](WorkContext& cx) {
                                   *result = appendCustomers(
                                       cx.db(), statement, target, standard, typed,
                                       [&cx] { return cx.stopRequested(); },
                                       [&cx](qint64 done, qint64 all) { cx.progress(done, all); });
                               },
                               this);
    connect(work_, &BackgroundWork::progressed, this, [this](qint64 done, qint64 all) {
        showProgress(QStringLiteral("已经完成导出数据："), done, all);
    });
    startProgress(total);
    ds.disableControls();
    customers.disableControls();
    runWork(work_, this, [this, result, typed](const WorkOutcome& o) { finishExport(*result, o, typed); });
}

void ImportWindow::finishExport(RunOutcome out, const WorkOutcome& work, const QStringList& typed)
{
    work_ = nullptr;
    if (!work.ok && !work.stopped && out.error.isEmpty())
        out.error = work.error;
    ImportDataSet& ds = source();
    showProgress(QStringLiteral("已经完成导出数据："), out.count, out.count);
    ds.enableControls();
    dm_.customerTable.enableControls();
    endProgress();
    if (out.cancelled || work.stopped) {
        statusBar_->setPanelText(1, QStringLiteral("导出已停止"));
        showMessage(QStringLiteral("导出已停止，文件没有任何改动。"));
        return;
    }
    if (!out.finished) {
        if (!out.error.isEmpty())
            errorreport::report(out.error);
        return;
    }
    // The table as the file now holds it; the numbers typed stay.
    if (out.count > 0) {
        guarded([&] {
            const QString sql = ds.commandText();
            connection().close();
            connection().open();
            ds.setCommandText(sql);
            ds.open();
            recordCount_->setText(QString::number(ds.recordCount()));
        });
        for (int i = 0; i < edits_.size() && i < typed.size(); ++i)
            edits_[i]->setText(typed[i]);
    }
    showMessage(mapping::exportDoneMessage(out.count));
}

void ImportWindow::goBack()
{
    connection().close();
    close();
}

void ImportWindow::closeEvent(QCloseEvent* e)
{
    if (running_) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void ImportWindow::resizeEvent(QResizeEvent* e)
{
    QDialog::resizeEvent(e);
    statusBar_->setGeometry(0, height() - StatusBar::kHeight, width(), StatusBar::kHeight);
    statusBar_->setPanelWidth(1, std::max(50, width() - 50));
}

void ImportWindow::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (shown_)
        return;
    shown_ = true;
    // Once framed, the frame is what has the window's outer size.
    const QSize frame = frameGeometry().size() - geometry().size();
    if (!frame.isEmpty()) {
        resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
        centreOnScreen(this);
    }
}

void ImportWindow::keyPressEvent(QKeyEvent* e)
{
    // Escape must not end the window in the middle of a run.
    if (running_)
        return;
    QDialog::keyPressEvent(e);
}
