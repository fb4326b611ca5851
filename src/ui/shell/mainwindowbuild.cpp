// Building the main window's controls: the upper area, the tabs, the status
// bar, the menu and the timers.

#include "ui/shell/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "data/module/datamodule.h"
#include "ui/shell/databasesettingswindow.h"
#include "ui/kit/dbgrid.h"
#include "ui/kit/look.h"
#include "ui/kit/numberfield.h"
#include "ui/kit/statusbar.h"
#include "ui/kit/updownbox.h"
#include "ui/calls/announcement.h"
#include "ui/calls/earliercallspanel.h"
#include "ui/maintenance/maintenance.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"

namespace {

constexpr int kBandHeight = 261;
constexpr int kTopStripHeight = 41;
constexpr int kBottomBarHeight = 32;
constexpr int kSidePanelWidth = 300;

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

    announcement = new Announcement(topStrip);
    announcement->setObjectName(QStringLiteral("announcement"));
    announcement->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(announcement, Qt::red);
    announcement->setFixedWidth(220);
    strip->addWidget(announcement);
    strip->addStretch(1);
    // Where the caller's number belongs, in the free space left of the
    // announcement (outside the strip's layout: the announcement keeps its
    // place and size whatever the text).
    regionLabel = new QLabel(topStrip);
    regionLabel->setObjectName(QStringLiteral("regionLabel"));
    regionLabel->setFont(pixelFont(QStringLiteral("宋体"), 14));
    regionLabel->setWordWrap(true);  // the longest ones take two lines
    setTextColour(regionLabel, QColor(0x80, 0, 0));
    regionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    regionLabel->setGeometry(2, 0, 154, kTopStripHeight);

    auto* callGroup = new QWidget(topStrip);
    callGroup->setFixedSize(557, kTopStripHeight);
    strip->addWidget(callGroup);

    simulationButton = new QPushButton(QStringLiteral("测试"), callGroup);
    simulationButton->setObjectName(QStringLiteral("simulationButton"));
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

    band->addWidget(topStrip);
    band->addStretch(1);  // the card's controls sit here, placed by hand
    buildBottomBar();
    band->addWidget(bottomBar);
}

// Bottom bar: advertising line at the left, motto at the right.  The card's
// record buttons are placed on it by hand as well.
void MainWindow::buildBottomBar()
{
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
    // A call record's customer columns become a customer; shown while the
    // card shows a call record.
    saveAsCustomerButton = new QPushButton(QStringLiteral("存为新客户"), bottomBar);
    saveAsCustomerButton->setObjectName(QStringLiteral("saveAsCustomerButton"));
    saveAsCustomerButton->setFont(pixelFont(QStringLiteral("宋体"), 12));
    saveAsCustomerButton->setFixedSize(83, 25);
    saveAsCustomerButton->hide();
    bar->addWidget(saveAsCustomerButton);
    bar->addSpacing(6);
    motto = new QLabel(QStringLiteral("知己知彼  百战不殆"), bottomBar);
    motto->setObjectName(QStringLiteral("motto"));
    motto->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(motto, Qt::blue);
    motto->setFixedWidth(270);
    motto->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar->addWidget(motto);
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

constexpr int kEarlierCallsHeight = 170;

// A side column: the panel of earlier calls above the side browser.
QWidget* sideColumn(QWidget* parent, EarlierCallsPanel* calls, Browser* side)
{
    auto* column = new QWidget(parent);
    auto* col = new QVBoxLayout(column);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(2);
    calls->setParent(column);
    calls->setFixedHeight(kEarlierCallsHeight);
    col->addWidget(calls);
    side->setParent(column);
    col->addWidget(side, 1);
    return column;
}

// The side panel of the list tabs: (the earlier calls,) the side browser
// above three layout buttons.
QWidget* listSidePanel(QWidget* parent, EarlierCallsPanel* calls, Browser* side, QPushButton*& even,
                       QPushButton*& save, QPushButton*& reset)
{
    auto* panel = new QWidget(parent);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(0, 0, 0, 0);
    col->setSpacing(2);
    if (calls) {
        calls->setParent(panel);
        calls->setFixedHeight(kEarlierCallsHeight);
        col->addWidget(calls);
    }
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
    googleBrowser->setObjectName(QStringLiteral("googleBrowser"));
    googleSideBrowser = createBrowser(googleTab);
    googleSideBrowser->setObjectName(QStringLiteral("googleSideBrowser"));
    firstTabCalls = new EarlierCallsPanel(googleTab);
    firstTabCalls->setObjectName(QStringLiteral("firstTabCalls"));
    splitTab(googleTab, googleBrowser, sideColumn(googleTab, firstTabCalls, googleSideBrowser));
    yahooBrowser = createBrowser(yahooTab);
    yahooBrowser->setObjectName(QStringLiteral("yahooBrowser"));
    yahooSideBrowser = createBrowser(yahooTab);
    yahooSideBrowser->setObjectName(QStringLiteral("yahooSideBrowser"));
    splitTab(yahooTab, yahooBrowser, yahooSideBrowser);
    baiduBrowser = createBrowser(baiduTab);
    baiduBrowser->setObjectName(QStringLiteral("baiduBrowser"));
    baiduSideBrowser = createBrowser(baiduTab);
    baiduSideBrowser->setObjectName(QStringLiteral("baiduSideBrowser"));
    splitTab(baiduTab, baiduBrowser, baiduSideBrowser);

    buildCustomerTab();
    buildCallTab();

    // Tabs 6 and 7: one browser over the whole tab.
    infoBrowser = createBrowser(infoTab);
    infoBrowser->setObjectName(QStringLiteral("infoBrowser"));
    auto* l6 = new QVBoxLayout(infoTab);
    l6->setContentsMargins(0, 0, 0, 0);
    l6->addWidget(infoBrowser);
    updateBrowser = createBrowser(updateTab);
    updateBrowser->setObjectName(QStringLiteral("updateBrowser"));
    auto* l7 = new QVBoxLayout(updateTab);
    l7->setContentsMargins(0, 0, 0, 0);
    l7->addWidget(updateBrowser);

    tabs->setCurrentIndex(0);
}

// Tab "客户列表": search row, category tree and grid, side panel.
void MainWindow::buildCustomerTab()
{
    auto* area = new QWidget(customerTab);
    auto* col = new QVBoxLayout(area);
    col->setContentsMargins(2, 2, 0, 0);
    col->setSpacing(2);
    auto* search = new QHBoxLayout;
    search->setSpacing(4);
    showAllCustomersButton = new QPushButton(QStringLiteral("显示所有数据"), area);
    showAllCustomersButton->setObjectName(QStringLiteral("showAllCustomersButton"));
    customerSearchCaption = new QLabel(QStringLiteral("查："), area);
    customerSearchField = new QComboBox(area);
    customerSearchField->setObjectName(QStringLiteral("customerSearchField"));
    customerSearchField->setFixedWidth(120);
    customerSearchText = new QLineEdit(area);
    customerSearchText->setObjectName(QStringLiteral("customerSearchText"));
    customerSearchText->setFixedWidth(130);
    customerSearchButton = new QPushButton(QStringLiteral("查询"), area);
    customerSearchButton->setObjectName(QStringLiteral("customerSearchButton"));
    search->addWidget(showAllCustomersButton);
    search->addWidget(customerSearchCaption);
    search->addWidget(customerSearchField);
    search->addWidget(customerSearchText);
    search->addWidget(customerSearchButton);
    search->addStretch(1);
    col->addLayout(search);

    auto* body = new QHBoxLayout;
    body->setSpacing(2);
    categoryTree = new QTreeView(area);  // its model and caption come with the customer list
    categoryTree->setObjectName(QStringLiteral("categoryTree"));
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

    customerSideBrowser->setObjectName(QStringLiteral("customerSideBrowser"));
    customerTabCalls = new EarlierCallsPanel(customerTab);
    customerTabCalls->setObjectName(QStringLiteral("customerTabCalls"));
    QWidget* side = listSidePanel(customerTab, customerTabCalls, customerSideBrowser, customerEvenWidthsButton,
                                  customerSaveLayoutButton, customerResetLayoutButton);
    customerEvenWidthsButton->setObjectName(QStringLiteral("customerEvenWidthsButton"));
    customerSaveLayoutButton->setObjectName(QStringLiteral("customerSaveLayoutButton"));
    customerResetLayoutButton->setObjectName(QStringLiteral("customerResetLayoutButton"));
    splitTab(customerTab, area, side);
}

// Tab "来电列表": date and search row, grid, side panel.
void MainWindow::buildCallTab()
{
    auto* area = new QWidget(callTab);
    auto* col = new QVBoxLayout(area);
    col->setContentsMargins(2, 2, 0, 0);
    col->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(4);
    callDateCaption = new QLabel(QStringLiteral("显示来电"), area);
    callYearBox = dateBox(area, 2002, 9999, 72);
    callYearBox->setObjectName(QStringLiteral("callYearBox"));
    callYearBox->setGroupSeparatorShown(true);
    callMonthBox = dateBox(area, 1, 12, 48);
    callMonthBox->setObjectName(QStringLiteral("callMonthBox"));
    callDayBox = dateBox(area, 1, 31, 48);
    callDayBox->setObjectName(QStringLiteral("callDayBox"));
    callSearchCaption = new QLabel(QStringLiteral("查："), area);
    callSearchField = new QComboBox(area);
    callSearchField->setObjectName(QStringLiteral("callSearchField"));
    callSearchField->setFixedWidth(120);
    callSearchText = new QLineEdit(area);
    callSearchText->setObjectName(QStringLiteral("callSearchText"));
    callSearchText->setFixedWidth(120);
    callSearchButton = new QPushButton(QStringLiteral("查询"), area);
    callSearchButton->setObjectName(QStringLiteral("callSearchButton"));
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

    callSideBrowser->setObjectName(QStringLiteral("callSideBrowser"));
    QWidget* side = listSidePanel(callTab, nullptr, callSideBrowser, callEvenWidthsButton, callSaveLayoutButton,
                                  callResetLayoutButton);
    callEvenWidthsButton->setObjectName(QStringLiteral("callEvenWidthsButton"));
    callSaveLayoutButton->setObjectName(QStringLiteral("callSaveLayoutButton"));
    callResetLayoutButton->setObjectName(QStringLiteral("callResetLayoutButton"));
    splitTab(callTab, area, side);
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
    auto menu = [bar](const char* name, const QString& caption) {
        QMenu* m = bar->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        return m;
    };
    auto entry = [](QMenu* m, const char* name, const QString& caption) {
        QAction* a = m->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };

    dataMenu = menu("dataMenu", QStringLiteral("数据管理[&D]"));
    importExcelAction = entry(dataMenu, "importExcelAction", QStringLiteral("导入客户数据(excel格式）"));
    importAccessAction = entry(dataMenu, "importAccessAction", QStringLiteral("导入客户数据(Access格式）"));
    exportCustomersAction = entry(dataMenu, "exportCustomersAction", QStringLiteral("导出客户数据(excel)"));
    exportCallsAction = entry(dataMenu, "exportCallsAction", QStringLiteral("导出来电数据(excel)"));
    callStatisticsAction = entry(dataMenu, "callStatisticsAction", QStringLiteral("来电统计"));
    missedCallsAction = entry(dataMenu, "missedCallsAction", QStringLiteral("未接来电"));
    outgoingCallsAction = entry(dataMenu, "outgoingCallsAction", QStringLiteral("去电记录"));
    dataMenu->addSeparator();
    compactAction = entry(dataMenu, "compactAction", QStringLiteral("压缩数据库"));
    backupAction = entry(dataMenu, "backupAction", QStringLiteral("备份数据库"));
    restoreAction = entry(dataMenu, "restoreAction", QStringLiteral("恢复数据库"));
    dataMenu->addSeparator();
    exitAction = entry(dataMenu, "exitAction", QStringLiteral("退出软件"));

    printMenu = menu("printMenu", QStringLiteral("打印[&P}"));
    printCustomersAction = entry(printMenu, "printCustomersAction", QStringLiteral("打印客户资料"));

    settingsMenu = menu("settingsMenu", QStringLiteral("设置[s&E]"));
    searchListAction = entry(settingsMenu, "searchListAction", QStringLiteral("设置查询列表"));
    deviceAction = entry(settingsMenu, "deviceAction", QStringLiteral("来电设备设置"));
    QAction* databaseAction = entry(settingsMenu, "databaseAction", QStringLiteral("数据库设置"));
    connect(databaseAction, &QAction::triggered, this, [this] { guarded([this] { chooseDatabase(*this); }); });
    // Beside the server's choice: where an office moving onto it looks.
    QAction* uploadAction = entry(settingsMenu, "uploadAction", QStringLiteral("上传本机数据到服务器"));
    connect(uploadAction, &QAction::triggered, this, [this] { maintenance_->upload(); });
    settingsMenu->addSeparator();
    clearCustomersAction = entry(settingsMenu, "clearCustomersAction", QStringLiteral("清空客户数据"));
    clearCallsAction = entry(settingsMenu, "clearCallsAction", QStringLiteral("清空来电数据"));

    helpMenu = menu("helpMenu", QStringLiteral("帮助[&H]"));
    supportAction = entry(helpMenu, "supportAction", QStringLiteral("访问技术支持网站"));
    aboutAction = entry(helpMenu, "aboutAction", QStringLiteral("关于软件"));

    closeAction = bar->addAction(QStringLiteral("关闭软件"));
    closeAction->setObjectName(QStringLiteral("closeAction"));
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
    cardFocusTimer = timer("cardFocusTimer", 2000);
    connect(clockTimer, &QTimer::timeout, this, &MainWindow::showClock);
    connect(cardFocusTimer, &QTimer::timeout, this, &MainWindow::focusCard);
    clockTimer->start();
}
