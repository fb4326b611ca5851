#include "ui/shell/mainwindow.h"
#include "ui/kit/errorbox.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "data/module/datamodule.h"
#include "data/lists/reopen.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "rules/calls/callrules.h"
#include "ui/shell/aboutwindow.h"
#include "ui/kit/dbcontrols.h"
#include "ui/kit/dbgrid.h"
#include "ui/kit/look.h"
#include "ui/kit/message.h"
#include "ui/kit/numberfield.h"
#include "ui/kit/statusbar.h"
#include "ui/kit/updownbox.h"
#include "ui/kit/windowquestions.h"
#include "ui/kit/workwindow.h"
#include "ui/calls/announcement.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"
#include "ui/calls/earliercallsfollower.h"
#include "ui/calls/devicesettingswindow.h"
#include "ui/calls/deviceswitch.h"
#include "ui/calls/simulation.h"
#include "ui/lists/calllistsearch.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/fieldchoicefile.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/gridlayoutbuttons.h"
#include "ui/maintenance/maintenance.h"
#include "ui/records/card.h"
#include "ui/records/dictionary.h"
#include "ui/transfer/excelexport.h"
#include "ui/transfer/importmenu.h"
#include "ui/transfer/importwindow.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"
#include "rules/statements/tablenames.h"

const QString databaseNotOpenText =
    QStringLiteral("数据库没有打开：来电照常显示，但不能记录来电、查找或保存客户资料。");

namespace {
constexpr int kOuterWidth = 952;
constexpr int kOuterHeight = 700;
}  // namespace

MainWindow::MainWindow(DataModule& dm, CallerIdDevice& device, QWidget* parent)
    : QMainWindow(parent), dm_(dm), device_(&device)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(programTitle());
    setFont(pixelFont(QStringLiteral("宋体"), 14));
    resize(kOuterWidth, kOuterHeight);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);
    buildUpperArea();
    column->addWidget(cardPanel);
    buildTabs();
    column->addWidget(tabs, 1);
    buildStatusBar();
    column->addWidget(statusPanels);
    buildMenu();
    buildTimers();

    errorbox::install(this);
    questions_ = std::make_unique<WindowQuestions>(dm_, this);
    dm_.setQuestions(questions_.get());
    followDatabase();

    createCallHandlers();
    createListHandlers();
    createMenuHandlers();
    createCallerHandlers();
    createPhoneLine();
    folder_ = programFolder();
    showDeviceState();
    connect(device_, &CallerIdDevice::stateChanged, this, &MainWindow::showDeviceState);
}

MainWindow::~MainWindow()
{
    if (dm_.questions() == questions_.get())
        dm_.setQuestions(nullptr);
}

// The status bar follows the data module: record position, a database busy
// with another program, calls waiting for long work.
void MainWindow::followDatabase()
{
    connect(&dm_, &DataModule::recordPosition, this,
            [this](const QString& text) { statusPanels->setPanelText(PositionPanel, text); });
    // A database locked by another program is said in the message panel
    // until a statement gets through again.
    connect(&dm_.connection, &Connection::busyChanged, this, [this](bool busy) {
        static const QString busyText = QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍候……");
        if (busy) {
            messageBeforeBusy_ = panelText(MessagePanel);
            setMessage(busyText);
        } else if (panelText(MessagePanel) == busyText) {
            setMessage(messageBeforeBusy_);
        }
    });
    // Long work of the connection (an index build after an open) shows its
    // progress window.
    dm_.connection.setWorkStarter([this](BackgroundWork* work) { runWork(work, this, nullptr); });
    // Calls that arrive while long work holds the database are logged when
    // it ends; the message panel says so meanwhile.
    connect(&dm_, &DataModule::callsWaitingChanged, this, [this](int waiting) {
        if (waiting > 0 || dm_.callsCannotBeStored())
            setMessage(dm_.waitingText());
        else if (panelText(MessagePanel).startsWith(QStringLiteral("来电已记下")) ||
                 panelText(MessagePanel).startsWith(QStringLiteral("现在记不进数据库")))
            setMessage(QStringLiteral("来电已全部记入来电数据。"));
    });
    // A server that cannot be reached: how many calls wait on this
    // computer, until they are in.
    connect(&dm_, &DataModule::serverAwayChanged, this, [this](bool away, int kept) {
        if (away && dm_.serverConnecting())
            setMessage(serverConnectingText(kept));
        else if (away)
            setMessage(serverAwayText(kept));
    });
    connect(&dm_, &DataModule::serverBack, this, [this](int written) {
        setMessage(dm_.serverConnecting() ? serverReachedText(written) : serverBackText(written));
        if (dm_.serverConnecting())
            guarded([this] { dictionary_->refreshChoiceLists(); });
        // Lists that opened only now get their search fields.
        if (customerSearchField->count() == 0 && dm_.customerTable.isActive())
            fillSearchFields(customerSearchField, dm_.customerTable);
        if (callSearchField->count() == 0 && dm_.callTable.isActive())
            fillSearchFields(callSearchField, dm_.callTable);
    });
}

// The card, the dictionary, the call handling, the simulation and the tabs.
void MainWindow::createCallHandlers()
{
    CardParts cardParts;
    cardParts.band = cardPanel, cardParts.bottomStrip = bottomBar, cardParts.advertLine = advertisingLine;
    cardParts.customers = &dm_.customerSource;
    cardParts.editDictionary = [this](DBComboBox& field) { dictionary_->editDictionary(field); };
    card_ = new CustomerCard(cardParts, this);
    DictionaryParts dict;
    dict.dm = &dm_, dict.statementBuffer = &statements_, dict.owner = this;
    dict.choiceFields = card_->choiceFields();
    dictionary_ = new Dictionary(dict, this);
    contactField = card_->contactField();
    setCardSource(&dm_.customerSource);  // with the advertising look the card is built with

    webTabs_ = new WebTabs(dm_, *this, this);
    connect(tabs, &QTabWidget::currentChanged, this, [this] {
        if (!quietTabChange_)
            guarded([this] { webTabs_->onTabChanged(); });
    });

    calls_ = new CallHandling(dm_, *device_, *this, statements_, this);
    connect(numberField, &QLineEdit::returnPressed, this, [this] {
        // Longer than any telephone number: typed into an old number, most
        // likely.  Refused, and selected to be typed over.
        if (numberDigits(numberField->text()).size() > kLongestNumberDigits) {
            numberField->selectAll();
            showMessage(QStringLiteral("号码“") + numberField->text() + QStringLiteral("”超过") +
                        QString::number(kLongestNumberDigits) + QStringLiteral("位数字，不是电话号码，请重新输入。"));
            return;
        }
        calls_->onNumberEntered();
        // Now the last call's number: the next click selects it too.
        numberField->setModified(false);
    });

    // A simulated call is handled in full before the tab change runs.
    simulation_ = new CallSimulation(
        [this](const QString& number) {
            calls_->setNumber(number);
            calls_->finishPending();
            webTabs_->onTabChanged();
        },
        this);
    connect(simulationButton, &QPushButton::clicked, this, [this] { guarded([this] { simulation_->toggle(); }); });
    connect(simulation_, &CallSimulation::runningChanged, this, [this](bool running) {
        simulationButton->setText(running ? QStringLiteral("停止") : QStringLiteral("测试"));
    });
}

// The list tabs: searches, field choices and grid layouts.
void MainWindow::createListHandlers()
{
    callList_ = new CallListSearch(dm_.callTable, callSearchField, callSearchText, callSearchButton, callYearBox,
                                   callMonthBox, callDayBox,
                                   {[this] { return panelText(MessagePanel); },
                                    [this](const QString& text) { setMessage(text); }},
                                   this);
    for (UpDownBox* b : {callYearBox, callMonthBox, callDayBox})
        connect(b, &UpDownBox::clicked, callList_, [this] { guarded([this] { callList_->searchByDate(); }); });
    customerList_ = new CustomerList(
        dm_.customerTable,
        {customerSearchField, customerSearchText, customerSearchButton, showAllCustomersButton, categoryTree,
         customerGrid},
        [this](const QString& text) { setMessage(text); }, [this] { openCustomers(); },
        [this] { return currentTab() == WebTab::Customers; }, this);
    callFieldChoice_ = new FieldChoiceFile(callSearchField, QStringLiteral("ldfield.dat"), this);
    customerFieldChoice_ = new FieldChoiceFile(customerSearchField, QStringLiteral("khfield.dat"), this);
    customerGridLayout_ = new GridLayoutButtons(
        *customerGrid, *customerEvenWidthsButton->parentWidget(), 3, QStringLiteral("DBGrid1.dat"),
        customerEvenWidthsButton, customerSaveLayoutButton, customerResetLayoutButton, this);
    callGridLayout_ = new GridLayoutButtons(*callGrid, *callEvenWidthsButton->parentWidget(), 2,
                                            QStringLiteral("DBGrid2.dat"), callEvenWidthsButton,
                                            callSaveLayoutButton, callResetLayoutButton, this);
}

// What the menu entries run.
void MainWindow::createMenuHandlers()
{
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    connect(supportAction, &QAction::triggered, this, &MainWindow::visitSupportSite);
    connect(aboutAction, &QAction::triggered, this, &MainWindow::showAbout);
    // Import of customers from Excel and Access files.
    connect(importExcelAction, &QAction::triggered, this, [this] { guarded([this] { importExcelCustomers(dm_, this); }); });
    connect(importAccessAction, &QAction::triggered, this,
            [this] { guarded([this] { importAccessCustomers(dm_, this); }); });
    connect(searchListAction, &QAction::triggered, this,
            [this] { guarded([this] { customerList_->editSearchList(this); }); });

    // Export to workbooks: customers and calls.
    excelExport_ = new ExcelExport(dm_, this);
    connect(exportCustomersAction, &QAction::triggered, this,
            [this] { guarded([this] { excelExport_->exportCustomers(); }); });
    connect(exportCallsAction, &QAction::triggered, this, [this] { guarded([this] { excelExport_->exportCalls(); }); });

    maintenance_ = new Maintenance(dm_, this, [this] { activate(); });
    maintenance_->setStatusText([this](const QString& text) { setMessage(text); });
    connect(compactAction, &QAction::triggered, maintenance_, &Maintenance::compact);
    connect(backupAction, &QAction::triggered, maintenance_, &Maintenance::backUp);
    connect(restoreAction, &QAction::triggered, maintenance_, &Maintenance::restore);
    connect(clearCustomersAction, &QAction::triggered, maintenance_, &Maintenance::clearCustomers);
    connect(clearCallsAction, &QAction::triggered, maintenance_, &Maintenance::clearCalls);

    // Caller-ID device: its choice window, when the device can be switched.
    deviceAction->setEnabled(qobject_cast<DeviceSwitch*>(device_) != nullptr);
    connect(deviceAction, &QAction::triggered, this, &MainWindow::chooseDevice);
}

// ---------------------------------------------------------------------------
// Events

void MainWindow::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (firstShowDone_)
        return;
    firstShowDone_ = true;
    // Once the window manager has framed the window, the frame is what has
    // the fixed outer size; then the activation step runs (unless it has run
    // already before the window was shown).
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QSize frame = frameGeometry().size() - geometry().size();
            if (!frame.isEmpty())
                resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
            if (activationRun_ == 0)
                activateInTurns();
        },
        Qt::QueuedConnection);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    statusPanels->setPanelWidth(MessagePanel, frameGeometry().width() - 350 - kMissedPanelWidth);
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    const QList<BackgroundWork*> working = BackgroundWork::allRunning();
    if (working.isEmpty()) {
        dm_.finishForExit();
        QMainWindow::closeEvent(e);
        return;
    }
    e->ignore();
    if (closingAfterWork_)
        return;
    closingAfterWork_ = true;
    setMessage(QStringLiteral("正在停止“") + working.first()->what() + QStringLiteral("”，停止后关闭软件……"));
    for (BackgroundWork* work : working) {
        connect(work, &BackgroundWork::finished, this, [this] {
            // Closed in a turn of its own, once the work's own endings ran.
            QTimer::singleShot(0, this, [this] {
                closingAfterWork_ = false;
                close();
            });
        });
        work->stop();
    }
}

void MainWindow::setCardSource(DataSource* source)
{
    cardSource_ = source;
    card_->setDataSource(source);
    // A call record can become a customer; the earlier calls follow the card.
    saveAsCustomerButton->setVisible(source == &dm_.callSource);
    saveAsCustomerButton->setEnabled(true);
    if (earlierCalls_)
        earlierCalls_->follow(source);
}

void MainWindow::setCardMode(int mode)
{
    if (mode != 0 && mode != 1)
        return;
    cardMode_ = mode;
    card_->setLook(mode);
}

QString MainWindow::panelText(Panel panel) const { return statusPanels->panelText(panel); }

void MainWindow::setMessage(const QString& text) { statusPanels->setPanelText(MessagePanel, text); }

void MainWindow::showClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    statusPanels->setPanelText(ClockPanel, now.date().toString(QStringLiteral("yyyy-M-d")) + QLatin1Char(' ') +
                                               now.time().toString(QStringLiteral("H:mm:ss")));
}

void MainWindow::focusCard()
{
    cardFocusTimer->stop();
    if (contactField)
        contactField->setFocus();
}

void MainWindow::showAbout()
{
    auto* about = new AboutWindow(this);
    about->exec();
    delete about;
}

void MainWindow::visitSupportSite() { QDesktopServices::openUrl(QUrl(webaddr::supportSite)); }

void MainWindow::showDeviceState()
{
    deviceState_ = device_->queryState() == 1 ? QStringLiteral("来电显示设备正常！") : QStringLiteral("来电显示设备存在！");
    setMessage(deviceState_);
    emit deviceStateChanged(deviceState_);
}

void MainWindow::chooseDevice()
{
    auto* hub = qobject_cast<DeviceSwitch*>(device_);
    if (!hub)
        return;
    auto* w = new DeviceSettingsWindow(*hub, deviceSettingFile(), this);
    w->exec();
    delete w;
}

// ---------------------------------------------------------------------------
// What the call handling and the web tabs ask of the window

QString MainWindow::number() const { return numberField->text(); }

void MainWindow::showNumber(const QString& number) { numberField->setText(number); }

void MainWindow::announce(const QString& text)
{
    ++announcedCalls_;
    announcement->announce(text);
    emit callAnnounced(text);
}

void MainWindow::appendLineStatus(const QString& line) { lineStatus->appendPlainText(line); }

void MainWindow::searchWeb(const QString& number)
{
    // An office that keeps its callers' numbers to itself turns this off;
    // the tabs then keep their pages.
    if (desktopSettings().searchTheWeb)
        webTabs_->searchNumber(number);
}

void MainWindow::showTabQuietly(WebTab which)
{
    QWidget* page = tab(which);
    if (tabs->currentWidget() == page)
        return;
    quietTabChange_ = true;
    tabs->setCurrentWidget(page);
    quietTabChange_ = false;
}

void MainWindow::showCustomerSidePage(const QString& address) { customerSideBrowser->navigate(address); }

QWidget* MainWindow::tab(WebTab which) const
{
    switch (which) {
    case WebTab::Google: return googleTab;
    case WebTab::Yahoo: return yahooTab;
    case WebTab::Baidu: return baiduTab;
    case WebTab::Customers: return customerTab;
    case WebTab::Calls: return callTab;
    case WebTab::Info: return infoTab;
    case WebTab::Update: return updateTab;
    }
    return nullptr;
}

WebTab MainWindow::currentTab() const { return WebTab(tabs->currentIndex()); }

void MainWindow::setTabCaption(WebTab which, const QString& caption) { tabs->setTabText(int(which), caption); }

void MainWindow::navigate(WebTab which, const QString& address)
{
    Browser* b = which == WebTab::Google  ? googleBrowser
                 : which == WebTab::Yahoo ? yahooBrowser
                 : which == WebTab::Baidu ? baiduBrowser
                 : which == WebTab::Info  ? infoBrowser
                 : which == WebTab::Update ? updateBrowser
                                           : nullptr;
    if (b)
        b->navigate(address);
}

void MainWindow::navigateSide(WebTab which, const QString& address)
{
    Browser* b = which == WebTab::Google      ? googleSideBrowser
                 : which == WebTab::Yahoo     ? yahooSideBrowser
                 : which == WebTab::Baidu     ? baiduSideBrowser
                 : which == WebTab::Customers ? customerSideBrowser
                 : which == WebTab::Calls     ? callSideBrowser
                                               : nullptr;
    if (b)
        b->navigate(address);
}
