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
    : QMainWindow(parent), UsbPhoneBox(&device), dm_(dm)
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
    column->addWidget(CardPanel);
    buildTabs();
    column->addWidget(PageControl1, 1);
    buildStatusBar();
    column->addWidget(StatusBar1);
    buildMenu();
    buildTimers();

    errorreport::setOwner(this);
    dm_.setOwnerWindow(this);
    questions_ = std::make_unique<WindowQuestions>(dm_, this);
    dm_.setQuestions(questions_.get());
    connect(&dm_, &DataModule::recordPosition, this,
            [this](const QString& text) { StatusBar1->setPanelText(PositionPanel, text); });
    // A database locked by another program is said in the message panel
    // until a statement gets through again.
    connect(&dm_.connection, &Connection::busyChanged, this, [this](bool busy) {
        static const QString busyText = QStringLiteral("数据库正忙（可能有其他程序正在使用），请稍候……");
        if (busy) {
            messageBeforeBusy_ = StatusBar1->panelText(MessagePanel);
            StatusBar1->setPanelText(MessagePanel, busyText);
        } else if (StatusBar1->panelText(MessagePanel) == busyText) {
            StatusBar1->setPanelText(MessagePanel, messageBeforeBusy_);
        }
    });
    // Long work of the connection (an index build after an open) shows its
    // progress window.
    dm_.connection.setWorkStarter([this](BackgroundWork* work) { runWork(work, this, nullptr); });
    // Calls that arrive while long work holds the database are logged when
    // it ends; the message panel says so meanwhile.
    connect(&dm_, &DataModule::callsWaitingChanged, this, [this](int waiting) {
        if (waiting > 0)
            StatusBar1->setPanelText(MessagePanel, callsWaitingText(dm_.connection.writesHeldBy(), waiting));
        else if (StatusBar1->panelText(MessagePanel).startsWith(QStringLiteral("来电已记下")))
            StatusBar1->setPanelText(MessagePanel, QStringLiteral("来电已全部记入来电数据。"));
    });

    {
        CardParts card;
        card.band = CardPanel, card.bottomStrip = BottomBar, card.advertLine = Label22;
        card.customers = &dm_.customerSource;
        card.editDictionary = [this](DBComboBox& field) { dictionary->editDictionary(field); };
        Card = new CustomerCard(card, this);
        DictionaryParts dict;
        dict.dm = &dm_, dict.statementBuffer = Memo1, dict.owner = this;
        dict.choiceFields = Card->choiceFields();
        dictionary = new Dictionary(dict, this);
    }
    DBEdit1 = Card->contactField();
    setDatasource(&dm_.customerSource);  // with the advertising look the card is built with
    // The handlers get the controls and services they use.
    {
        auto bind = [this](DataSource* s) { setDatasource(s); };
        WebTabParts t;
        t.PageControl1 = PageControl1;
        t.TabSheet1 = TabSheet1, t.TabSheet2 = TabSheet2, t.TabSheet3 = TabSheet3;
        t.TabSheet4 = TabSheet4, t.TabSheet5 = TabSheet5, t.TabSheet6 = TabSheet6;
        t.WebBrowser1 = WebBrowser1, t.WebBrowser2 = WebBrowser2, t.WebBrowser3 = WebBrowser3;
        t.webgd01 = webgd01, t.webgd02 = webgd02, t.webgd03 = webgd03;
        t.webgd04 = webgd04, t.webgd05 = webgd05;
        t.dm = &dm_;
        t.setDatasource = bind;
        t.Set_Buy_Data = [this](int mode) { Set_Buy_Data(mode); };
        webTabs = new WebTabs(t, this);

        CallParts c;
        c.TelBuffer = TelBuffer, c.shantext = shantext, c.TelStatus = TelStatus, c.Memo1 = Memo1;
        c.Timer2 = Timer2, c.background = this, c.device = UsbPhoneBox, c.dm = &dm_;
        c.tabs = webTabs, c.TabSheet1 = TabSheet1, c.TabSheet4 = TabSheet4, c.webgd04 = webgd04;
        c.setDatasource = bind;
        calls = new CallHandling(c, this);

        SimulationParts sim;
        sim.BitBtn10 = BitBtn10, sim.teltest = teltest, sim.randomtel = randomtel;
        // A simulated call is handled in full before the tab change runs.
        sim.setNumber = [this](const QString& n) {
            calls->setNumber(n);
            calls->finishPending();
        };
        sim.PageControl1Change = [this] { webTabs->PageControl1Change(); };
        simulation = new CallSimulation(sim, this);
    }

    // The list tabs: call list searches, field choices and grid layouts.
    callList = new CallListSearch(
        dm_.callTable, ComboBox1, Edit1, BitBtn13, UpDown4, UpDown5, UpDown6,
        {[this] { return StatusBar1->panelText(MessagePanel); },
         [this](const QString& text) { StatusBar1->setPanelText(MessagePanel, text); }},
        this);
    for (UpDownBox* b : {UpDown4, UpDown5, UpDown6})
        connect(b, &UpDownBox::clicked, callList, [this] { guarded([this] { callList->searchByDate(); }); });
    customerList = new CustomerList(
        dm_.customerTable, {ComboBox2, Edit2, BitBtn12, BitBtn14, TreeView1, DBGrid1},
        [this](const QString& text) { StatusBar1->setPanelText(MessagePanel, text); },
        [this] { OpenKehuData(); }, [this] { return PageControl1->currentWidget() == TabSheet4; },
        this);
    connect(miSearchList, &QAction::triggered, this,
            [this] { guarded([this] { customerList->N17Click(this); }); });
    ldfield = new FieldChoiceFile(ComboBox1, QStringLiteral("ldfield.dat"), this);
    khfield = new FieldChoiceFile(ComboBox2, QStringLiteral("khfield.dat"), this);
    grid1Layout = new GridLayoutButtons(*DBGrid1, *BitBtn1->parentWidget(), 3,
                                        QStringLiteral("DBGrid1.dat"), BitBtn1, BitBtn2, BitBtn6, this);
    grid2Layout = new GridLayoutButtons(*DBGrid2, *BitBtn3->parentWidget(), 2,
                                        QStringLiteral("DBGrid2.dat"), BitBtn3, BitBtn4, BitBtn5, this);

    // Export to workbooks: customers and calls.
    excelExport = new ExcelExport(dm_, this);
    connect(miExportKehu, &QAction::triggered, this, [this] { guarded([this] { excelExport->N4Click(); }); });
    connect(miExportLaiDian, &QAction::triggered, this,
            [this] { guarded([this] { excelExport->exportCalls(); }); });

    maintenance = new Maintenance(dm_, this, [this] { FormActivate(); });
    maintenance->setStatusText([this](const QString& text) { StatusBar1->setPanelText(MessagePanel, text); });
    connect(miCompact, &QAction::triggered, maintenance, &Maintenance::N6Click);
    connect(miBackup, &QAction::triggered, maintenance, &Maintenance::N14Click);
    connect(miRestore, &QAction::triggered, maintenance, &Maintenance::N15Click);
    connect(miClearKehu, &QAction::triggered, maintenance, &Maintenance::N18Click);
    connect(miClearLaiDian, &QAction::triggered, maintenance, &Maintenance::N19Click);
    FormCreate();

    // Caller-ID device: its choice window and its state in the message panel.
    miDevice = new QAction(QStringLiteral("来电设备设置"), this);
    MenuSettings->insertAction(MenuSettings->actions().value(
                                   MenuSettings->actions().indexOf(miSearchList) + 1),
                               miDevice);
    miDevice->setEnabled(qobject_cast<DeviceSwitch*>(UsbPhoneBox) != nullptr);
    connect(miDevice, &QAction::triggered, this, &MainWindow::ChooseDevice);
    connect(UsbPhoneBox, &CallerIdDevice::stateChanged, this, &MainWindow::ShowDeviceState);
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
    CardPanel = new QWidget(this);
    CardPanel->setObjectName(QStringLiteral("CardPanel"));
    CardPanel->setFixedHeight(kBandHeight);
    auto* band = new QVBoxLayout(CardPanel);
    noMargins(band);

    // Top strip: announcement at the left, the current call at the right.
    TopStrip = new QWidget(CardPanel);
    TopStrip->setFixedHeight(kTopStripHeight);
    auto* strip = new QHBoxLayout(TopStrip);
    noMargins(strip);
    strip->setContentsMargins(160, 0, 0, 0);

    shantext = new QLabel(TopStrip);
    shantext->setObjectName(QStringLiteral("shantext"));
    shantext->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(shantext, Qt::red);
    shantext->setFixedWidth(220);
    strip->addWidget(shantext);
    strip->addStretch(1);

    auto* callGroup = new QWidget(TopStrip);
    callGroup->setFixedSize(557, kTopStripHeight);
    strip->addWidget(callGroup);

    BitBtn10 = new QPushButton(QStringLiteral("测试"), callGroup);
    BitBtn10->setFont(pixelFont(QStringLiteral("宋体"), 12));
    BitBtn10->setGeometry(0, 8, 70, 25);

    TelCaption = new QLabel(QStringLiteral("当前打进电话："), callGroup);
    TelCaption->setGeometry(72, 12, 100, 18);

    auto* numberField = new NumberField(callGroup);
    numberField->setHint(QStringLiteral("输入号码后按回车"));
    TelBuffer = numberField;
    TelBuffer->setObjectName(QStringLiteral("TelBuffer"));
    TelBuffer->setFont(pixelFont(QStringLiteral("宋体"), 29));
    setTextColour(TelBuffer, Qt::red);
    TelBuffer->setGeometry(172, 2, 201, 37);

    // The caller-ID box's place; the line status box covers most of it.
    UsbPhoneBoxCtrl1 = new QWidget(callGroup);
    UsbPhoneBoxCtrl1->setObjectName(QStringLiteral("UsbPhoneBoxCtrl1"));
    UsbPhoneBoxCtrl1->setGeometry(376, 4, 113, 32);

    TelStatus = new QPlainTextEdit(callGroup);
    TelStatus->setObjectName(QStringLiteral("TelStatus"));
    TelStatus->setReadOnly(true);
    TelStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TelStatus->setFont(pixelFont(QStringLiteral("宋体"), 12));
    TelStatus->setGeometry(557 - 168, 0, 168, kTopStripHeight);

    Memo1 = new QPlainTextEdit(TopStrip);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->hide();

    band->addWidget(TopStrip);
    band->addStretch(1);  // the card's controls sit here, placed by hand

    // Bottom bar: advertising line at the left, motto at the right.  The
    // card's record buttons are placed on it by hand as well.
    BottomBar = new QWidget(CardPanel);
    BottomBar->setFixedHeight(kBottomBarHeight);
    auto* bar = new QHBoxLayout(BottomBar);
    noMargins(bar);
    Label22 = new QLabel(
        QStringLiteral("Tavrin来电显示——电话一响，客户资料自动弹出！咨询电话：0571-88880000"),
        BottomBar);
    Label22->setObjectName(QStringLiteral("Label22"));
    setTextColour(Label22, Qt::blue);
    bar->addWidget(Label22);
    bar->addStretch(1);
    Label2 = new QLabel(QStringLiteral("知己知彼  百战不殆"), BottomBar);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(pixelFont(QStringLiteral("隶书"), 29));
    setTextColour(Label2, Qt::blue);
    Label2->setFixedWidth(270);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar->addWidget(Label2);
    band->addWidget(BottomBar);
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
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    auto newTab = [this](QWidget*& tab, const char* name, const QString& caption) {
        tab = new QWidget(PageControl1);
        tab->setObjectName(QLatin1String(name));
        PageControl1->addTab(tab, caption);
    };
    newTab(TabSheet1, "TabSheet1", webaddr::productCaption1);
    newTab(TabSheet2, "TabSheet2", webaddr::productCaption2);
    newTab(TabSheet3, "TabSheet3", webaddr::productCaption3);
    newTab(TabSheet4, "TabSheet4", QStringLiteral("客户列表"));
    newTab(TabSheet5, "TabSheet5", QStringLiteral("来电列表"));
    newTab(TabSheet6, "TabSheet6", QStringLiteral("信息查询"));
    newTab(TabSheet7, "TabSheet7", QStringLiteral("来电软件更新"));

    // Tabs 1 to 3: a browser and a side browser.
    WebBrowser1 = createBrowser(TabSheet1);
    webgd01 = createBrowser(TabSheet1);
    splitTab(TabSheet1, WebBrowser1, webgd01);
    WebBrowser2 = createBrowser(TabSheet2);
    webgd02 = createBrowser(TabSheet2);
    splitTab(TabSheet2, WebBrowser2, webgd02);
    WebBrowser3 = createBrowser(TabSheet3);
    webgd03 = createBrowser(TabSheet3);
    splitTab(TabSheet3, WebBrowser3, webgd03);

    randomtel = new QListWidget(TabSheet1);
    ListBox1 = new QListWidget(TabSheet1);
    LinShi_listBox1 = new QListWidget(TabSheet1);
    for (QListWidget* l : {randomtel, ListBox1, LinShi_listBox1})
        l->hide();

    // Tab 4: customer list.
    {
        auto* area = new QWidget(TabSheet4);
        auto* col = new QVBoxLayout(area);
        col->setContentsMargins(2, 2, 0, 0);
        col->setSpacing(2);
        auto* search = new QHBoxLayout;
        search->setSpacing(4);
        BitBtn14 = new QPushButton(QStringLiteral("显示所有数据"), area);
        Label4Search = new QLabel(QStringLiteral("查："), area);
        ComboBox2 = new QComboBox(area);
        ComboBox2->setFixedWidth(120);
        Edit2 = new QLineEdit(area);
        Edit2->setFixedWidth(130);
        BitBtn12 = new QPushButton(QStringLiteral("查询"), area);
        search->addWidget(BitBtn14);
        search->addWidget(Label4Search);
        search->addWidget(ComboBox2);
        search->addWidget(Edit2);
        search->addWidget(BitBtn12);
        search->addStretch(1);
        col->addLayout(search);

        auto* body = new QHBoxLayout;
        body->setSpacing(2);
        TreeView1 = new QTreeWidget(area);
        TreeView1->setHeaderLabel(QStringLiteral("客户分类"));
        TreeView1->setIndentation(19);
        TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
        TreeView1->setFixedWidth(160);
        DBGrid1 = new DBGrid(area);
        DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
        DBGrid1->setDataSource(&dm_.customerSource);
        body->addWidget(TreeView1);
        body->addWidget(DBGrid1, 1);
        col->addLayout(body, 1);

        webgd04 = createBrowser(TabSheet4);
        QWidget* side = listSidePanel(TabSheet4, webgd04, BitBtn1, BitBtn2, BitBtn6);
        Data_Field_List = new QListWidget(side);
        Data_Field_List->hide();
        splitTab(TabSheet4, area, side);
    }

    // Tab 5: call list.
    {
        auto* area = new QWidget(TabSheet5);
        auto* col = new QVBoxLayout(area);
        col->setContentsMargins(2, 2, 0, 0);
        col->setSpacing(2);
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        Label5Date = new QLabel(QStringLiteral("显示来电"), area);
        UpDown4 = dateBox(area, 2002, 9999, 72);
        UpDown4->setGroupSeparatorShown(true);
        UpDown5 = dateBox(area, 1, 12, 48);
        UpDown6 = dateBox(area, 1, 31, 48);
        Label5Search = new QLabel(QStringLiteral("查："), area);
        ComboBox1 = new QComboBox(area);
        ComboBox1->setFixedWidth(120);
        Edit1 = new QLineEdit(area);
        Edit1->setFixedWidth(120);
        BitBtn13 = new QPushButton(QStringLiteral("查询"), area);
        row->addWidget(Label5Date);
        row->addWidget(UpDown4);
        row->addWidget(UpDown5);
        row->addWidget(UpDown6);
        row->addSpacing(12);
        row->addWidget(Label5Search);
        row->addWidget(ComboBox1);
        row->addWidget(Edit1);
        row->addWidget(BitBtn13);
        row->addStretch(1);
        col->addLayout(row);
        DBGrid2 = new DBGrid(area);
        DBGrid2->setObjectName(QStringLiteral("DBGrid2"));
        DBGrid2->setDataSource(&dm_.callSource);
        col->addWidget(DBGrid2, 1);

        webgd05 = createBrowser(TabSheet5);
        QWidget* side = listSidePanel(TabSheet5, webgd05, BitBtn3, BitBtn4, BitBtn5);
        splitTab(TabSheet5, area, side);
    }

    // Tabs 6 and 7: one browser over the whole tab.
    WebBrowser4 = createBrowser(TabSheet6);
    auto* l6 = new QVBoxLayout(TabSheet6);
    l6->setContentsMargins(0, 0, 0, 0);
    l6->addWidget(WebBrowser4);
    WebBrowser5 = createBrowser(TabSheet7);
    auto* l7 = new QVBoxLayout(TabSheet7);
    l7->setContentsMargins(0, 0, 0, 0);
    l7->addWidget(WebBrowser5);

    PageControl1->setCurrentIndex(0);
}

void MainWindow::buildStatusBar()
{
    StatusBar1 = new StatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    // 12 px so that "记录/总数" fits its 62-px panel.
    StatusBar1->setFont(pixelFont(QStringLiteral("宋体"), 12));
    StatusBar1->addPanel(QStringLiteral("提示"), 32);
    StatusBar1->addPanel(QString(), 650);
    StatusBar1->addPanel(QStringLiteral("记录/总数"), 62);
    StatusBar1->addPanel(QString(), 80, Qt::AlignHCenter);
    StatusBar1->addPanel(QStringLiteral("时间"), 32);
    StatusBar1->addPanel(QString(), 100, Qt::AlignHCenter);
}

void MainWindow::buildMenu()
{
    QMenuBar* bar = menuBar();

    MenuData = bar->addMenu(QStringLiteral("数据管理[&D]"));
    miImportExcel = MenuData->addAction(QStringLiteral("导入客户数据(excel格式）"));
    miImportAccess = MenuData->addAction(QStringLiteral("导入客户数据(Access格式）"));
    miExportKehu = MenuData->addAction(QStringLiteral("导出客户数据(excel)"));
    miExportLaiDian = MenuData->addAction(QStringLiteral("导出来电数据(excel)"));
    MenuData->addSeparator();
    miCompact = MenuData->addAction(QStringLiteral("压缩数据库"));
    miBackup = MenuData->addAction(QStringLiteral("备份数据库"));
    miRestore = MenuData->addAction(QStringLiteral("恢复数据库"));
    MenuData->addSeparator();
    miExit = MenuData->addAction(QStringLiteral("退出软件"));

    MenuPrint = bar->addMenu(QStringLiteral("打印[&P}"));
    miPrintKehu = MenuPrint->addAction(QStringLiteral("打印客户资料"));

    MenuSettings = bar->addMenu(QStringLiteral("设置[s&E]"));
    miSearchList = MenuSettings->addAction(QStringLiteral("设置查询列表"));
    MenuSettings->addSeparator();
    miClearKehu = MenuSettings->addAction(QStringLiteral("清空客户数据"));
    miClearLaiDian = MenuSettings->addAction(QStringLiteral("清空来电数据"));

    MenuHelp = bar->addMenu(QStringLiteral("帮助[&H]"));
    miSupport = MenuHelp->addAction(QStringLiteral("访问技术支持网站"));
    miAbout = MenuHelp->addAction(QStringLiteral("关于软件"));

    miClose = bar->addAction(QStringLiteral("关闭软件"));

    connect(miExit, &QAction::triggered, this, &QWidget::close);
    connect(miClose, &QAction::triggered, this, &QWidget::close);
    connect(miSupport, &QAction::triggered, this, &MainWindow::VisitSupportSite);
    connect(miAbout, &QAction::triggered, this, &MainWindow::ShowAbout);
    // Import of customers from Excel and Access files.
    connect(miImportExcel, &QAction::triggered, this, [this] { guarded([this] { N3Click(dm_, this); }); });
    connect(miImportAccess, &QAction::triggered, this, [this] { guarded([this] { chooseAccessImport(dm_, this); }); });
}

void MainWindow::buildTimers()
{
    auto timer = [this](const char* name, int interval) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(interval);
        return t;
    };
    Timer1 = timer("Timer1", 1000);
    Timer2 = timer("Timer2", 1000);
    Timer3 = timer("Timer3", 2000);
    teltest = timer("teltest", 3000);
    connect(Timer1, &QTimer::timeout, this, &MainWindow::Timer1Timer);
    connect(Timer3, &QTimer::timeout, this, &MainWindow::Timer3Timer);
    Timer1->start();
}

// ---------------------------------------------------------------------------
// Events

void MainWindow::FormCreate()
{
    ProgramFolder = programFolder();
    ShowDeviceState();
}

void MainWindow::ShowDeviceState()
{
    StatusBar1->setPanelText(MessagePanel, UsbPhoneBox->queryState() == 1
                                               ? QStringLiteral("来电显示设备正常！")
                                               : QStringLiteral("来电显示设备存在！"));
}

void MainWindow::ChooseDevice()
{
    auto* hub = qobject_cast<DeviceSwitch*>(UsbPhoneBox);
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
            FormActivate();
        },
        Qt::QueuedConnection);
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    FormResize();
}

void MainWindow::FormResize()
{
    StatusBar1->setPanelWidth(MessagePanel, frameGeometry().width() - 350);
}

void MainWindow::FormActivate()
{
    const bool done = guarded([this] {
        Timer3->start();

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

        WebBrowser1->navigate(webaddr::productPage1);
        WebBrowser2->navigate(webaddr::productPage2);
        WebBrowser3->navigate(webaddr::productPage3);
        WebBrowser4->navigate(webaddr::infoSite);
        WebBrowser5->navigate(webaddr::updatePage);
        webgd01->navigate(webaddr::sidePage(webaddr::startSidePage));

        // An old Access database is converted first; the activation runs
        // again once the converted one is in place.
        if (maintenance && !maintenance->moveInOldDatabase([this] { FormActivate(); }))
            return;
        OpenKehuData();
        OpenLaiDianData();

        // Grid layouts.  A damaged file is reported and its grid keeps its
        // columns; the rest of the activation still runs.
        guarded([this] { gridlayout::loadIfPresent(*DBGrid1, grid1Layout->filePath()); });
        guarded([this] { gridlayout::loadIfPresent(*DBGrid2, grid2Layout->filePath()); });

        dictionary->refreshChoiceLists();

        XianShiNowDate();

        const QString telFile = ProgramFolder + QStringLiteral("tel.txt");
        if (QFileInfo::exists(telFile)) {
            randomtel->clear();
            randomtel->addItems(readTextLines(telFile));
        }

        // A damaged tree file is reported with the nodes read so far kept;
        // the rest of the activation still runs.
        guarded([this] { customerList->loadTreeFile(); });

        restoreSearchFields(ComboBox1, ComboBox2);
    });
    if (!done && !dm_.connection.isConnected())
        StatusBar1->setPanelText(MessagePanel, databaseNotOpenText);
}

void MainWindow::OpenKehuData()
{
    dm_.customerTable.reopen(QStringLiteral("select * from 客户数据 order by id desc"));
    ComboBox2->clear();
    ComboBox2->addItems(dm_.customerTable.fieldNames());
    ComboBox2->setCurrentIndex(0);
}

void MainWindow::OpenLaiDianData()
{
    dm_.callTable.reopen(QStringLiteral("select * from 来电数据 order by id desc"));
    ComboBox1->clear();
    ComboBox1->addItems(dm_.callTable.fieldNames());
    ComboBox1->setCurrentIndex(0);
}

void MainWindow::XianShiNowDate()
{
    const QDate today = QDate::currentDate();
    UpDown4->setValue(today.year());
    UpDown5->setValue(today.month());
    UpDown6->setValue(today.day());
}

void MainWindow::Show_Tishi_windows2(const QString& text) { askConfirmation(dm_, this, text); }

void MainWindow::setDatasource(DataSource* source)
{
    cardSource_ = source;
    Card->setDataSource(source);
}

void MainWindow::Set_Buy_Data(int mode)
{
    if (mode != 0 && mode != 1)
        return;
    cardMode_ = mode;
    Card->setLook(mode);
}

void MainWindow::Timer1Timer()
{
    const QDateTime now = QDateTime::currentDateTime();
    StatusBar1->setPanelText(ClockPanel, now.date().toString(QStringLiteral("yyyy-M-d")) +
                                             QLatin1Char(' ') +
                                             now.time().toString(QStringLiteral("H:mm:ss")));
}

void MainWindow::Timer3Timer()
{
    Timer3->stop();
    if (DBEdit1)
        DBEdit1->setFocus();
}

void MainWindow::ShowAbout()
{
    auto* about = new AboutWindow(this);
    about->exec();
    delete about;
}

void MainWindow::VisitSupportSite() { QDesktopServices::openUrl(QUrl(webaddr::supportSite)); }
