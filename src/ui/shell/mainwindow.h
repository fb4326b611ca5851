#pragma once
// The main window: the current-call strip and the customer card on top, the
// seven tabs below, the status bar at the foot.  It builds the controls,
// creates the handlers (calls, simulation, tabs, card, lists, transfers,
// maintenance) and wires them; the call handling and the web tabs reach it
// through the screens it implements.  Tests find its controls by their
// object names, which are the names of the members below.

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

#include "rules/settings/desktopsettings.h"
#include "rules/statements/statementbuffer.h"
#include "ui/calls/callscreen.h"
#include "ui/web/tabscreen.h"

class Announcement;
class Browser;
class CallHandling;
class CallListSearch;
class CallSimulation;
class CallerIdDevice;
class CustomerCard;
class CustomerList;
class DataModule;
class DataSet;
class DataQuestions;
class DataSource;
class DBEdit;
class DBGrid;
class DesktopSettingsMenu;
class Dictionary;
class EarlierCallsFollower;
class EarlierCallsPanel;
class ExcelExport;
class FieldChoiceFile;
class GridLayoutButtons;
class Maintenance;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class PhoneLine;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeView;
class StatusBar;
class UpDownBox;
class WebTabs;

// The message panel's text while the database cannot be opened.
extern const QString databaseNotOpenText;

class MainWindow : public QMainWindow, public CallScreen, public TabScreen {
    Q_OBJECT
public:
    MainWindow(DataModule& dm, CallerIdDevice& device, QWidget* parent = nullptr);
    ~MainWindow() override;

    DataModule& dm() const { return dm_; }
    // Folder of the program with a trailing '/', set once on creation.
    const QString& folder() const { return folder_; }

    // The activation step: runs once by itself after the first show (its
    // parts one per turn of the event loop); a restore of the database
    // calls it again (all at once).  An error ends the remaining steps and
    // is reported; the window stays open.
    void activate();
    // The customer and call lists with all their rows, newest first; the
    // search field boxes offer the fields.
    void openCustomers();
    void openCalls();

    // The card: every one of its data-aware controls is bound to the card
    // source; mode 0 is the advertising look, mode 1 the editing look (any
    // other value changes nothing).
    void setCardSource(DataSource* source) override;
    DataSource* cardSource() const { return cardSource_; }
    void setCardMode(int mode) override;
    int cardMode() const { return cardMode_; }

    // Status bar: panel 1 messages, 3 record position, 5 clock.
    enum Panel { CaptionPanel = 0, MessagePanel = 1, PositionCaption = 2, PositionPanel = 3,
                 ClockCaption = 4, ClockPanel = 5 };
    QString panelText(Panel panel) const;
    void setMessage(const QString& text);
    // A line for the message panel once the window has opened the database
    // (after what the opening itself says): the program folder open to
    // other users, a password on the command line.
    void noteAtStart(const QString& line) { startNotes_ << line; }
    // The clock panel shows the date and time now (the clock timer's tick).
    void showClock();

    // The caller-ID device's state as the message panel said it last.
    const QString& deviceState() const { return deviceState_; }
    // How the program lives on the desktop (menu 设置), as chosen.
    const DesktopSettings& desktopSettings() const;

    // "打印客户资料": the card's record and the list of the tab in front (the
    // call list when it is in front, else the customer list) as shown,
    // printed by long work; printingEnded() follows.  The status bar says
    // when the list is longer than what is printed.
    void printRecordsTo(std::shared_ptr<QPrinter> printer);
    QList<QPair<QString, QString>> cardToPrint(QString* title) const;
    QStringList listColumnsToPrint() const;

    // What the last statement composed line by line was.
    const StatementBuffer& statementBuffer() const { return statements_; }

    // The handlers the window created.
    CallHandling* calls() const { return calls_; }
    PhoneLine* phoneLine() const { return phoneLine_; }
    static constexpr int kMissedPanelWidth = 110;
    // 未接来电 (closes when the operator closes it).
    void showMissedCalls();
    // 去电记录.
    void showOutgoingCalls();
    // The number of the call list's current row (手机, else 电话).
    QString currentCallNumber() const;
    CallSimulation* simulation() const { return simulation_; }
    WebTabs* webTabs() const { return webTabs_; }
    CustomerCard* card() const { return card_; }
    Dictionary* dictionary() const { return dictionary_; }
    CustomerList* customerList() const { return customerList_; }
    ExcelExport* excelExport() const { return excelExport_; }
    Maintenance* maintenance() const { return maintenance_; }

    // CallScreen
    QString number() const override;
    void showNumber(const QString& number) override;
    void announce(const QString& text) override;
    void appendLineStatus(const QString& line) override;
    void showRegion(const QString& number, const QString& region) override;
    void searchWeb(const QString& number) override;
    void showTabQuietly(WebTab tab) override;
    void showCustomerSidePage(const QString& address) override;
    void callLogged(qint64 key) override;
    void sayInStatusBar(const QString& text) override { setMessage(text); }

    // The calls announced so far are numbered from 1: the number of the
    // latest.  showCall() shows that call's record on the card, current in
    // the call list (when it is logged and still near the top of the list).
    int lastCallTag() const { return announcedCalls_; }
    void showCall(int tag);

    // TabScreen
    WebTab currentTab() const override;
    void setTabCaption(WebTab tab, const QString& caption) override;
    void navigate(WebTab tab, const QString& address) override;
    void navigateSide(WebTab tab, const QString& address) override;

signals:
    // A call was announced ("老客户来电" / "新客户来电"); the number is number().
    void callAnnounced(const QString& text);
    // The device's state changed (the text the message panel shows).
    void deviceStateChanged(const QString& text);
    // The operator changed a desktop setting; it is stored already.
    void desktopSettingsChanged(const DesktopSettings& settings);
    // A print started by printRecordsTo() has ended (printed, stopped or failed).
    void printingEnded(bool printed);

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

protected:
    // 关闭软件 while long work runs stops the work where that is safe and
    // ends the program once it has stopped; the calls of the journal stay
    // there for the next start.
    void closeEvent(QCloseEvent* e) override;

private:
    void fillSearchFields(QComboBox* box, const DataSet& list);
    bool closingAfterWork_ = false;
    int announcedCalls_ = 0;
    QHash<int, qint64> loggedCalls_;  // call tag -> key of its call record

    void buildUpperArea();
    void buildBottomBar();
    void buildTabs();
    void buildCustomerTab();
    void buildCallTab();
    void buildStatusBar();
    void buildMenu();
    void buildTimers();
    void createCallHandlers();
    void createListHandlers();
    void createMenuHandlers();
    void createCallerHandlers();
    void createPhoneLine();
    void offerDialling(bool possible);
    void showCallStatistics();
    void printFromMenu();
    void saveCallAsCustomer();
    // The customer with this key alone in the customer list, on the card.
    void showCustomer(qint64 key);
    void followDatabase();
    using ActivationStep = std::function<bool()>;
    QVector<ActivationStep> activationSteps();
    void activateInTurns();
    void endActivation(bool done);
    bool placeAndCheckDatabase();
    void loadListSettings();
    int activationRun_ = 0;  // counts activations: the steps of an older one stop
    bool startPagesSent_ = false;
    void setCallDateToToday();
    void focusCard();
    void showAbout();
    void visitSupportSite();
    void chooseDevice();
    void showDeviceState();
    QWidget* tab(WebTab tab) const;

    DataModule& dm_;
    CallerIdDevice* device_;
    QString folder_;
    std::unique_ptr<DataQuestions> questions_;  // the data module's, in windows
    bool firstShowDone_ = false;
    QStringList startNotes_;
    bool quietTabChange_ = false;
    DataSource* cardSource_ = nullptr;
    int cardMode_ = 0;
    QString messageBeforeBusy_;  // the message panel's text before the database was busy
    QString deviceState_;
    StatementBuffer statements_;

    // Handlers.
    CallHandling* calls_ = nullptr;
    PhoneLine* phoneLine_ = nullptr;
    QList<QAction*> dialActions_;  // 拨号 on the card's phone fields and the call list
    int missedPanel_ = -1;         // the status bar's count of unseen missed calls
    CallSimulation* simulation_ = nullptr;
    WebTabs* webTabs_ = nullptr;
    CustomerCard* card_ = nullptr;
    Dictionary* dictionary_ = nullptr;    // the choice fields' values
    ExcelExport* excelExport_ = nullptr;  // the export to workbooks
    // Compact, backup, restore and clearing; the moving-in of an old Access
    // database before the first opening of the data.
    Maintenance* maintenance_ = nullptr;
    // The two list tabs: searches, field choices, grid layouts.
    CallListSearch* callList_ = nullptr;
    CustomerList* customerList_ = nullptr;
    FieldChoiceFile* callFieldChoice_ = nullptr;
    FieldChoiceFile* customerFieldChoice_ = nullptr;
    GridLayoutButtons* customerGridLayout_ = nullptr;
    GridLayoutButtons* callGridLayout_ = nullptr;
    // The earlier calls of the card's caller, on the first and the customer tab.
    EarlierCallsFollower* earlierCalls_ = nullptr;
    DesktopSettingsMenu* desktopMenu_ = nullptr;  // the four desktop entries of 设置

    StatusBar* statusPanels = nullptr;
    QTimer* clockTimer = nullptr;      // 1000 ms, on
    QTimer* cardFocusTimer = nullptr;  // focus to the card once after activation, 2000 ms

    // Upper area (the card band, 944 x 261).  The band is a plain widget: the
    // card's controls are placed on it with band coordinates (the top strip
    // takes y 0..40, the bottom bar the last 32 pixels).
    QWidget* cardPanel = nullptr;
    QWidget* topStrip = nullptr;
    Announcement* announcement = nullptr;  // red 29-px 隶书
    QLabel* regionLabel = nullptr;         // 号码归属地, left of the announcement
    QPushButton* simulationButton = nullptr;  // 测试
    QLabel* numberCaption = nullptr;          // 当前打进电话：
    QLineEdit* numberField = nullptr;
    QWidget* deviceSlot = nullptr;            // where the caller-ID box sits
    QPlainTextEdit* lineStatus = nullptr;
    QWidget* bottomBar = nullptr;             // 32-px bar at the foot of the band
    QLabel* advertisingLine = nullptr;
    QLabel* motto = nullptr;
    QPushButton* saveAsCustomerButton = nullptr;  // 存为新客户, on a call record
    DBEdit* contactField = nullptr;  // the card's; the start-up focus goes there

    // Tabs.
    QTabWidget* tabs = nullptr;
    QWidget* googleTab = nullptr;
    QWidget* yahooTab = nullptr;
    QWidget* baiduTab = nullptr;
    QWidget* customerTab = nullptr;
    QWidget* callTab = nullptr;
    QWidget* infoTab = nullptr;
    QWidget* updateTab = nullptr;
    Browser* googleBrowser = nullptr;
    Browser* yahooBrowser = nullptr;
    Browser* baiduBrowser = nullptr;
    Browser* infoBrowser = nullptr;
    Browser* updateBrowser = nullptr;
    Browser* googleSideBrowser = nullptr;
    Browser* yahooSideBrowser = nullptr;
    Browser* baiduSideBrowser = nullptr;
    Browser* customerSideBrowser = nullptr;
    Browser* callSideBrowser = nullptr;
    EarlierCallsPanel* firstTabCalls = nullptr;     // beside the call on the first tab
    EarlierCallsPanel* customerTabCalls = nullptr;  // beside the customer list

    // Tab "客户列表".
    QPushButton* showAllCustomersButton = nullptr;  // 显示所有数据
    QLabel* customerSearchCaption = nullptr;        // 查：
    QComboBox* customerSearchField = nullptr;
    QLineEdit* customerSearchText = nullptr;
    QPushButton* customerSearchButton = nullptr;    // 查询
    QTreeView* categoryTree = nullptr;               // 客户分类
    DBGrid* customerGrid = nullptr;
    QPushButton* customerEvenWidthsButton = nullptr;   // 平均列宽
    QPushButton* customerSaveLayoutButton = nullptr;   // 保存设置
    QPushButton* customerResetLayoutButton = nullptr;  // 初始化

    // Tab "来电列表".
    QLabel* callDateCaption = nullptr;  // 显示来电
    UpDownBox* callYearBox = nullptr;
    UpDownBox* callMonthBox = nullptr;
    UpDownBox* callDayBox = nullptr;
    QLabel* callSearchCaption = nullptr;  // 查：
    QComboBox* callSearchField = nullptr;
    QLineEdit* callSearchText = nullptr;
    QPushButton* callSearchButton = nullptr;  // 查询
    DBGrid* callGrid = nullptr;
    QPushButton* callEvenWidthsButton = nullptr;
    QPushButton* callSaveLayoutButton = nullptr;
    QPushButton* callResetLayoutButton = nullptr;

    // Menu.
    QMenu* dataMenu = nullptr;      // 数据管理[&D]
    QMenu* printMenu = nullptr;     // 打印[&P}
    QMenu* settingsMenu = nullptr;  // 设置[s&E]
    QMenu* helpMenu = nullptr;      // 帮助[&H]
    QAction* importExcelAction = nullptr;
    QAction* importAccessAction = nullptr;
    QAction* exportCustomersAction = nullptr;
    QAction* exportCallsAction = nullptr;
    QAction* compactAction = nullptr;
    QAction* backupAction = nullptr;
    QAction* restoreAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* callStatisticsAction = nullptr;  // 来电统计
    QAction* missedCallsAction = nullptr;     // 未接来电
    QAction* outgoingCallsAction = nullptr;   // 去电记录
    QAction* printCustomersAction = nullptr;
    QAction* searchListAction = nullptr;
    QAction* deviceAction = nullptr;  // 来电设备设置: enabled when the device can be switched
    QAction* clearCustomersAction = nullptr;
    QAction* clearCallsAction = nullptr;
    QAction* supportAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* closeAction = nullptr;  // 关闭软件, on the menu bar itself
};
