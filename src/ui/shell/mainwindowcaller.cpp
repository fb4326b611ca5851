// The main window's parts about the caller beyond the call itself: where the
// number belongs, the earlier calls beside the card, a call record saved as
// a customer, the call statistics, printing, and the desktop settings.

#include "ui/shell/mainwindow.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

#include "data/module/datamodule.h"
#include "data/module/callcustomer.h"
#include "rules/settings/desktopsettings.h"
#include "rules/errors/errorreport.h"
#include "rules/calls/numberregion.h"
#include "ui/kit/dbgrid.h"
#include "data/work/backgroundwork.h"
#include "ui/desktop/desktopmenu.h"
#include "ui/kit/message.h"
#include "ui/kit/questionwindow.h"
#include "ui/kit/workwindow.h"
#include "ui/calls/callstatisticswindow.h"
#include "ui/calls/earliercallsfollower.h"
#include "ui/records/recordprinting.h"
#include "rules/statements/tablenames.h"

namespace {

// The card's fields in the card's order, as they are printed.
const char* const kCardFields[] = {"联系人", "部门", "职务", "电话", "手机", "宅电", "公司名称", "地址", "EMAIL",
                                   "QQ",    "MSN",  "网址", "邮编", "分类1", "分类2", "事项", "答复"};

// The list of the tab in front as it is shown: the call list when it is in
// front, else the customer list.
PrintedList listOnScreen(const MainWindow& w, DataModule& dm)
{
    const bool calls = w.currentTab() == WebTab::Calls;
    return listToPrint(calls ? QStringLiteral("来电列表") : QStringLiteral("客户列表"),
                       calls ? dm.callTable : dm.customerTable, w.listColumnsToPrint());
}

}  // namespace

void MainWindow::createCallerHandlers()
{
    // The region is read from the geocoder's data, which is loaded now off
    // the window thread rather than on the first call.
    warmUpNumberRegion();

    earlierCalls_ = new EarlierCallsFollower(dm_, {firstTabCalls, customerTabCalls}, this);
    connect(saveAsCustomerButton, &QPushButton::clicked, this, &MainWindow::saveCallAsCustomer);
    connect(callStatisticsAction, &QAction::triggered, this, &MainWindow::showCallStatistics);
    connect(printCustomersAction, &QAction::triggered, this, &MainWindow::printFromMenu);

    // The desktop entries go before the clearing entries of menu 设置 (and
    // the separator above them).
    const QList<QAction*> entries = settingsMenu->actions();
    const qsizetype at = entries.indexOf(clearCustomersAction);
    QAction* clearing = at > 0 && entries[at - 1]->isSeparator() ? entries[at - 1] : clearCustomersAction;
    desktopMenu_ = new DesktopSettingsMenu(settingsMenu, clearing, desktopSettingsFile(), this);
    connect(desktopMenu_, &DesktopSettingsMenu::changed, this, &MainWindow::desktopSettingsChanged);

    // Another call record on the card may be saved as a customer again.
    connect(&dm_.callSource, &DataSource::recordChanged, this, [this] { saveAsCustomerButton->setEnabled(true); });
    setCardSource(cardSource_);
}

const DesktopSettings& MainWindow::desktopSettings() const { return desktopMenu_->settings(); }

void MainWindow::showRegion(const QString& number, const QString& region)
{
    regionLabel->setText(region);
    appendLineStatus(QStringLiteral("来电：") + number + (region.isEmpty() ? QString() : QLatin1Char(' ') + region));
}

void MainWindow::saveCallAsCustomer()
{
    SavedAsCustomer saved;
    guarded([this, &saved] { saved = ::saveCallAsCustomer(dm_); });
    if (saved.outcome == SavedAsCustomer::Outcome::Known) {
        const QString whose = saved.knownName.isEmpty() ? QStringLiteral("一位客户") : QStringLiteral("客户“") + saved.knownName + QStringLiteral("”");
        setMessage(QStringLiteral("号码 ") + saved.knownNumber + QStringLiteral(" 已是") + whose +
                   QStringLiteral("的号码，没有存为新客户。"));
        if (QuestionWindow::ask(this, QStringLiteral("号码 ") + saved.knownNumber + QStringLiteral(" 已是") + whose +
                                          QStringLiteral("的号码，没有存为新客户。\n要打开这位客户吗？")))
            showCustomer(saved.knownKey);
        return;
    }
    if (saved.outcome != SavedAsCustomer::Outcome::Saved)
        return;
    // Once is enough for this record; the button comes back on another one.
    saveAsCustomerButton->setEnabled(false);
    setMessage(QStringLiteral("已存为新客户：") + dm_.customerTable.text(QStringLiteral("联系人")) +
               QLatin1Char(' ') + dm_.customerTable.text(QStringLiteral("公司名称")));
}

void MainWindow::showCustomer(qint64 key)
{
    guarded([this, key] {
        if (dm_.customerTable.reopen(WrittenStatement::of(
                QStringLiteral("select * from 客户数据 where ID = ") + QString::number(key), tables::customers())))
            setCardSource(&dm_.customerSource);
        showTabQuietly(WebTab::Customers);
    });
}

void MainWindow::showCallStatistics()
{
    guarded([this] {
        dm_.connection.open();
        auto* w = new CallStatisticsWindow(&dm_.connection, this);
        w->compute();
        w->exec();
        delete w;
    });
}

QList<QPair<QString, QString>> MainWindow::cardToPrint(QString* title) const
{
    QList<QPair<QString, QString>> card;
    DataSet* ds = cardSource_ ? cardSource_->dataSet() : nullptr;
    const bool call = ds == &dm_.callTable;
    if (title)
        *title = call ? QStringLiteral("来电记录") : QStringLiteral("客户资料");
    const bool record = ds && ds->isActive() && ds->currentRow() >= 0 && ds->recordReadable();
    for (const char* f : kCardFields) {
        const QString field = QString::fromUtf8(f);
        card.append({field, record && ds->findField(field) >= 0 ? ds->text(field) : QString()});
    }
    return card;
}

QStringList MainWindow::listColumnsToPrint() const
{
    const DBGrid* grid = currentTab() == WebTab::Calls ? callGrid : customerGrid;
    QStringList columns;
    for (const GridColumn& c : grid->columnLayout())
        columns << c.fieldName;
    return columns;
}

void MainWindow::printRecordsTo(std::shared_ptr<QPrinter> printer)
{
    QString title;
    const auto card = cardToPrint(&title);
    const PrintedList list = listOnScreen(*this, dm_);
    if (list.isCut())
        setMessage(cutListNote(list));
    // The printer is the work's alone until it ends.
    auto* work = new BackgroundWork(
        nullptr, QStringLiteral("打印客户资料"), BackgroundWork::Access::None,
        [printer, title, card, list](WorkContext& cx) {
            cx.setText(QStringLiteral("正在打印，请稍候……"));
            PrintSteps steps;
            steps.report = [&cx](int done, int total) { cx.progress(done, total); };
            steps.stopRequested = [&cx] { return cx.stopRequested(); };
            if (!printRecords(*printer, title, card, list, steps))
                cx.checkStop();
            if (printer->printerState() == QPrinter::Error)
                throw AppError(QStringLiteral("打印失败：打印机或文件不能写入。"));
        },
        this);
    runWork(work, this, [this, printer](const WorkOutcome& outcome) {
        if (!outcome.ok && !outcome.stopped)
            showMessage(outcome.error);
        emit printingEnded(outcome.ok);
    });
}

void MainWindow::printFromMenu()
{
    if (refuseWhileWorking(this))
        return;
    guarded([this] {
        const PrintedList list = listOnScreen(*this, dm_);
        if (list.isCut())
            setMessage(cutListNote(list));
        auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        QString title;
        cardToPrint(&title);
        printer->setDocName(title);
        QPrintDialog dialog(printer.get(), this);
        dialog.setWindowTitle(list.isCut() ? QStringLiteral("打印客户资料（列表只打印前 ") +
                                                 QString::number(list.rows.size()) + QStringLiteral(" 行）")
                                           : QStringLiteral("打印客户资料"));
        if (dialog.exec() == QDialog::Accepted)
            printRecordsTo(printer);
    });
}

// ---------------------------------------------------------------------------
// A call chosen from outside the window (its notification)

void MainWindow::callLogged(qint64 key)
{
    // A shift's calls are remembered; older ones are found no more.
    constexpr int kRemembered = 200;
    loggedCalls_.insert(announcedCalls_, key);
    loggedCalls_.remove(announcedCalls_ - kRemembered);
}

void MainWindow::showCall(int tag)
{
    const auto found = loggedCalls_.constFind(tag);
    DataSet& calls = dm_.callTable;
    if (found == loggedCalls_.constEnd() || !calls.isActive())
        return;
    const int key = calls.findField(QStringLiteral("ID"));
    if (key < 0)
        return;
    // Calls come in at the top of the list: the call is among its first rows
    // unless the list is a search that does not hold it.
    constexpr int kLooked = 500;
    for (int r = 0, n = std::min(calls.rowCount(), kLooked); r < n; ++r)
        if (calls.rowValue(r, key).toLongLong() == *found) {
            setCardSource(&dm_.callSource);
            showTabQuietly(WebTab::Google);
            if (r != calls.currentRow())
                calls.moveTo(r);
            return;
        }
}
