// The main window: creation, the activation step, status bar, clock, menu.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QDesktopServices>
#include <QFile>
#include <QListWidget>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "ui/shell/aboutwindow.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "ui/kit/statusbar.h"
#include "rules/files/textfile.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/simulation.h"
#include "ui/kit/updownbox.h"
#include "ui/calls/device.h"
#include "data/module/datamodule.h"
#include "ui/kit/dbcontrols.h"
#include "ui/kit/questionwindow.h"
#include "ui/records/card.h"
#include "testutil.h"
#include "ui/transfer/excelexport.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"

namespace {

using Fixture = testutil::MainFixture;

QStringList itemsOf(const QComboBox* box)
{
    QStringList r;
    for (int i = 0; i < box->count(); ++i)
        r << box->itemText(i);
    return r;
}

QStringList itemsOf(const QListWidget* list)
{
    QStringList r;
    for (int i = 0; i < list->count(); ++i)
        r << list->item(i)->text();
    return r;
}

}  // namespace

// Receives the addresses handed to the default browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void deviceStateMessage_data();
    void deviceStateMessage();
    void frameAtStart();
    void statusBarAtStart();
    void messagePanelFollowsWindowWidth();
    void clockStartsEmptyThenTicks();

    void activationOpensBothDataSets();
    void recordPositionCountsRows();
    void busyDatabaseSaidInMessagePanel();
    void activationLoadsStartPages();
    void activationRunsOnceAfterFirstShow();
    void activationPlacesWindowBottomRight();
    void testNumbersLoadedAsWritten();
    void missingDatabaseEndsActivation();
    void startupFocusMovesOnceToContactField();
    void fourTimersAtStart();
    void modalWaitGivesUp();

    void menuCaptions();
    void exitEntriesCloseWindow();
    void supportEntryOpensDefaultBrowser();
    void aboutEntryShowsFreshAboutBox();

private:
    QString folder_;
    QStringList reports_;
};

void TestMainWindow::init()
{
    folder_ = testutil::makeProgramFolder();
    reports_.clear();
    errorreport::setSink([this](const QString& text) { reports_ << text; });
}

void TestMainWindow::cleanup()
{
    errorreport::setSink({});
    setProgramFolder(QString());
}

void TestMainWindow::deviceStateMessage_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("1 works") << 1 << QStringLiteral("来电显示设备正常！");
    QTest::newRow("0") << 0 << QStringLiteral("来电显示设备存在！");
    QTest::newRow("2") << 2 << QStringLiteral("来电显示设备存在！");
    QTest::newRow("-1") << -1 << QStringLiteral("来电显示设备存在！");
}

void TestMainWindow::deviceStateMessage()
{
    QFETCH(int, state);
    QFETCH(QString, message);
    Fixture f(state);
    QCOMPARE(f.w->panelText(MainWindow::MessagePanel), message);
    QCOMPARE(f.w->folder(), folder_);
}

void TestMainWindow::frameAtStart()
{
    Fixture f;
    MainWindow& w = *f.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Tavrin来电显示自动查询软件 1.1"));
    const QStringList captions = {webaddr::productCaption1, webaddr::productCaption2,
                                  webaddr::productCaption3, QStringLiteral("客户列表"),
                                  QStringLiteral("来电列表"), QStringLiteral("信息查询"),
                                  QStringLiteral("来电软件更新")};
    QCOMPARE(testutil::named<QTabWidget>(&w, QStringLiteral("tabs"))->count(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(testutil::named<QTabWidget>(&w, QStringLiteral("tabs"))->tabText(i), captions[i]);
    QCOMPARE(testutil::named<QTabWidget>(&w, QStringLiteral("tabs"))->currentWidget(), testutil::named<QWidget>(&w, QStringLiteral("googleTab")));
}

void TestMainWindow::statusBarAtStart()
{
    Fixture f(1);
    StatusBar* bar = testutil::named<StatusBar>(f.w.get(), QStringLiteral("statusPanels"));
    // The last panel counts unseen missed calls (none: empty).
    const QStringList texts = {QStringLiteral("提示"), QStringLiteral("来电显示设备正常！"),
                               QStringLiteral("记录/总数"), QString(), QStringLiteral("时间"),
                               QString(), QString()};
    const QList<int> widths = {32, 650 - MainWindow::kMissedPanelWidth, 62, 80, 32, 100, MainWindow::kMissedPanelWidth};
    QCOMPARE(bar->panelCount(), 7);
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(bar->panelText(i), texts[i]);
        QCOMPARE(bar->panelWidth(i), widths[i]);
        QCOMPARE(bar->panelAlignment(i),
                 Qt::Alignment(i == 3 || i >= 5 ? Qt::AlignHCenter : Qt::AlignLeft));
    }
}

void TestMainWindow::messagePanelFollowsWindowWidth()
{
    Fixture f;
    MainWindow& w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int others = 350 + MainWindow::kMissedPanelWidth;
    QCOMPARE(testutil::named<StatusBar>(&w, QStringLiteral("statusPanels"))->panelWidth(MainWindow::MessagePanel), w.frameGeometry().width() - others);
    w.resize(1100, 720);
    QTRY_COMPARE(w.width(), 1100);
    QCOMPARE(testutil::named<StatusBar>(&w, QStringLiteral("statusPanels"))->panelWidth(MainWindow::MessagePanel), w.frameGeometry().width() - others);
}

void TestMainWindow::clockStartsEmptyThenTicks()
{
    Fixture f;
    QVERIFY(f.w->panelText(MainWindow::ClockPanel).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->panelText(MainWindow::ClockPanel).isEmpty(), 3000);
    const QString text = f.w->panelText(MainWindow::ClockPanel);
    // No leading zeros on month, day and hour.
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-([1-9]|1[0-2])-([1-9]|[12]\\d|3[01]) (\\d|1\\d|2[0-3]):[0-5]\\d:[0-5]\\d$"));
    QVERIFY2(form.match(text).hasMatch(), qPrintable(text));
}

void TestMainWindow::busyDatabaseSaidInMessagePanel()
{
    const QString file = folder_ + QStringLiteral("data/web.mdb");
    testutil::addCustomers(file, 300);
    Fixture f;
    MainWindow& w = *f.w;
    w.activate();
    DataSet& customers = f.dm->customerTable;
    const QString before = w.panelText(MainWindow::MessagePanel);
    customers.moveTo(250);
    customers.edit();
    customers.setValue(QStringLiteral("联系人"), QStringLiteral("改过"));
    {
        // Another program is in the middle of a write.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        other.setDatabaseName(file);
        QVERIFY(other.open());
        QSqlQuery write(other);
        QVERIFY(write.exec(QStringLiteral("begin immediate")));
        QVERIFY(write.exec(QStringLiteral("insert into 客户数据 (联系人) values ('别的程序')")));
        QVERIFY(!guarded([&] { customers.post(); }));
        QVERIFY(w.panelText(MainWindow::MessagePanel).contains(QStringLiteral("数据库正忙")));
        QCOMPARE(reports_.size(), 1);
        QVERIFY(reports_[0].contains(QStringLiteral("数据库正忙")));
        // The typing is kept for the next try.
        QCOMPARE(customers.state(), DataSet::State::Edit);
        QCOMPARE(customers.text(QStringLiteral("联系人")), QStringLiteral("改过"));
        QVERIFY(write.exec(QStringLiteral("commit")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    customers.post();
    QCOMPARE(w.panelText(MainWindow::MessagePanel), before);
    QCOMPARE(customers.text(QStringLiteral("联系人")), QStringLiteral("改过"));
    QSqlQuery check(f.dm->connection.database());
    QVERIFY(check.exec(QStringLiteral("select 联系人 from 客户数据 where id = 50")) && check.next());
    QCOMPARE(check.value(0).toString(), QStringLiteral("改过"));
    QCOMPARE(reports_.size(), 1);
}

void TestMainWindow::activationOpensBothDataSets()
{
    Fixture f;
    MainWindow& w = *f.w;
    w.activate();
    QVERIFY(reports_.isEmpty());

    QVERIFY(f.dm->customerTable.isActive());
    QCOMPARE(f.dm->customerTable.commandText(), QStringLiteral("select * from 客户数据 order by id desc"));
    QVERIFY(f.dm->callTable.isActive());
    QCOMPARE(f.dm->callTable.commandText(), QStringLiteral("select * from 来电数据 order by id desc"));

    QCOMPARE(testutil::named<QComboBox>(&w, QStringLiteral("customerSearchField"))->count(), 18);
    QCOMPARE(itemsOf(testutil::named<QComboBox>(&w, QStringLiteral("customerSearchField"))), f.dm->customerTable.fieldNames());
    QCOMPARE(testutil::named<QComboBox>(&w, QStringLiteral("customerSearchField"))->currentText(), QStringLiteral("ID"));
    QVERIFY(itemsOf(testutil::named<QComboBox>(&w, QStringLiteral("callSearchField"))).contains(QStringLiteral("日期")));
    QCOMPARE(itemsOf(testutil::named<QComboBox>(&w, QStringLiteral("callSearchField"))), f.dm->callTable.fieldNames());
    QCOMPARE(testutil::named<QComboBox>(&w, QStringLiteral("callSearchField"))->currentIndex(), 0);

    // Running it again (as a restore does) refills rather than appends.
    w.activate();
    QCOMPARE(testutil::named<QComboBox>(&w, QStringLiteral("customerSearchField"))->count(), 18);


    const QDate today = QDate::currentDate();
    QCOMPARE(testutil::named<UpDownBox>(&w, QStringLiteral("callYearBox"))->value(), today.year());
    QCOMPARE(testutil::named<UpDownBox>(&w, QStringLiteral("callMonthBox"))->value(), today.month());
    QCOMPARE(testutil::named<UpDownBox>(&w, QStringLiteral("callDayBox"))->value(), today.day());
    QVERIFY(testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->isActive());
}

void TestMainWindow::recordPositionCountsRows()
{
    {
        Fixture f;
        f.w->activate();
        QCOMPARE(f.w->panelText(MainWindow::PositionPanel), QStringLiteral("-1/0"));
    }
    for (const char* number : {"1", "2", "3"})
        testutil::execute(folder_ + QStringLiteral("data/web.mdb"),
                          QStringLiteral("insert into 来电数据 (电话) values ('%1')").arg(QLatin1String(number)));
    Fixture f;
    f.w->activate();
    // The call data set is opened last, so the panel shows its position.
    QCOMPARE(f.w->panelText(MainWindow::PositionPanel), QStringLiteral("1/3"));
    f.dm->callTable.next();
    QCOMPARE(f.w->panelText(MainWindow::PositionPanel), QStringLiteral("2/3"));
    f.dm->customerTable.first();
    QCOMPARE(f.w->panelText(MainWindow::PositionPanel), QStringLiteral("-1/0"));
}

void TestMainWindow::activationLoadsStartPages()
{
    Fixture f;
    MainWindow& w = *f.w;
    w.activate();
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("googleBrowser"))->history(), QStringList{webaddr::productPage1});
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("yahooBrowser"))->history(), QStringList{webaddr::productPage2});
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("baiduBrowser"))->history(), QStringList{webaddr::productPage3});
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("infoBrowser"))->history(), QStringList{webaddr::infoSite});
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("updateBrowser"))->history(), QStringList{webaddr::updatePage});
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("googleSideBrowser"))->history(), QStringList{webaddr::sidePageBase + QStringLiteral("22/c22405.html")});
    QVERIFY(testutil::named<Browser>(&w, QStringLiteral("googleSideBrowser"))->address().endsWith(QStringLiteral("/caipu22/c22405.html")));
    for (Browser* side : {testutil::named<Browser>(&w, QStringLiteral("yahooSideBrowser")), testutil::named<Browser>(&w, QStringLiteral("baiduSideBrowser")), testutil::named<Browser>(&w, QStringLiteral("customerSideBrowser")), testutil::named<Browser>(&w, QStringLiteral("callSideBrowser"))})
        QVERIFY(side->history().isEmpty());
    // Activation keeps the product captions.
    QCOMPARE(testutil::named<QTabWidget>(&w, QStringLiteral("tabs"))->tabText(0), webaddr::productCaption1);
}

void TestMainWindow::activationRunsOnceAfterFirstShow()
{
    Fixture f;
    MainWindow& w = *f.w;
    QVERIFY(testutil::named<Browser>(&w, QStringLiteral("googleBrowser"))->history().isEmpty());
    w.show();
    QTRY_COMPARE(testutil::named<Browser>(&w, QStringLiteral("googleBrowser"))->history().size(), 1);
    // The lists open in the turns that follow: the window answers between.
    QTRY_VERIFY(f.dm->callTable.isActive());
    QVERIFY(f.dm->customerTable.isActive());
    w.hide();
    w.show();
    QVERIFY(testutil::runPostedEvents());
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("googleBrowser"))->history().size(), 1);
}

void TestMainWindow::activationPlacesWindowBottomRight()
{
    Fixture f;
    MainWindow& w = *f.w;
    w.show();
    QTRY_COMPARE(testutil::named<Browser>(&w, QStringLiteral("googleBrowser"))->history().size(), 1);
    // Checked right after the step: the offscreen platform later shifts a
    // framed window by its frame width on its own.
    w.move(0, 0);
    w.activate();
    const QSize screen = w.screen()->geometry().size();
    const QRect frame = w.frameGeometry();
    QCOMPARE(frame.size(), QSize(952, 700));
    // Bottom right, 28 pixels free below, but never with the top-left
    // corner (and the menu bar) off the screen: the test screen is 800 x 600.
    QVERIFY(screen.width() < 952);
    QCOMPARE(frame.left(), std::max(0, screen.width() - frame.width()));
    QCOMPARE(frame.top(), std::max(0, screen.height() - frame.height() - 28));
    QVERIFY(QRect(QPoint(0, 0), screen).contains(w.menuBar()->mapToGlobal(QPoint(0, 0))));
}

void TestMainWindow::testNumbersLoadedAsWritten()
{
    const QStringList numbers = {QStringLiteral("13900001111"), QStringLiteral(" 0571-8888 "),
                                 QString(), QStringLiteral("010-12345678")};
    writeTextLines(folder_ + QStringLiteral("tel.txt"), numbers);
    Fixture f;
    QVERIFY(f.w->simulation()->testNumbers().count() == 0);
    f.w->activate();
    QCOMPARE(f.w->simulation()->testNumbers(), numbers);
    f.w->activate();
    QCOMPARE(f.w->simulation()->testNumbers(), numbers);
}

void TestMainWindow::missingDatabaseEndsActivation()
{
    QVERIFY(QFile::remove(folder_ + QStringLiteral("data/web.mdb")));
    writeTextLines(folder_ + QStringLiteral("tel.txt"), {QStringLiteral("13900001111")});
    Fixture f;
    MainWindow& w = *f.w;
    w.activate();
    QCOMPARE(reports_.size(), 1);
    QVERIFY(!QFile::exists(folder_ + QStringLiteral("data/web.mdb")));
    // Steps before the failure ran, the ones after it did not.
    QVERIFY(testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->isActive());
    QCOMPARE(testutil::named<Browser>(&w, QStringLiteral("updateBrowser"))->history().size(), 1);
    QCOMPARE(testutil::named<QComboBox>(&w, QStringLiteral("customerSearchField"))->count(), 0);
    QCOMPARE(testutil::named<UpDownBox>(&w, QStringLiteral("callYearBox"))->value(), 2002);
    QCOMPARE(w.simulation()->testNumbers().count(), 0);
    // The window lives on and keeps working.
    w.showClock();
    QVERIFY(!w.panelText(MainWindow::ClockPanel).isEmpty());
}

void TestMainWindow::startupFocusMovesOnceToContactField()
{
    Fixture f;
    MainWindow& w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_VERIFY(testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->isActive());
    QCOMPARE(testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->interval(), 2000);
    testutil::named<QLineEdit>(&w, QStringLiteral("numberField"))->setFocus();
    // About two seconds after the activation the card's own contact field
    // has the focus, and the timer is off.
    QTRY_VERIFY_WITH_TIMEOUT(w.card()->contactField()->hasFocus(), 4000);
    QCOMPARE(w.card()->contactField()->dataField(), QStringLiteral("联系人"));
    QVERIFY(!testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->isActive());
    testutil::named<QLineEdit>(&w, QStringLiteral("numberField"))->setFocus();
    QVERIFY(testutil::runPostedEvents());
    QVERIFY(testutil::named<QLineEdit>(&w, QStringLiteral("numberField"))->hasFocus());  // once only
}

void TestMainWindow::fourTimersAtStart()
{
    Fixture f;
    MainWindow& w = *f.w;
    struct T { QTimer* timer; int interval; bool on; };
    for (const T& t : {T{testutil::named<QTimer>(&w, QStringLiteral("clockTimer")), 1000, true}, T{testutil::named<QTimer>(&w, QStringLiteral("blinkTimer")), 1000, false}, T{testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer")), 2000, false},
                       T{testutil::named<QTimer>(&w, QStringLiteral("simulationTimer")), 3000, false}}) {
        QCOMPARE(t.timer->interval(), t.interval);
        QCOMPARE(t.timer->isActive(), t.on);
    }
    w.activate();
    QVERIFY(testutil::named<QTimer>(&w, QStringLiteral("cardFocusTimer"))->isActive());  // switched on by the activation
    QVERIFY(!testutil::named<QTimer>(&w, QStringLiteral("blinkTimer"))->isActive() && !testutil::named<QTimer>(&w, QStringLiteral("simulationTimer"))->isActive());
}

void TestMainWindow::modalWaitGivesUp()
{
    // Nothing modal comes up: the wait ends by itself.
    testutil::whenModal(QStringLiteral("确定"), nullptr, nullptr, 100);
    QCOMPARE(testutil::pendingModalWaits(), 1);
    QTest::ignoreMessage(QtWarningMsg, "whenModal: no modal window came up; gave up waiting");
    QTRY_COMPARE_WITH_TIMEOUT(testutil::pendingModalWaits(), 0, 2000);
}

void TestMainWindow::menuCaptions()
{
    Fixture f;
    MainWindow& w = *f.w;
    QStringList bar;
    for (QAction* a : w.menuBar()->actions())
        bar << a->text();
    QCOMPARE(bar, (QStringList{QStringLiteral("数据管理[&D]"), QStringLiteral("打印[&P}"),
                               QStringLiteral("设置[s&E]"), QStringLiteral("帮助[&H]"),
                               QStringLiteral("关闭软件")}));
    QVERIFY(!testutil::named<QAction>(&w, QStringLiteral("closeAction"))->menu());

    auto entries = [](QMenu* m) {
        QStringList r;
        for (QAction* a : m->actions())
            r << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return r;
    };
    QCOMPARE(entries(testutil::named<QMenu>(&w, QStringLiteral("dataMenu"))),
             (QStringList{QStringLiteral("导入客户数据(excel格式）"), QStringLiteral("导入客户数据(Access格式）"),
                          QStringLiteral("导出客户数据(excel)"), QStringLiteral("导出来电数据(excel)"),
                          QStringLiteral("来电统计"), QStringLiteral("未接来电"), QStringLiteral("去电记录"),
                          QStringLiteral("-"), QStringLiteral("压缩数据库"), QStringLiteral("备份数据库"),
                          QStringLiteral("恢复数据库"), QStringLiteral("-"), QStringLiteral("退出软件")}));
    QCOMPARE(entries(testutil::named<QMenu>(&w, QStringLiteral("printMenu"))), QStringList{QStringLiteral("打印客户资料")});
    QCOMPARE(entries(testutil::named<QMenu>(&w, QStringLiteral("settingsMenu"))),
             (QStringList{QStringLiteral("设置查询列表"), QStringLiteral("来电设备设置"),
                          QStringLiteral("数据库设置"), QStringLiteral("上传本机数据到服务器"), QStringLiteral("-"),
                          QStringLiteral("来电时窗口置顶"), QStringLiteral("关闭到托盘"), QStringLiteral("开机自动启动"),
                          QStringLiteral("来电时自动网页搜索"), QStringLiteral("-"), QStringLiteral("清空客户数据"),
                          QStringLiteral("清空来电数据")}));
    QCOMPARE(entries(testutil::named<QMenu>(&w, QStringLiteral("helpMenu"))),
             (QStringList{QStringLiteral("访问技术支持网站"), QStringLiteral("关于软件")}));

    // 导出来电数据 opens the export's field selection window (cancelled here).
    QString title;
    w.excelExport()->setFileChooser([](QWidget*, const QString&, const QString&, QString*) { return QString(); });
    testutil::whenModal(QString(), nullptr, &title);
    testutil::named<QAction>(&w, QStringLiteral("exportCallsAction"))->trigger();
    QCOMPARE(title, QStringLiteral("选择导出字段"));

    // 打印客户资料 asks for the printer, 来电统计 opens the statistics (both
    // closed here).
    title.clear();
    testutil::whenModal(QString(), nullptr, &title);
    testutil::named<QAction>(&w, QStringLiteral("printCustomersAction"))->trigger();
    QCOMPARE(title, QStringLiteral("打印客户资料"));
    title.clear();
    testutil::whenModal(QString(), nullptr, &title);
    testutil::named<QAction>(&w, QStringLiteral("callStatisticsAction"))->trigger();
    QCOMPARE(title, QStringLiteral("来电统计"));
    QVERIFY(reports_.isEmpty());
}

void TestMainWindow::exitEntriesCloseWindow()
{
    for (bool useBarEntry : {false, true}) {
        Fixture f;
        MainWindow& w = *f.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        (useBarEntry ? testutil::named<QAction>(&w, QStringLiteral("closeAction")) : testutil::named<QAction>(&w, QStringLiteral("exitAction")))->trigger();
        QVERIFY(!w.isVisible());
    }
}

void TestMainWindow::supportEntryOpensDefaultBrowser()
{
    Fixture f;
    UrlCatcher catcher;
    const QString scheme = QUrl(webaddr::supportSite).scheme();
    QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    testutil::named<QAction>(f.w.get(), QStringLiteral("supportAction"))->trigger();
    QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(webaddr::supportSite)});
}

void TestMainWindow::aboutEntryShowsFreshAboutBox()
{
    Fixture f;
    MainWindow& w = *f.w;
    QList<QPointer<AboutWindow>> seen;
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, &w, [&] {
            auto* box = qobject_cast<AboutWindow*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box;
            QCOMPARE(box->parentWidget(), &w);
            testutil::named<QPushButton>(box, QStringLiteral("okButton"))->click();
        });
        testutil::named<QAction>(&w, QStringLiteral("aboutAction"))->trigger();
    }
    QCOMPARE(seen.size(), 2);
    // Each box was a modal about box owned by the window, gone after it closed.
    QVERIFY(seen[0].isNull());
    QVERIFY(seen[1].isNull());
    QVERIFY(w.findChildren<AboutWindow*>().isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
