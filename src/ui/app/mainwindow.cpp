#include "ui/app/mainwindow.h"

#include "ui/app/workwindow.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/app/aboutwindow.h"
#include "ui/app/look.h"
#include "rules/app/errorreport.h"
#include "rules/app/paths.h"
#include "ui/app/statusbar.h"
#include "rules/app/textfile.h"
#include "ui/transfer/importmenu.h"
#include "ui/transfer/importwindow.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"
#include "ui/calls/devicesettingswindow.h"
#include "ui/calls/deviceswitch.h"
#include "ui/calls/simulation.h"
#include "data/app/datamodule.h"
#include "ui/app/dbcontrols.h"
#include "ui/app/dbgrid.h"
#include "ui/app/windowquestions.h"
#include "ui/lists/calllistsearch.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/fieldchoicefile.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/gridlayoutbuttons.h"
#include "ui/maintenance/maintenance.h"
#include "ui/records/card.h"
#include "ui/records/dictionary.h"
#include "ui/transfer/excelexport.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"

const QString databaseNotOpenText =
    QStringLiteral("数据库没有打开：来电照常显示，但不能记录来电、查找或保存客户资料。");

namespace {

constexpr int kOuterWidth = 952;
constexpr int kOuterHeight = 700;
constexpr int kBandHeight = 261;
constexpr int kTopStripHeight = 41;
constexpr int kBottomBarHeight = 32;
constexpr int kSidePanelWidth = 300;
constexpr int kFreeBelowWindow = 28;

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    w->setPalette(p);
}

void noMargins(QLayout* l)
{
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(0);
}

}  // namespace

void NumberField::paintEvent(QPaintEvent* e)
{
    QLineEdit::paintEvent(e);
    if (!text().isEmpty() || hint_.isEmpty())
        return;
    // The hint in grey and small enough to fit the field.
    QPainter p(this);
    QFont f = font();
    f.setPixelSize(14);
    p.setFont(f);
    p.setPen(QColor(Qt::gray));
    p.drawText(rect().adjusted(6, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, hint_);
}

void UpDownBox::stepBy(int steps)
{
    const int before = value();
    QSpinBox::stepBy(steps);
    if (value() != before)
        emit clicked();
}

MainWindow::MainWindow(DataModule& dm, CallerIdDevice& device, QWidget* parent)
    : QMainWindow(parent), device_(&device), dm_(dm)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(programTitle());
    setFont(pixelFont(QStringLiteral("宋体"), 14));
    resize(kOuterWidth, kOuterHeight);

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    noMargins(column);
    setCentralWidget(central);

    buildUpperArea();
    column->addWidget(cardPanel);
    buildTabs();
    column->addWidget(tabs, 1);
    buildStatusBar();
    column->addWidget(statusPanels);
    buildMenu();
    buildTimers();

    errorreport::setOwner(this);
    dm_.setOwnerWindow(this);
    questions_ = std::make_unique<WindowQuestions>(dm_, this);
    dm_.setQuestions(questions_.get());
    connect(&dm_, &DataModule::recordPosition, this,
            [this](const QString& text) { statusPanels->setPanelText(PositionPanel, text); });
    // A database locked by another program is said in the message panel
    // until a statement gets through again.
    connect(&dm_.connection, &Connection::busyChanged, this, [this](bool busy) {
        static const QString busyText = QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍候……");
        if (busy) {
            messageBeforeBusy_ = statusPanels->panelText(MessagePanel);
            statusPanels->setPanelText(MessagePanel, busyText);
        } else if (statusPanels->panelText(MessagePanel) == busyText) {
            statusPanels->setPanelText(MessagePanel, messageBeforeBusy_);
        }
    });
    // Long work of the connection (an index build after an open) shows its
    // progress window.
    dm_.connection.setWorkStarter([this](BackgroundWork* work) { runWork(work, this, nullptr); });
    // Calls that arrive while long work holds the database are logged when
    // it ends; the message panel says so meanwhile.
    connect(&dm_, &DataModule::callsWaitingChanged, this, [this](int waiting) {
        if (waiting > 0)
            statusPanels->setPanelText(MessagePanel, callsWaitingText(dm_.connection.writesHeldBy(), waiting));
        else if (statusPanels->panelText(MessagePanel).startsWith(QStringLiteral("来电已记下")))
            statusPanels->setPanelText(MessagePanel, QStringLiteral("来电已全部记入来电数据。"));
    });

    {
        CardParts card;
        card.band = cardPanel, card.bottomStrip = bottomBar, card.advertLine = advertisingLine;
        card.customers = &dm_.customerSource;
        card.editDictionary = [this](DBComboBox& field) { dictionary->editDictionary(field); };
        Card = new CustomerCard(card, this);
        DictionaryParts dict;
        dict.dm = &dm_, dict.statementBuffer = statementBuffer, dict.owner = this;
        dict.choiceFields = Card->choiceFields();
        dictionary = new Dictionary(dict, this);
    }
    contactField = Card->contactField();
    setCardSource(&dm_.customerSource);  // with the advertising look the card is built with
    // The handlers get the controls and services they use.
    {
        auto bind = [this](DataSource* s) { setCardSource(s); };
        WebTabParts t;
        t.tabs = tabs;
        t.googleTab = googleTab, t.yahooTab = yahooTab, t.baiduTab = baiduTab;
        t.customerTab = customerTab, t.callTab = callTab, t.infoTab = infoTab;
        t.googleBrowser = googleBrowser, t.yahooBrowser = yahooBrowser, t.baiduBrowser = baiduBrowser;
        t.googleSideBrowser = googleSideBrowser, t.yahooSideBrowser = yahooSideBrowser, t.baiduSideBrowser = baiduSideBrowser;
        t.customerSideBrowser = customerSideBrowser, t.callSideBrowser = callSideBrowser;
        t.dm = &dm_;
        t.setCardSource = bind;
        t.setCardMode = [this](int mode) { setCardMode(mode); };
        webTabs = new WebTabs(t, this);

        CallParts c;
        c.numberField = numberField, c.announcement = announcement, c.lineStatus = lineStatus, c.statementBuffer = statementBuffer;
        c.blinkTimer = blinkTimer, c.background = this, c.device = device_, c.dm = &dm_;
        c.webTabs = webTabs, c.googleTab = googleTab, c.customerTab = customerTab, c.customerSideBrowser = customerSideBrowser;
        c.setCardSource = bind;
        calls = new CallHandling(c, this);

        SimulationParts sim;
        sim.simulationButton = simulationButton, sim.simulationTimer = simulationTimer, sim.testNumbers = testNumbers;
        // A simulated call is handled in full before the tab change runs.
        sim.setNumber = [this](const QString& n) {
            calls->setNumber(n);
            calls->finishPending();
        };
        sim.onTabChanged = [this] { webTabs->onTabChanged(); };
        simulation = new CallSimulation(sim, this);
    }

    // The list tabs: call list searches, field choices and grid layouts.
    callList = new CallListSearch(
        dm_.callTable, callSearchField, callSearchText, callSearchButton, callYearBox, callMonthBox, callDayBox,
        {[this] { return statusPanels->panelText(MessagePanel); },
         [this](const QString& text) { statusPanels->setPanelText(MessagePanel, text); }},
        this);
    for (UpDownBox* b : {callYearBox, callMonthBox, callDayBox})
        connect(b, &UpDownBox::clicked, callList, [this] { guarded([this] { callList->searchByDate(); }); });
    customerList = new CustomerList(
        dm_.customerTable, {customerSearchField, customerSearchText, customerSearchButton, showAllCustomersButton, categoryTree, customerGrid},
        [this](const QString& text) { statusPanels->setPanelText(MessagePanel, text); },
        [this] { openCustomers(); }, [this] { return tabs->currentWidget() == customerTab; },
        this);
    connect(miSearchList, &QAction::triggered, this,
            [this] { guarded([this] { customerList->editSearchList(this); }); });
    callFieldChoice = new FieldChoiceFile(callSearchField, QStringLiteral("ldfield.dat"), this);
    customerFieldChoice = new FieldChoiceFile(customerSearchField, QStringLiteral("khfield.dat"), this);
    customerGridLayout = new GridLayoutButtons(*customerGrid, *customerEvenWidthsButton->parentWidget(), 3,
                                        QStringLiteral("DBGrid1.dat"), customerEvenWidthsButton, customerSaveLayoutButton, customerResetLayoutButton, this);
    callGridLayout = new GridLayoutButtons(*callGrid, *callEvenWidthsButton->parentWidget(), 2,
                                        QStringLiteral("DBGrid2.dat"), callEvenWidthsButton, callSaveLayoutButton, callResetLayoutButton, this);

    // Export to workbooks: customers and calls.
    excelExport = new ExcelExport(dm_, this);
    connect(miExportCustomers, &QAction::triggered, this, [this] { guarded([this] { excelExport->exportCustomers(); }); });
    connect(miExportCalls, &QAction::triggered, this,
            [this] { guarded([this] { excelExport->exportCalls(); }); });

    maintenance = new Maintenance(dm_, this, [this] { activate(); });
    maintenance->setStatusText([this](const QString& text) { statusPanels->setPanelText(MessagePanel, text); });
    connect(miCompact, &QAction::triggered, maintenance, &Maintenance::compact);
    connect(miBackup, &QAction::triggered, maintenance, &Maintenance::backUp);
    connect(miRestore, &QAction::triggered, maintenance, &Maintenance::restore);
    connect(miClearCustomers, &QAction::triggered, maintenance, &Maintenance::clearCustomers);
    connect(miClearCalls, &QAction::triggered, maintenance, &Maintenance::clearCalls);
    folder_ = programFolder();
    showDeviceState();

    // Caller-ID device: its choice window and its state in the message panel.
    miDevice = new QAction(QStringLiteral("来电设备设置"), this);
    MenuSettings->insertAction(MenuSettings->actions().value(
                                   MenuSettings->actions().indexOf(miSearchList) + 1),
                               miDevice);
    miDevice->setEnabled(qobject_cast<DeviceSwitch*>(device_) != nullptr);
    connect(miDevice, &QAction::triggered, this, &MainWindow::chooseDevice);
    connect(device_, &CallerIdDevice::stateChanged, this, &MainWindow::showDeviceState);
}

MainWindow::~MainWindow()
{
    if (dm_.ownerWindow() == this)
        dm_.setOwnerWindow(nullptr);
    if (dm_.questions() == questions_.get())
        dm_.setQuestions(nullptr);
}

// ---------------------------------------------------------------------------
// Building the window

void MainWindow::buildUpperArea()
{
    cardPanel = new QWidget(this);
    cardPanel->setObjectName(QStringLiteral("cardPanel"));
    cardPanel->setFixedHeight(kBandHeight);
    auto* band = new QVBoxLayout(cardPanel);
    noMargins(band);

    // Top strip: announcement at the left, the current call at the right.
    topStrip = new QWidget(cardPanel);
    topStrip->setFixedHeight(kTopStripHeight);
    auto* strip = new QHBoxLayout(topStrip);
    noMargins(strip);
    strip->setContentsMargins(160, 0, 0, 0);

    announcement = new QLabel(topStrip);
    announcement->setObjectName(QStringLiteral("announcement"));
    announcement->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(announcement, Qt::red);
    announcement->setFixedWidth(220);
    strip->addWidget(announcement);
    strip->addStretch(1);

    auto* callGroup = new QWidget(topStrip);
    callGroup->setFixedSize(557, kTopStripHeight);
    strip->addWidget(callGroup);

    simulationButton = new QPushButton(QStringLiteral("测试"), callGroup);
    simulationButton->setFont(pixelFont(QStringLiteral("宋体"), 12));
    simulationButton->setGeometry(0, 8, 70, 25);

    numberCaption = new QLabel(QStringLiteral("当前打进电话："), callGroup);
    numberCaption->setGeometry(72, 12, 100, 18);

    auto* field = new NumberField(callGroup);
    field->setHint(QStringLiteral("输入号码后按回车"));
    numberField = field;
    numberField->setObjectName(QStringLiteral("numberField"));
    numberField->setFont(pixelFont(QStringLiteral("宋体"), 29));
    setTextColour(numberField, Qt::red);
    numberField->setGeometry(172, 2, 201, 37);

    // The caller-ID box's place; the line status box covers most of it.
    deviceSlot = new QWidget(callGroup);
    deviceSlot->setObjectName(QStringLiteral("deviceSlot"));
    deviceSlot->setGeometry(376, 4, 113, 32);

    lineStatus = new QPlainTextEdit(callGroup);
    lineStatus->setObjectName(QStringLiteral("lineStatus"));
    lineStatus->setReadOnly(true);
    lineStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lineStatus->setFont(pixelFont(QStringLiteral("宋体"), 12));
    lineStatus->setGeometry(557 - 168, 0, 168, kTopStripHeight);

    statementBuffer = new QPlainTextEdit(topStrip);
    statementBuffer->setObjectName(QStringLiteral("statementBuffer"));
    statementBuffer->hide();

    band->addWidget(topStrip);
    band->addStretch(1);  // the card's controls sit here, placed by hand

    // Bottom bar: advertising line at the left, motto at the right.  The
    // card's record buttons are placed on it by hand as well.
    bottomBar = new QWidget(cardPanel);
    bottomBar->setFixedHeight(kBottomBarHeight);
    auto* bar = new QHBoxLayout(bottomBar);
    noMargins(bar);
    advertisingLine = new QLabel(
        QStringLiteral("Tavrin来电显示——电话一响，客户资料自动弹出！咨询电话：0571-88880000"),
        bottomBar);
    advertisingLine->setObjectName(QStringLiteral("advertisingLine"));
    setTextColour(advertisingLine, Qt::blue);
    bar->addWidget(advertisingLine);
    bar->addStretch(1);
    motto = new QLabel(QStringLiteral("知己知彼  百战不殆"), bottomBar);
    motto->setObjectName(QStringLiteral("motto"));
    motto->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(motto, Qt::blue);
    motto->setFixedWidth(270);
    motto->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar->addWidget(motto);
    band->addWidget(bottomBar);
}

namespace {

// A tab with a main area at the left and a 300-px side panel at the right.
QWidget* splitTab(QWidget* tab, QWidget* mainArea, QWidget* sidePanel)
{
    auto* row = new QHBoxLayout(tab);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(mainArea, 1);
    sidePanel->setFixedWidth(kSidePanelWidth);
    row->addWidget(sidePanel);
    return tab;
}

// The side panel of the list tabs: side browser above three layout buttons.
QWidget* listSidePanel(QWidget* parent, Browser* side, QPushButton*& even, QPushButton*& save,
                       QPushButton*& reset)
{
    auto* panel = new QWidget(parent);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(2);
    side->setParent(panel);
    col->addWidget(side, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(4, 2, 4, 2);
    even = new QPushButton(QStringLiteral("平均列宽"), panel);
    save = new QPushButton(QStringLiteral("保存设置"), panel);
    reset = new QPushButton(QStringLiteral("初始化"), panel);
    for (QPushButton* b : {even, save, reset}) {
        b->setFixedHeight(25);
        buttons->addWidget(b);
    }
    col->addLayout(buttons);
    return panel;
}

UpDownBox* dateBox(QWidget* parent, int low, int high, int width)
{
    auto* box = new UpDownBox(parent);
    box->setRange(low, high);
    box->setValue(low);
    box->setSingleStep(1);
    box->setWrapping(false);
    box->setFixedWidth(width);
    return box;
}

}  // namespace

void MainWindow::buildTabs()
{
    tabs = new QTabWidget(this);
    tabs->setObjectName(QStringLiteral("tabs"));

    auto newTab = [this](QWidget*& tab, const char* name, const QString& caption) {
        tab = new QWidget(tabs);
        tab->setObjectName(QLatin1String(name));
        tabs->addTab(tab, caption);
    };
    newTab(googleTab, "googleTab", webaddr::productCaption1);
    newTab(yahooTab, "yahooTab", webaddr::productCaption2);
    newTab(baiduTab, "baiduTab", webaddr::productCaption3);
    newTab(customerTab, "customerTab", QStringLiteral("客户列表"));
    newTab(callTab, "callTab", QStringLiteral("来电列表"));
    newTab(infoTab, "infoTab", QStringLiteral("信息查询"));
    newTab(updateTab, "updateTab", QStringLiteral("来电软件更新"));

    // Tabs 1 to 3: a browser and a side browser.
    googleBrowser = createBrowser(googleTab);
    googleSideBrowser = createBrowser(googleTab);
    splitTab(googleTab, googleBrowser, googleSideBrowser);
    yahooBrowser = createBrowser(yahooTab);
    yahooSideBrowser = createBrowser(yahooTab);
    splitTab(yahooTab, yahooBrowser, yahooSideBrowser);
    baiduBrowser = createBrowser(baiduTab);
    baiduSideBrowser = createBrowser(baiduTab);
    splitTab(baiduTab, baiduBrowser, baiduSideBrowser);

    testNumbers = new QListWidget(googleTab);
    testNumbers->hide();

    // Tab 4: customer list.
    {
        auto* area = new QWidget(customerTab);
        auto* col = new QVBoxLayout(area);
        col->setContentsMargins(2, 2, 0, 0);
        col->setSpacing(2);
        auto* search = new QHBoxLayout;
        search->setSpacing(4);
        showAllCustomersButton = new QPushButton(QStringLiteral("显示所有数据"), area);
        customerSearchCaption = new QLabel(QStringLiteral("查："), area);
        customerSearchField = new QComboBox(area);
        customerSearchField->setFixedWidth(120);
        customerSearchText = new QLineEdit(area);
        customerSearchText->setFixedWidth(130);
        customerSearchButton = new QPushButton(QStringLiteral("查询"), area);
        search->addWidget(showAllCustomersButton);
        search->addWidget(customerSearchCaption);
        search->addWidget(customerSearchField);
        search->addWidget(customerSearchText);
        search->addWidget(customerSearchButton);
        search->addStretch(1);
        col->addLayout(search);

        auto* body = new QHBoxLayout;
        body->setSpacing(2);
        categoryTree = new QTreeWidget(area);
        categoryTree->setHeaderLabel(QStringLiteral("客户分类"));
        categoryTree->setIndentation(19);
        categoryTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
        categoryTree->setFixedWidth(160);
        customerGrid = new DBGrid(area);
        customerGrid->setObjectName(QStringLiteral("customerGrid"));
        customerGrid->setDataSource(&dm_.customerSource);
        body->addWidget(categoryTree);
        body->addWidget(customerGrid, 1);
        col->addLayout(body, 1);

        customerSideBrowser = createBrowser(customerTab);
        QWidget* side = listSidePanel(customerTab, customerSideBrowser, customerEvenWidthsButton, customerSaveLayoutButton, customerResetLayoutButton);
        splitTab(customerTab, area, side);
    }

    // Tab 5: call list.
    {
        auto* area = new QWidget(callTab);
        auto* col = new QVBoxLayout(area);
        col->setContentsMargins(2, 2, 0, 0);
        col->setSpacing(2);
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        callDateCaption = new QLabel(QStringLiteral("显示来电"), area);
        callYearBox = dateBox(area, 2002, 9999, 72);
        callYearBox->setGroupSeparatorShown(true);
        callMonthBox = dateBox(area, 1, 12, 48);
        callDayBox = dateBox(area, 1, 31, 48);
        callSearchCaption = new QLabel(QStringLiteral("查："), area);
        callSearchField = new QComboBox(area);
        callSearchField->setFixedWidth(120);
        callSearchText = new QLineEdit(area);
        callSearchText->setFixedWidth(120);
        callSearchButton = new QPushButton(QStringLiteral("查询"), area);
        row->addWidget(callDateCaption);
        row->addWidget(callYearBox);
        row->addWidget(callMonthBox);
        row->addWidget(callDayBox);
        row->addSpacing(12);
        row->addWidget(callSearchCaption);
        row->addWidget(callSearchField);
        row->addWidget(callSearchText);
        row->addWidget(callSearchButton);
        row->addStretch(1);
        col->addLayout(row);
        callGrid = new DBGrid(area);
        callGrid->setObjectName(QStringLiteral("callGrid"));
        callGrid->setDataSource(&dm_.callSource);
        col->addWidget(callGrid, 1);

        callSideBrowser = createBrowser(callTab);
        QWidget* side = listSidePanel(callTab, callSideBrowser, callEvenWidthsButton, callSaveLayoutButton, callResetLayoutButton);
        splitTab(callTab, area, side);
    }

    // Tabs 6 and 7: one browser over the whole tab.
    infoBrowser = createBrowser(infoTab);
    auto* l6 = new QVBoxLayout(infoTab);
    l6->setContentsMargins(0, 0, 0, 0);
    l6->addWidget(infoBrowser);
    updateBrowser = createBrowser(updateTab);
    auto* l7 = new QVBoxLayout(updateTab);
    l7->setContentsMargins(0, 0, 0, 0);
    l7->addWidget(updateBrowser);

    tabs->setCurrentIndex(0);
}

void MainWindow::buildStatusBar()
{
    statusPanels = new StatusBar(this);
    statusPanels->setObjectName(QStringLiteral("statusPanels"));
    // 12 px so that "记录/总数" fits its 62-px panel.
    statusPanels->setFont(pixelFont(QStringLiteral("宋体"), 12));
    statusPanels->addPanel(QStringLiteral("提示"), 32);
    statusPanels->addPanel(QString(), 650);
    statusPanels->addPanel(QStringLiteral("记录/总数"), 62);
    statusPanels->addPanel(QString(), 80, Qt::AlignHCenter);
    statusPanels->addPanel(QStringLiteral("时间"), 32);
    statusPanels->addPanel(QString(), 100, Qt::AlignHCenter);
}

void MainWindow::buildMenu()
{
    QMenuBar* bar = menuBar();

    MenuData = bar->addMenu(QStringLiteral("数据管理[&D]"));
    miImportExcel = MenuData->addAction(QStringLiteral("导入客户数据(excel格式）"));
    miImportAccess = MenuData->addAction(QStringLiteral("导入客户数据(Access格式）"));
    miExportCustomers = MenuData->addAction(QStringLiteral("导出客户数据(excel)"));
    miExportCalls = MenuData->addAction(QStringLiteral("导出来电数据(excel)"));
    MenuData->addSeparator();
    miCompact = MenuData->addAction(QStringLiteral("压缩数据库"));
    miBackup = MenuData->addAction(QStringLiteral("备份数据库"));
    miRestore = MenuData->addAction(QStringLiteral("恢复数据库"));
    MenuData->addSeparator();
    miExit = MenuData->addAction(QStringLiteral("退出软件"));

    MenuPrint = bar->addMenu(QStringLiteral("打印[&P}"));
    miPrintCustomers = MenuPrint->addAction(QStringLiteral("打印客户资料"));

    MenuSettings = bar->addMenu(QStringLiteral("设置[s&E]"));
    miSearchList = MenuSettings->addAction(QStringLiteral("设置查询列表"));
    MenuSettings->addSeparator();
    miClearCustomers = MenuSettings->addAction(QStringLiteral("清空客户数据"));
    miClearCalls = MenuSettings->addAction(QStringLiteral("清空来电数据"));

    MenuHelp = bar->addMenu(QStringLiteral("帮助[&H]"));
    miSupport = MenuHelp->addAction(QStringLiteral("访问技术支持网站"));
    miAbout = MenuHelp->addAction(QStringLiteral("关于软件"));

    miClose = bar->addAction(QStringLiteral("关闭软件"));

    connect(miExit, &QAction::triggered, this, &QWidget::close);
    connect(miClose, &QAction::triggered, this, &QWidget::close);
    connect(miSupport, &QAction::triggered, this, &MainWindow::visitSupportSite);
    connect(miAbout, &QAction::triggered, this, &MainWindow::showAbout);
    // Import of customers from Excel and Access files.
    connect(miImportExcel, &QAction::triggered, this, [this] { guarded([this] { importExcelCustomers(dm_, this); }); });
    connect(miImportAccess, &QAction::triggered, this, [this] { guarded([this] { importAccessCustomers(dm_, this); }); });
}

void MainWindow::buildTimers()
{
    auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        return t;
    };
    clockTimer = timer("clockTimer", 1000);
    blinkTimer = timer("blinkTimer", 1000);
    cardFocusTimer = timer("cardFocusTimer", 2000);
    simulationTimer = timer("simulationTimer", 3000);
    connect(clockTimer, &QTimer::timeout, this, &MainWindow::showClock);
    connect(cardFocusTimer, &QTimer::timeout, this, &MainWindow::focusCard);
    clockTimer->start();
}

// ---------------------------------------------------------------------------
// Events

void MainWindow::showDeviceState()
{
    statusPanels->setPanelText(MessagePanel, device_->queryState() == 1
                                               ? QStringLiteral("来电显示设备正常！")
                                               : QStringLiteral("来电显示设备存在！"));
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

void MainWindow::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    if (firstShowDone_)
        return;
    firstShowDone_ = true;
    // Once the window manager has framed the window, the frame is what has
    // the fixed outer size; then the activation step runs.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const QSize frame = frameGeometry().size() - geometry().size();
            if (!frame.isEmpty())
                resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
            activate();
        },
        Qt::QueuedConnection);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    layOutStatusPanels();
}

void MainWindow::layOutStatusPanels()
{
    statusPanels->setPanelWidth(MessagePanel, frameGeometry().width() - 350);
}

void MainWindow::activate()
{
    const bool done = guarded([this] {
        cardFocusTimer->start();

        dm_.accessConnPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
        dm_.accessConnSuffix = QStringLiteral(";Persist Security Info=False");
        dm_.excelConnPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=");
        dm_.excelConnSuffix =
            QStringLiteral(";Extended Properties=Excel 8.0;Persist Security Info=False");

        // Bottom right of the screen, 28 pixels left free below the window.
        QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
        if (s) {
            // On a screen smaller than the window its top-left corner stays
            // on the screen, so that the menu bar can be reached.
            const QRect screenRect = s->geometry();
            const QSize outer = frameGeometry().size();
            move(std::max(screenRect.left(), screenRect.left() + screenRect.width() - outer.width()),
                 std::max(screenRect.top(),
                          screenRect.top() + screenRect.height() - outer.height() - kFreeBelowWindow));
        }

        googleBrowser->navigate(webaddr::productPage1);
        yahooBrowser->navigate(webaddr::productPage2);
        baiduBrowser->navigate(webaddr::productPage3);
        infoBrowser->navigate(webaddr::infoSite);
        updateBrowser->navigate(webaddr::updatePage);
        googleSideBrowser->navigate(webaddr::sidePage(webaddr::startSidePage));

        // An old Access database is converted first; the activation runs
        // again once the converted one is in place.
        if (maintenance && !maintenance->moveInOldDatabase([this] { activate(); }))
            return;
        openCustomers();
        openCalls();

        // Grid layouts.  A damaged file is reported and its grid keeps its
        // columns; the rest of the activation still runs.
        guarded([this] { gridlayout::loadIfPresent(*customerGrid, customerGridLayout->filePath()); });
        guarded([this] { gridlayout::loadIfPresent(*callGrid, callGridLayout->filePath()); });

        dictionary->refreshChoiceLists();

        setCallDateToToday();

        const QString telFile = folder_ + QStringLiteral("tel.txt");
        if (QFileInfo::exists(telFile)) {
            testNumbers->clear();
            testNumbers->addItems(readTextLines(telFile));
        }

        // A damaged tree file is reported with the nodes read so far kept;
        // the rest of the activation still runs.
        guarded([this] { customerList->loadTreeFile(); });

        restoreSearchFields(callSearchField, customerSearchField);
    });
    if (!done && !dm_.connection.isConnected())
        statusPanels->setPanelText(MessagePanel, databaseNotOpenText);
}

void MainWindow::openCustomers()
{
    dm_.customerTable.reopen(QStringLiteral("select * from 客户数据 order by id desc"));
    customerSearchField->clear();
    customerSearchField->addItems(dm_.customerTable.fieldNames());
    customerSearchField->setCurrentIndex(0);
}

void MainWindow::openCalls()
{
    dm_.callTable.reopen(QStringLiteral("select * from 来电数据 order by id desc"));
    callSearchField->clear();
    callSearchField->addItems(dm_.callTable.fieldNames());
    callSearchField->setCurrentIndex(0);
}

void MainWindow::setCallDateToToday()
{
    const QDate today = QDate::currentDate();
    callYearBox->setValue(today.year());
    callMonthBox->setValue(today.month());
    callDayBox->setValue(today.day());
}

void MainWindow::setCardSource(DataSource* source)
{
    cardSource_ = source;
    Card->setDataSource(source);
}

void MainWindow::setCardMode(int mode)
{
    if (mode != 0 && mode != 1)
        return;
    cardMode_ = mode;
    Card->setLook(mode);
}

void MainWindow::showClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    statusPanels->setPanelText(ClockPanel, now.date().toString(QStringLiteral("yyyy-M-d")) +
                                             QLatin1Char(' ') +
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
