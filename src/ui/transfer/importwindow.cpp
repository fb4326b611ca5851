#include "ui/transfer/importwindow.h"

#include <QCloseEvent>
#include <QFileDialog>
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

#include "rules/app/errorreport.h"
#include "ui/app/look.h"
#include "ui/app/message.h"
#include "ui/app/statusbar.h"
#include "data/app/datamodule.h"
#include "ui/app/workwindow.h"
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
    const QString sql = ds.commandText();
    ds.close();
    ds.setCommandText(sql);
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

    GroupBox1 = new QGroupBox(QStringLiteral("数据库标准项目"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 24, 145, 353);
    ScrollBox2 = scrollBox(GroupBox1, &standardPanel_);
    ScrollBox2->setObjectName(QStringLiteral("ScrollBox2"));
    for (auto [text, left] : {std::pair{QStringLiteral("序号"), 16}, std::pair{QStringLiteral("项目名称"), 48}})
        addLabel(standardPanel_, text, left, 10)->setStyleSheet(QStringLiteral("color: fuchsia"));

    GroupBox2 = new QGroupBox(QStringLiteral("导入数据项目"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(164, 24, 153, 353);
    ScrollBox1 = scrollBox(GroupBox2, &mappingPanel_);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    for (auto [text, left] : {std::pair{QStringLiteral("对应号"), 12}, std::pair{QStringLiteral("项目名称"), 64}})
        addLabel(mappingPanel_, text, left, 10)->setStyleSheet(QStringLiteral("color: blue"));

    Label6 = addLabel(this, QStringLiteral("即将导入的数据文件"), 332, 16);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setEnabled(false);

    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(332, 28, 356, 193);
    DBGrid1->setModel(excel ? &dm_.excelTableSource : &dm_.accessTableSource);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->verticalHeader()->setDefaultSectionSize(18);
    DBGrid1->horizontalHeader()->setDefaultSectionSize(64);
    DBGrid1->setEnabled(false);

    Label5 = addLabel(this, QStringLiteral("选择数据表"), 332, 232);
    Label7 = addLabel(this, QStringLiteral("记录数"), 416, 232);
    Edit1 = new QLineEdit(QStringLiteral("0"), this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(456, 228, 69, 20);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(332, 252, 193, 121);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->hide();

    auto button = [this](const char* name, const QString& caption, int left, int top) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, top, 75, 25);
        b->setAutoDefault(false);
        return b;
    };
    Button3 = button("Button3", QStringLiteral("导入数据"), 574, 275);
    Button1 = button("Button1", QStringLiteral("导出数据"), 572, 312);
    Button2 = button("Button2", QStringLiteral("返回"), 572, 347);

    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->addPanel(QStringLiteral("提示"), 50, Qt::AlignCenter);
    StatusBar1->addPanel(QString(), 400);
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->hide();

    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] {
        if (!running_)
            guarded([this] { ListBox1Click(); });
    });
    connect(Button3, &QPushButton::clicked, this, [this] { guarded([this] { Button3Click(); }); });
    connect(Button1, &QPushButton::clicked, this, [this] { guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { guarded([this] { Button2Click(); }); });

    FormCreate();
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

void ImportWindow::FormCreate()
{
    centreOnScreen(this);
    mappingCount_ = 0;
    CreateLabel();
    ListBox1->clear();
    ListBox1->addItems(connection().tableNames());
}

void ImportWindow::CreateLabel()
{
    if (!dm_.customerTable.isActive())
        guarded([this] { dm_.customerTable.open(); });
    standard_ = mapping::standardFields(dm_.customerTable.fieldNames(),
                                        variant_ == Variant::Excel ? QStringLiteral("序号") : QStringLiteral("ID"));
    ListBox2->clear();
    ListBox2->addItems(standard_);
    const int step = variant_ == Variant::Excel ? 18 : 16;
    for (int n = 1; n <= standard_.size(); ++n) {
        const int top = 26 + step * (n - 1);
        standardLabels_ << addLabel(standardPanel_, standard_[n - 1], 48, top);
        addLabel(standardPanel_, QString::number(n), 16, top);
    }
    fitPanel(ScrollBox2, standardPanel_, 26 + step * int(standard_.size()));
}

void ImportWindow::ListBox1Click()
{
    QListWidgetItem* item = ListBox1->currentItem();
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
    DBGrid1->setEnabled(true);
    Label6->setEnabled(true);
    DeleteEdit_XiangMu();
    CreateEdit_XiangMu();
    Edit1->setText(QString::number(ds.recordCount()));
    if (!ds.warning().isEmpty())
        showMessage(ds.warning());
}

void ImportWindow::CreateEdit_XiangMu()
{
    const ImportDataSet& ds = source();
    const QStringList columns = ds.isActive() ? ds.fieldNames() : QStringList();
    const QStringList numbers = mapping::prefilledNumbers(columns, standard_);
    for (int i = 0; i < numbers.size(); ++i) {
        auto* box = new QLineEdit(numbers[i], mappingPanel_);
        box->setObjectName(QStringLiteral("XiangMu") + QString::number(i));
        box->setGeometry(20, 26 + kRowStep * i, 18, 16);
        box->setMaxLength(2);
        box->setFrame(false);
        box->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid gray; padding: 0px; }"));
        box->show();
        edits_ << box;
        labels_ << addLabel(mappingPanel_, mapping::shownText(columns[i]), 64, 26 + kRowStep * i);
    }
    mappingCount_ = int(numbers.size());
    fitPanel(ScrollBox1, mappingPanel_, 26 + kRowStep * mappingCount_);
}

void ImportWindow::DeleteEdit_XiangMu()
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
        ScrollBox1->ensureWidgetVisible(edits_[bad]);
        return false;
    }
    return true;
}

void ImportWindow::Button3Click()
{
    if (checkBeforeRun())
        InComeData();
}

void ImportWindow::Button1Click()
{
    if (checkBeforeRun())
        OutComeData();
}

void ImportWindow::startProgress(qint64 total)
{
    running_ = true;
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Button3), static_cast<QWidget*>(ListBox1),
                       static_cast<QWidget*>(ScrollBox1)})
        w->setEnabled(false);
    const QRect panel = StatusBar1->panelRect(1);
    ProgressBar1->setGeometry(panel.right() - 200, panel.top() + 3, 196, panel.height() - 6);
    ProgressBar1->setRange(0, total > 0 ? 1000 : 0);
    ProgressBar1->setValue(0);
    ProgressBar1->show();
}

void ImportWindow::showProgress(const QString& prefix, qint64 done, qint64 total)
{
    StatusBar1->setPanelText(1, prefix + QString::number(done) + QStringLiteral("条"));
    if (total > 0)
        ProgressBar1->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
}

void ImportWindow::endProgress()
{
    running_ = false;
    ProgressBar1->hide();
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Button3), static_cast<QWidget*>(ListBox1),
                       static_cast<QWidget*>(ScrollBox1)})
        w->setEnabled(true);
}

void ImportWindow::InComeData() { startImport(ExistingIds::Stop); }

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
        StatusBar1->setPanelText(1, QStringLiteral("导入已停止"));
        showMessage(QStringLiteral("导入已停止，没有导入任何数据。"));
        return;
    }
    if (!out.existingId.isEmpty()) {
        StatusBar1->setPanelText(1, QString());
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
    QString done = mapping::importDoneMessage(out.count);
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

void ImportWindow::OutComeData()
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
            total = customers.isActive() ? customers.recordCount() : 0;
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
        StatusBar1->setPanelText(1, QStringLiteral("导出已停止"));
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
            Edit1->setText(QString::number(ds.recordCount()));
        });
        for (int i = 0; i < edits_.size() && i < typed.size(); ++i)
            edits_[i]->setText(typed[i]);
    }
    showMessage(mapping::exportDoneMessage(out.count));
}

void ImportWindow::Button2Click()
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
    StatusBar1->setGeometry(0, height() - StatusBar::kHeight, width(), StatusBar::kHeight);
    StatusBar1->setPanelWidth(1, std::max(50, width() - 50));
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

bool showImportWindow(DataModule& dm, QWidget* owner, ImportWindow::Variant v, const QString& file)
{
    const bool excel = v == ImportWindow::Variant::Excel;
    ImportConnection& c = excel ? dm.excelFile : dm.accessFile;
    c.close();
    c.setConnectionString((excel ? dm.excelConnPrefix : dm.accessConnPrefix) + file +
                          (excel ? dm.excelConnSuffix : dm.accessConnSuffix));
    if (!guarded([&] { c.open(); }))
        return false;
    ImportWindow* w = excel ? static_cast<ImportWindow*>(new ExcelImportWindow(dm, owner))
                       : static_cast<ImportWindow*>(new AccessImportWindow(dm, owner));
    w->exec();
    delete w;
    return true;
}

namespace {

void chooseAndShow(DataModule& dm, QWidget* owner, ImportWindow::Variant v)
{
    const bool excel = v == ImportWindow::Variant::Excel;
    const QString filter =
        excel ? QStringLiteral("Microsoft Excel 数据文件(*.xls *.xlsx *.csv);;"
                               "Excel 97-2003 工作簿(*.xls);;Excel 工作簿(*.xlsx);;文本数据文件(*.csv)")
              : QStringLiteral("Microsoft Acsess 数据文件(*.mdb *.accdb);;Access 2000-2003 数据库(*.mdb);;"
                               "Access 2007 数据库(*.accdb)");
    const QString file = QFileDialog::getOpenFileName(owner, QStringLiteral("请选择一个数据库文件"), QString(), filter,
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty())
        return;
    showImportWindow(dm, owner, v, file);
}

}  // namespace

void importExcelCustomers(DataModule& dm, QWidget* owner) { chooseAndShow(dm, owner, ImportWindow::Variant::Excel); }
void importAccessCustomers(DataModule& dm, QWidget* owner) { chooseAndShow(dm, owner, ImportWindow::Variant::Access); }
