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
    QString ProgramFolder;

    // --- status bar: panel 1 messages, 3 record position, 5 clock ------------
    StatusBar* StatusBar1;
    enum Panel { CaptionPanel = 0, MessagePanel = 1, PositionCaption = 2, PositionPanel = 3,
                 ClockCaption = 4, ClockPanel = 5 };

    // --- timers ---------------------------------------------------------------
    QTimer* Timer1;   // clock, 1000 ms, on
    QTimer* Timer2;   // announcement blink, 1000 ms, off
    QTimer* Timer3;   // focus to the card once after activation, 2000 ms, off
    QTimer* teltest;  // call simulation, 3000 ms, off

    // --- upper area (the card band, 944 x 261) ---------------------------------
    // The band is a plain widget: the card's controls are placed on it with
    // band coordinates (the top strip takes y 0..40, the bottom bar the last
    // 32 pixels).
    QWidget* CardPanel;
    QWidget* TopStrip;
    QLabel* shantext;             // announcement, red 29-px 隶书
    QPushButton* BitBtn10;        // 测试
    QLabel* TelCaption;           // 当前打进电话：
    QLineEdit* TelBuffer;         // number field
    QWidget* UsbPhoneBoxCtrl1;    // where the caller-ID box sits
    QPlainTextEdit* TelStatus;    // line status box
    QPlainTextEdit* Memo1;        // hidden statement buffer
    QWidget* BottomBar;           // 32-px bar at the foot of the band
    QLabel* Label22;              // advertising line
    QLabel* Label2;               // motto
    // The customer card's controls and buttons.
    CustomerCard* Card = nullptr;
    // The card's contact field; Timer3 puts the focus there.
    DBEdit* DBEdit1 = nullptr;

    // The caller-ID box.
    CallerIdDevice* UsbPhoneBox;

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
    FieldChoiceFile* ldfield = nullptr;
    FieldChoiceFile* khfield = nullptr;
    GridLayoutButtons* grid1Layout = nullptr;
    GridLayoutButtons* grid2Layout = nullptr;

    // --- tabs ---------------------------------------------------------------------
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet4;
    QWidget* TabSheet5;
    QWidget* TabSheet6;
    QWidget* TabSheet7;
    Browser* WebBrowser1;
    Browser* WebBrowser2;
    Browser* WebBrowser3;
    Browser* WebBrowser4;  // tab 6
    Browser* WebBrowser5;  // tab 7
    Browser* webgd01;
    Browser* webgd02;
    Browser* webgd03;
    Browser* webgd04;
    Browser* webgd05;

    // Tab 1's hidden lists.
    QListWidget* randomtel;        // test numbers from tel.txt
    QListWidget* ListBox1;         // scratch list of the search field boxes
    QListWidget* LinShi_listBox1;  // scratch list of the tree search

    // Tab 4 "客户列表".
    QPushButton* BitBtn14;  // 显示所有数据
    QLabel* Label4Search;   // 查：
    QComboBox* ComboBox2;   // field box
    QLineEdit* Edit2;       // search text
    QPushButton* BitBtn12;  // 查询
    QTreeWidget* TreeView1;  // 客户分类
    DBGrid* DBGrid1;
    QPushButton* BitBtn1;  // 平均列宽
    QPushButton* BitBtn2;  // 保存设置
    QPushButton* BitBtn6;  // 初始化
    QListWidget* Data_Field_List;   // hidden: fields of the customer data set

    // Tab 5 "来电列表".
    QLabel* Label5Date;     // 显示来电
    UpDownBox* UpDown4;     // year  (box Edit4)
    UpDownBox* UpDown5;     // month (box Edit5)
    UpDownBox* UpDown6;     // day   (box Edit6)
    QLabel* Label5Search;   // 查：
    QComboBox* ComboBox1;   // field box
    QLineEdit* Edit1;       // search text
    QPushButton* BitBtn13;  // 查询
    DBGrid* DBGrid2;
    QPushButton* BitBtn3;  // 平均列宽
    QPushButton* BitBtn4;  // 保存设置
    QPushButton* BitBtn5;  // 初始化

    // --- menu ---------------------------------------------------------------------
    QMenu* MenuData;     // 数据管理[&D]
    QMenu* MenuPrint;    // 打印[&P}
    QMenu* MenuSettings; // 设置[s&E]
    QMenu* MenuHelp;     // 帮助[&H]
    QAction* miImportExcel;   // 导入客户数据(excel格式）
    QAction* miImportAccess;  // 导入客户数据(Access格式）
    QAction* miExportKehu;    // 导出客户数据(excel)
    QAction* miExportLaiDian; // 导出来电数据(excel)
    QAction* miCompact;       // 压缩数据库
    QAction* miBackup;        // 备份数据库
    QAction* miRestore;       // 恢复数据库
    QAction* miExit;          // 退出软件
    QAction* miPrintKehu;     // 打印客户资料 — no action
    QAction* miSearchList;    // 设置查询列表
    QAction* miClearKehu;     // 清空客户数据
    QAction* miClearLaiDian;  // 清空来电数据
    QAction* miSupport;       // 访问技术支持网站
    QAction* miAbout;         // 关于软件
    QAction* miClose;         // 关闭软件 (on the menu bar itself)

    // --- operations ------------------------------------------------------------------
    // The activation step: runs once by itself after the first show; a
    // restore of the database calls it again.  An error ends the remaining
    // steps and is reported; the window stays open.
    void FormActivate();
    void OpenKehuData();
    void OpenLaiDianData();
    void XianShiNowDate();
    // Asks a yes/no question; the answer is in dm().confirmationAnswer.
    void Show_Tishi_windows2(const QString& text);

    // The card: every one of its data-aware controls is bound to the card
    // source; mode 0 is the advertising look, mode 1 the editing look (any
    // other value changes nothing).
    void setDatasource(DataSource* source);
    DataSource* cardSource() const { return cardSource_; }
    void Set_Buy_Data(int mode);
    int cardMode() const { return cardMode_; }

    void Timer1Timer();
    void Timer3Timer();
    void ShowAbout();
    void VisitSupportSite();

    // --- caller-ID device: 来电设备设置 under 设置 chooses it (when the window
    // listens through a DeviceSwitch); the message panel follows its state.
    QAction* miDevice = nullptr;
    void ChooseDevice();
    void ShowDeviceState();

protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void FormCreate();
    void buildUpperArea();
    void buildTabs();
    void buildStatusBar();
    void buildMenu();
    void buildTimers();
    void FormResize();

    DataModule& dm_;
    std::unique_ptr<DataQuestions> questions_;  // the data module's, in windows
    bool firstShowDone_ = false;
    DataSource* cardSource_ = nullptr;
    int cardMode_ = 0;
    QString messageBeforeBusy_;  // the message panel's text before the database was busy
};
