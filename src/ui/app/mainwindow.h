#pragma once
// The main window: the current-call strip and the customer card on top, the
// seven tabs below, the status bar at the foot.  It is the frame every other
// part of the program puts its controls and handlers in.

#include <QLineEdit>
#include <QMainWindow>
#include <QSpinBox>
#include <QString>
#include <memory>

class Browser;
class CallHandling;
class CallListSearch;
class CallSimulation;
class CallerIdDevice;
class CustomerCard;
class CustomerList;
class DataQuestions;
class Dictionary;
class DataSource;
class ExcelExport;
class Maintenance;
class DBEdit;
class DBGrid;
class FieldChoiceFile;
class GridLayoutButtons;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class StatusBar;
class DataModule;
class WebTabs;

// A number box with arrows (the up-down control joined to its box).
// clicked() follows every step made with the arrows or the arrow keys,
// after the value has changed; setting the value by program emits nothing.
class UpDownBox : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    void stepBy(int steps) override;

signals:
    void clicked();
};

// The number field: its grey hint ("输入号码后按回车") is drawn smaller than
// the big red number so that it fits.
class NumberField : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
    void setHint(const QString& hint) { hint_ = hint; update(); }
    const QString& hint() const { return hint_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString hint_;
};

// The message panel's text while the database cannot be opened.
extern const QString databaseNotOpenText;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(DataModule& dm, CallerIdDevice& device, QWidget* parent = nullptr);
    ~MainWindow() override;

    DataModule& dm() const { return dm_; }

    // Folder of the program with a trailing '/', set once on creation.
    const QString& folder() const { return folder_; }

    // --- status bar: panel 1 messages, 3 record position, 5 clock ------------
    StatusBar* statusPanels;
    enum Panel { CaptionPanel = 0, MessagePanel = 1, PositionCaption = 2, PositionPanel = 3,
                 ClockCaption = 4, ClockPanel = 5 };

    // --- timers ---------------------------------------------------------------
    QTimer* clockTimer;   // clock, 1000 ms, on
    QTimer* blinkTimer;   // announcement blink, 1000 ms, off
    QTimer* cardFocusTimer;   // focus to the card once after activation, 2000 ms, off
    QTimer* simulationTimer;  // call simulation, 3000 ms, off

    // --- upper area (the card band, 944 x 261) ---------------------------------
    // The band is a plain widget: the card's controls are placed on it with
    // band coordinates (the top strip takes y 0..40, the bottom bar the last
    // 32 pixels).
    QWidget* cardPanel;
    QWidget* topStrip;
    QLabel* announcement;             // announcement, red 29-px 隶书
    QPushButton* simulationButton;        // 测试
    QLabel* numberCaption;           // 当前打进电话：
    QLineEdit* numberField;         // number field
    QWidget* deviceSlot;    // where the caller-ID box sits
    QPlainTextEdit* lineStatus;    // line status box
    QPlainTextEdit* statementBuffer;        // hidden statement buffer
    QWidget* bottomBar;           // 32-px bar at the foot of the band
    QLabel* advertisingLine;              // advertising line
    QLabel* motto;               // motto
    // The customer card's controls and buttons.
    CustomerCard* Card = nullptr;
    // The card's contact field; cardFocusTimer puts the focus there.
    DBEdit* contactField = nullptr;

    // The caller-ID box.
    CallerIdDevice* device_;

    // Handlers of the web tabs, the number field and the call simulation.
    WebTabs* webTabs = nullptr;
    CallHandling* calls = nullptr;
    CallSimulation* simulation = nullptr;
    Dictionary* dictionary = nullptr;  // the choice fields' values
    // The export to workbooks (menu 数据管理).
    ExcelExport* excelExport = nullptr;

    // Compact, backup, restore and clearing; the moving-in of an old Access
    // database before the first opening of the data.
    Maintenance* maintenance = nullptr;

    // Handlers of the two list tabs: searches, field choices, grid layouts.
    CallListSearch* callList = nullptr;
    CustomerList* customerList = nullptr;
    FieldChoiceFile* callFieldChoice = nullptr;
    FieldChoiceFile* customerFieldChoice = nullptr;
    GridLayoutButtons* customerGridLayout = nullptr;
    GridLayoutButtons* callGridLayout = nullptr;

    // --- tabs ---------------------------------------------------------------------
    QTabWidget* tabs;
    QWidget* googleTab;
    QWidget* yahooTab;
    QWidget* baiduTab;
    QWidget* customerTab;
    QWidget* callTab;
    QWidget* infoTab;
    QWidget* updateTab;
    Browser* googleBrowser;
    Browser* yahooBrowser;
    Browser* baiduBrowser;
    Browser* infoBrowser;  // tab 6
    Browser* updateBrowser;  // tab 7
    Browser* googleSideBrowser;
    Browser* yahooSideBrowser;
    Browser* baiduSideBrowser;
    Browser* customerSideBrowser;
    Browser* callSideBrowser;

    // Test numbers from tel.txt, for the call simulation (hidden).
    QListWidget* testNumbers;

    // Tab 4 "客户列表".
    QPushButton* showAllCustomersButton;  // 显示所有数据
    QLabel* customerSearchCaption;   // 查：
    QComboBox* customerSearchField;   // field box
    QLineEdit* customerSearchText;       // search text
    QPushButton* customerSearchButton;  // 查询
    QTreeWidget* categoryTree;  // 客户分类
    DBGrid* customerGrid;
    QPushButton* customerEvenWidthsButton;  // 平均列宽
    QPushButton* customerSaveLayoutButton;  // 保存设置
    QPushButton* customerResetLayoutButton;  // 初始化

    // Tab 5 "来电列表".
    QLabel* callDateCaption;     // 显示来电
    UpDownBox* callYearBox;     // year  (box Edit4)
    UpDownBox* callMonthBox;     // month (box Edit5)
    UpDownBox* callDayBox;     // day   (box Edit6)
    QLabel* callSearchCaption;   // 查：
    QComboBox* callSearchField;   // field box
    QLineEdit* callSearchText;       // search text
    QPushButton* callSearchButton;  // 查询
    DBGrid* callGrid;
    QPushButton* callEvenWidthsButton;  // 平均列宽
    QPushButton* callSaveLayoutButton;  // 保存设置
    QPushButton* callResetLayoutButton;  // 初始化

    // --- menu ---------------------------------------------------------------------
    QMenu* MenuData;     // 数据管理[&D]
    QMenu* MenuPrint;    // 打印[&P}
    QMenu* MenuSettings; // 设置[s&E]
    QMenu* MenuHelp;     // 帮助[&H]
    QAction* miImportExcel;   // 导入客户数据(excel格式）
    QAction* miImportAccess;  // 导入客户数据(Access格式）
    QAction* miExportCustomers;    // 导出客户数据(excel)
    QAction* miExportCalls; // 导出来电数据(excel)
    QAction* miCompact;       // 压缩数据库
    QAction* miBackup;        // 备份数据库
    QAction* miRestore;       // 恢复数据库
    QAction* miExit;          // 退出软件
    QAction* miPrintCustomers;     // 打印客户资料 — no action
    QAction* miSearchList;    // 设置查询列表
    QAction* miClearCustomers;     // 清空客户数据
    QAction* miClearCalls;  // 清空来电数据
    QAction* miSupport;       // 访问技术支持网站
    QAction* miAbout;         // 关于软件
    QAction* miClose;         // 关闭软件 (on the menu bar itself)

    // --- operations ------------------------------------------------------------------
    // The activation step: runs once by itself after the first show; a
    // restore of the database calls it again.  An error ends the remaining
    // steps and is reported; the window stays open.
    void activate();
    void openCustomers();
    void openCalls();
    void setCallDateToToday();

    // The card: every one of its data-aware controls is bound to the card
    // source; mode 0 is the advertising look, mode 1 the editing look (any
    // other value changes nothing).
    void setCardSource(DataSource* source);
    DataSource* cardSource() const { return cardSource_; }
    void setCardMode(int mode);
    int cardMode() const { return cardMode_; }

    void showClock();
    void focusCard();
    void showAbout();
    void visitSupportSite();

    // --- caller-ID device: 来电设备设置 under 设置 chooses it (when the window
    // listens through a DeviceSwitch); the message panel follows its state.
    QAction* miDevice = nullptr;
    void chooseDevice();
    void showDeviceState();

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildUpperArea();
    void buildTabs();
    void buildStatusBar();
    void buildMenu();
    void buildTimers();
    void layOutStatusPanels();

    DataModule& dm_;
    QString folder_;
    std::unique_ptr<DataQuestions> questions_;  // the data module's, in windows
    bool firstShowDone_ = false;
    DataSource* cardSource_ = nullptr;
    int cardMode_ = 0;
    QString messageBeforeBusy_;  // the message panel's text before the database was busy
};
