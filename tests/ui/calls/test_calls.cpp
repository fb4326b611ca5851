// Incoming calls end to end: number search and tab change, area code, lookup
// statement, logging, announcement and blink, and the call simulation.

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "ui/calls/announcement.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "rules/files/paths.h"
#include "rules/calls/randomgen.h"
#include "rules/statements/statementtext.h"
#include "ui/kit/statusbar.h"
#include "ui/records/card.h"
#include "ui/kit/dbcontrols.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"
#include "ui/calls/simulation.h"
#include "data/module/datamodule.h"
#include "testutil.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"

namespace {
const QString kLookup = QStringLiteral("select * from 客户数据\r\n"
                                       "where 手机 like '%1390000000%'\r\n"
                                       "or 电话 like '%1390000000%'\r\n"
                                       "or 宅电 like '%1390000000%'\r\n");
QString side(int r) { return webaddr::sidePage(r); }
}  // namespace

class TestCalls : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder = testutil::makeProgramFolder();
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 3);  // 手机 1390000000N
        reports.clear();
        errorreport::setSink([this](const QString& text) { reports << text; });
    }
    void cleanup()
    {
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join('\n')));
        w.reset();
        dm.reset();
        setMessageSink({});
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void searchesFollowOnTimers();
    void tabChangeSetsSourceModeAndSidePage();
    void localNumber_data();
    void localNumber();
    void cleanNumber_data();
    void cleanNumber();
    void callRecordColumns();
    void knownCallerShowsMatchingCustomers();
    void newCallerStaysOnCallRecord();
    void twoCallsAreTwoCalls();
    void aTypedNumberReplacesTheLastOne();
    void repeatRuleFollowsTheBox();
    void numbersFoundHoweverWritten();
    void bestMatchFirst();
    void unsavedCardTypingSurvivesAKnownCaller();
    void callWithoutDatabaseIsAnnounced();
    void announcedFirstLoggedInTheNextTurn();
    void blinkSeriesAndStatusLines();
    void simulationPlaysTestNumbers();
    void simulationDrawsOverTheWholeList();

private:
    // A fresh window; with `whole` every call is handled to its end before
    // the test goes on (the log and the known customer otherwise follow in
    // later turns of the event loop).
    MainWindow& start(bool whole = true)
    {
        w.reset();
        dm = std::make_unique<DataModule>();
        w = std::make_unique<MainWindow>(*dm, device);
        if (whole) {
            auto finish = [this] { w->calls()->finishPending(); };
            connect(&device, &CallerIdDevice::comingCall, w.get(), finish);
            connect(testutil::named<QLineEdit>(&*w, QStringLiteral("numberField")), &QLineEdit::returnPressed, w.get(), finish);
        }
        w->activate();
        programRandom().setSeed(0);
        return *w;
    }
    // Stored calls, oldest first, as 电话|手机|日期|时间.
    QStringList storedCalls()
    {
        DataSet q(&dm->connection, QStringLiteral("check"));
        q.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), false));
        q.open();
        QStringList r;
        for (; !q.eof(); q.next())
            r << QStringList{q.text("电话"), q.text("手机"), q.text("日期"), q.text("时间")}.join('|');
        return r;
    }

    QString folder;
    QStringList reports;
    SimulatedDevice device;
    std::unique_ptr<DataModule> dm;
    std::unique_ptr<MainWindow> w;
};

namespace {
// Notes when it is sent somewhere.
QElapsedTimer g_clock;
class TimedBrowser : public RecordingBrowser {
public:
    using RecordingBrowser::RecordingBrowser;
    void navigate(const QString& address) override
    {
        at << g_clock.elapsed();
        RecordingBrowser::navigate(address);
    }
    QList<qint64> at;
};
}  // namespace

void TestCalls::searchesFollowOnTimers()
{
    setBrowserFactory([](QWidget* parent) { return new TimedBrowser(parent); });
    MainWindow& m = start();
    setBrowserFactory({});
    testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->setCurrentIndex(5);  // 信息查询: no draw
    // Nothing waits: the searches come after the handling has returned,
    // 200 ms apart, in the order google, yahoo, baidu.
    g_clock.start();
    m.webTabs()->searchNumber(QStringLiteral("0571"));
    m.webTabs()->searchNumber(QStringLiteral("0571+#8"));  // replaces the one before
    const QList<Browser*> browsers = {testutil::named<Browser>(&m, QStringLiteral("googleBrowser")), testutil::named<Browser>(&m, QStringLiteral("yahooBrowser")), testutil::named<Browser>(&m, QStringLiteral("baiduBrowser"))};
    for (Browser* b : browsers)
        QCOMPARE(b->history().size(), 1);  // the product page only
    QTRY_COMPARE_WITH_TIMEOUT(testutil::named<Browser>(&m, QStringLiteral("baiduBrowser"))->history().size(), 2, 5000);
    QVector<qint64> at;
    for (Browser* b : browsers) {
        QCOMPARE(b->history().size(), 2);
        at << static_cast<TimedBrowser*>(b)->at.last();
    }
    QVERIFY2(at[1] - at[0] >= 190 && at[2] - at[1] >= 190,
             qPrintable(QStringLiteral("%1 %2 %3").arg(at[0]).arg(at[1]).arg(at[2])));
    // The number is percent-encoded; digits read as they are.
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("googleBrowser"))->address(), QStringLiteral("https://www.google.com.hk/search?hl=zh-CN&q=0571%2B%238"));
    QCOMPARE(websearch::yahooAddress(QStringLiteral("05719")),
             QStringLiteral("https://hk.search.yahoo.com/search?v=web&ei=gbk&searchFlag=&fr=fp-tab-web-ycn"
                            "&pid=ysearch&source=yahoo_yhp_0706_search_button&p=05719"));
    QCOMPARE(websearch::baiduAddress(QStringLiteral("057199")), QStringLiteral("https://www.baidu.com/s?tn=b1ank_pg&word=057199"));
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->tabText(0) + testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->tabText(1) + testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->tabText(2),
             QStringLiteral("google搜索结果yahoo搜索结果百度搜索结果"));
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->currentIndex(), 5);
    QCOMPARE(programRandom().seed(), 0u);

    // A repeated activation sends the browsers home but keeps the captions.
    m.activate();
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("googleBrowser"))->address(), webaddr::productPage1);
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->tabText(0), QStringLiteral("google搜索结果"));
}

void TestCalls::tabChangeSetsSourceModeAndSidePage()
{
    MainWindow& m = start();
    DataSource* kehu = &dm->customerSource;
    DataSource* calls = &dm->callSource;
    QVERIFY(side(27315).endsWith(QStringLiteral("/caipu27/c27315.html")));
    // The operator's picks from a fresh start; tabs 6 and 7 draw nothing.
    struct Step { int tab; DataSource* source; int mode; Browser* side; QStringList pages; };
    const QList<Step> steps = {
        {3, kehu, 1, testutil::named<Browser>(&m, QStringLiteral("customerSideBrowser")), {side(0)}},
        {6, kehu, 1, nullptr, {}},
        {4, calls, 1, testutil::named<Browser>(&m, QStringLiteral("callSideBrowser")), {side(857)}},
        {5, calls, 0, nullptr, {}},
        {1, calls, 0, testutil::named<Browser>(&m, QStringLiteral("yahooSideBrowser")), {side(23520)}},
        {3, kehu, 1, testutil::named<Browser>(&m, QStringLiteral("customerSideBrowser")), {side(0), side(5533)}},
    };
    for (const Step& s : steps) {
        const uint32_t seed = programRandom().seed();
        testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->setCurrentIndex(s.tab);
        QCOMPARE(m.cardSource(), s.source);
        QCOMPARE(m.cardMode(), s.mode);
        if (s.side)
            QCOMPARE(s.side->history(), s.pages);
        else
            QCOMPARE(programRandom().seed(), seed);
    }
    QVERIFY(side(0).endsWith(QStringLiteral("/caipu0/c0.html")));
}

void TestCalls::localNumber_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("local");
    QTest::newRow("no leading 0") << "88881234" << "88881234";
    QTest::newRow("00") << "0012345" << "2345";
    QTest::newRow("021") << "02188881234" << "88881234";
    QTest::newRow("03") << "0312345" << "345";
    QTest::newRow("not above 2") << "0-1234" << "234";
    QTest::newRow("just 0") << "0" << "";
    QTest::newRow("code only") << "0571" << "";
    QTest::newRow("rest untouched") << "0571-8888 12" << "-8888 12";
}

void TestCalls::cleanNumber_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("lookup");
    QTest::newRow("digits") << "13900000001" << "13900000001";
    QTest::newRow("dashes and spaces") << "0571-8888 1234" << "88881234";
    QTest::newRow("brackets and dots") << "(021)6666.7777" << "66667777";
    QTest::newRow("full-width brackets") << "（010）12345678" << "12345678";
    QTest::newRow("+86 mobile") << "+86 139-0000-0001" << "13900000001";
    QTest::newRow("0086 fixed line") << "0086 571 8888 1234" << "88881234";
    QTest::newRow("+86 Beijing") << "+86 10 12345678" << "12345678";
    QTest::newRow("0086 with 0") << "0086-0571-88881234" << "88881234";
    QTest::newRow("+86 (0)") << "+86 (0)571 8888 1234" << "88881234";
    QTest::newRow("86 alone is kept") << "8613900000001" << "8613900000001";
    QTest::newRow("just 0") << "0" << "";
    QTest::newRow("code only") << "0571" << "";
    QTest::newRow("code and dash") << "0571-" << "";
    QTest::newRow("+86 alone") << "+86" << "";
    QTest::newRow("quote dropped") << "139'01" << "13901";
    QTest::newRow("full-width space") << "139　0000　0001" << "13900000001";
    QTest::newRow("tab and full-width dash") << "0571\t8888－1234" << "88881234";
    QTest::newRow("full-width digits and plus") << "＋８６ １３９００００００01" << "13900000001";
    QTest::newRow("extension") << "0571-8888 1234转8" << "888812348";
    QTest::newRow("letters") << "tel: 139 0000 0001" << "13900000001";
}

void TestCalls::cleanNumber()
{
    QFETCH(QString, number);
    QFETCH(QString, lookup);
    QCOMPARE(::lookupNumber(number), lookup);
}

void TestCalls::localNumber()
{
    QFETCH(QString, number);
    QFETCH(QString, local);
    QCOMPARE(::localNumber(number), local);
}

void TestCalls::callRecordColumns()
{
    auto columns = [](const char* number, QDate d, QTime t) {
        const CallRecord r = callRecord(QString::fromUtf8(number), QDateTime(d, t));
        return QStringList{r.phone, r.mobile, r.date, r.time}.join('|');
    };
    QCOMPARE(columns("13900000001", {2026, 3, 5}, {9, 5, 7}), QStringLiteral("|13900000001|2026-3-5|9:05:07"));
    QCOMPARE(columns("0139", {2026, 12, 25}, {23, 59, 0}), QStringLiteral("0139||2026-12-25|23:59:00"));
    // The column follows the digits; the text as received is stored.
    QCOMPARE(columns("+8613812345678", {2026, 1, 2}, {8, 0, 0}), QStringLiteral("|+8613812345678|2026-1-2|8:00:00"));
    QCOMPARE(columns(" 139 0000", {2026, 1, 2}, {8, 0, 0}), QStringLiteral("| 139 0000|2026-1-2|8:00:00"));
    QCOMPARE(columns("+86 10 12345678", {2026, 1, 2}, {8, 0, 0}), QStringLiteral("+86 10 12345678||2026-1-2|8:00:00"));
}

void TestCalls::knownCallerShowsMatchingCustomers()
{
    MainWindow& m = start();
    // Area code 020 goes; the rest is part of all three mobiles.
    device.simulateCall(1, QStringLiteral("0201390000000"));
    QVERIFY(storedCalls().value(0).startsWith(QStringLiteral("0201390000000||")));
    // The buffer holds the plain statement; the indexed one runs, once.
    QCOMPARE(statementText(m.statementBuffer().text().split('\n')), kLookup);
    QCOMPARE(dm->customerTable.commandText(), indexedLookupStatement(QStringLiteral("0201390000000")));
    QVERIFY(!dm->lookupTable.isActive());
    QCOMPARE(dm->customerTable.recordCount(), 3);
    QCOMPARE(m.cardSource(), &dm->customerSource);
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->currentWidget(), testutil::named<QWidget>(&m, QStringLiteral("customerTab")));
    // No tab change ran: one draw only, for the caller's side page.
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("customerSideBrowser"))->history(), QStringList{webaddr::sidePageBase + QStringLiteral("/c0.html")});
    QCOMPARE(m.cardMode(), 0);
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));

    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(dm->customerTable.recordCount(), 1);
    QCOMPARE(dm->customerTable.text("联系人"), QStringLiteral("客户2"));
    QVERIFY(storedCalls().value(1).startsWith(QStringLiteral("|13900000002|")));

    // What is not a digit is not searched for.
    device.simulateCall(1, QStringLiteral("139'01"));
    QCOMPARE(m.statementBuffer().text().count(QStringLiteral("like '%13901%'")), 3);
    QCOMPARE(dm->lookupTable.commandText(), indexedLookupStatement(QStringLiteral("139'01")));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
}

void TestCalls::newCallerStaysOnCallRecord()
{
    MainWindow& m = start();
    testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->setCurrentIndex(3);  // customers on the card
    device.simulateCall(1, QStringLiteral("057188881234"));
    const QStringList call = storedCalls().value(0).split('|');
    QCOMPARE(call.mid(0, 3), (QStringList{"057188881234", "",
                                          QDate::currentDate().toString(QStringLiteral("yyyy-M-d"))}));
    QVERIFY(QTime::fromString(call.value(3), QStringLiteral("H:mm:ss")).isValid());
    QCOMPARE(m.cardSource(), &dm->callSource);
    QCOMPARE(dm->callTable.text("电话"), QStringLiteral("057188881234"));
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->currentWidget(), testutil::named<QWidget>(&m, QStringLiteral("googleTab")));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
    QCOMPARE(dm->customerTable.commandText(), QStringLiteral("select * from 客户数据 order by id desc"));
}

// After a call the field holds its number: a click selects it, so typing
// replaces it instead of going into its middle.  Typing of the operator's
// own is clicked into as usual.  A number of more than 20 digits is no
// telephone number: refused with a message, nothing logged.
void TestCalls::aTypedNumberReplacesTheLastOne()
{
    MainWindow& m = start();
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    auto* field = testutil::named<QLineEdit>(&m, QStringLiteral("numberField"));
    device.simulateCall(1, QStringLiteral("062345678"));
    QCOMPARE(field->text(), QStringLiteral("062345678"));
    const int before = int(storedCalls().size());
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(field->width() / 2, field->height() / 2));
    QCOMPARE(field->selectedText(), QStringLiteral("062345678"));
    QTest::keyClicks(field, QStringLiteral("13900001111"));
    QCOMPARE(field->text(), QStringLiteral("13900001111"));
    // Own typing: the click goes between the digits.
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(field->width() / 2, field->height() / 2));
    QVERIFY(field->selectedText().isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(storedCalls().size()), before + 1);
    QCOMPARE(storedCalls().last().section('|', 1, 1), QStringLiteral("13900001111"));
    // Once called, a typed number is the last call's too.
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(field->width() / 2, field->height() / 2));
    QCOMPARE(field->selectedText(), QStringLiteral("13900001111"));

    QStringList messages;
    setMessageSink([&](const QString& text) { messages << text; });
    field->setText(QStringLiteral("6234561390000111178123"));  // 22 digits
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].contains(QStringLiteral("超过20位数字")), qPrintable(messages[0]));
    QCOMPARE(int(storedCalls().size()), before + 1);
    QCOMPARE(field->selectedText(), QStringLiteral("6234561390000111178123"));
    // Twenty digits are still a number.
    field->setText(QStringLiteral("62345613900001111781"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(int(storedCalls().size()), before + 2);
    QCOMPARE(messages.size(), 1);
}

void TestCalls::twoCallsAreTwoCalls()
{
    MainWindow& m = start();
    auto announcedAgain = [&] {  // a fresh blink series started
        const bool fresh = testutil::named<QTimer>(&m, QStringLiteral("blinkTimer"))->isActive() && testutil::named<Announcement>(&m, QStringLiteral("announcement"))->ticks() == 0;
        testutil::named<Announcement>(&m, QStringLiteral("announcement"))->blink();
        return fresh;
    };
    // The box repeating itself is one call; after a hang-up it is a new one.
    device.simulateCall(1, QStringLiteral("13900000001"));
    QVERIFY(announcedAgain());
    device.simulateCall(2, QStringLiteral("13900000001"));
    QCOMPARE(storedCalls().size(), 1);
    QVERIFY(!announcedAgain());
    device.simulateHandoff(1);
    device.simulateCall(1, QStringLiteral("13900000001"));
    QCOMPARE(storedCalls().size(), 2);
    QVERIFY(announcedAgain());

    // Typing and clearing by hand run nothing; every Enter with a number is
    // a call, the same number too.
    m.show();
    testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->setFocus();
    testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->selectAll();
    QTest::keyClick(testutil::named<QLineEdit>(&m, QStringLiteral("numberField")), Qt::Key_Backspace);
    QTest::keyClicks(testutil::named<QLineEdit>(&m, QStringLiteral("numberField")), QStringLiteral("88881234"));
    QCOMPARE(storedCalls().size(), 2);
    QTest::keyClick(testutil::named<QLineEdit>(&m, QStringLiteral("numberField")), Qt::Key_Return);
    QVERIFY(announcedAgain());
    QTest::keyClick(testutil::named<QLineEdit>(&m, QStringLiteral("numberField")), Qt::Key_Return);
    QVERIFY(announcedAgain());
    QCOMPARE(storedCalls().size(), 4);
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
    testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->clear();
    QTest::keyClick(testutil::named<QLineEdit>(&m, QStringLiteral("numberField")), Qt::Key_Return);  // nothing to call
    QCOMPARE(storedCalls().size(), 4);

    // An empty number from the box: searched, card on the calls, tab 1 in
    // front, nothing logged or looked up.  The same number afterwards is a
    // call again.
    device.simulateCall(1, QStringLiteral("13900000002"));
    testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->setCurrentIndex(3);
    const QString lookup = dm->lookupTable.commandText();
    device.simulateCall(1, QString());
    m.webTabs()->finishSearch();
    QVERIFY(testutil::named<Browser>(&m, QStringLiteral("googleBrowser"))->address().endsWith(QStringLiteral("&q=")));
    QCOMPARE(m.cardSource(), &dm->callSource);
    QCOMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->currentWidget(), testutil::named<QWidget>(&m, QStringLiteral("googleTab")));
    QCOMPARE(storedCalls().size(), 5);
    QCOMPARE(dm->lookupTable.commandText(), lookup);
    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(storedCalls().size(), 6);

    // A number with nothing after its area code is a new caller, not every
    // customer.
    device.simulateCall(1, QStringLiteral("0571-"));
    QCOMPARE(storedCalls().last().section('|', 0, 0), QStringLiteral("0571-"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
    // Spaces and a country code do not hide a customer.
    device.simulateCall(1, QStringLiteral("+86 139 0000 0003"));
    QCOMPARE(storedCalls().last().section('|', 1, 1), QStringLiteral("+86 139 0000 0003"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(dm->customerTable.text("联系人"), QStringLiteral("客户3"));
}

void TestCalls::repeatRuleFollowsTheBox()
{
    MainWindow& m = start();
    // The operator types the number (no Enter); then the box reports a real
    // call from it: a call.
    testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->setText(QStringLiteral("13900000001"));
    device.simulateCall(1, QStringLiteral("13900000001"));
    QCOMPARE(storedCalls().size(), 1);
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    // The same once more, the box having reported another number before.
    testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->setText(QStringLiteral("13900000002"));
    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(storedCalls().size(), 2);
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    // The box repeating itself, also written another way: nothing.
    device.simulateCall(1, QStringLiteral("+86 139 0000 0002"));
    QCOMPARE(storedCalls().size(), 2);
    // After a hang-up the same number is a call, and its repeats are not:
    // every hang-up counts once.
    for (int call = 3; call <= 4; ++call) {
        device.simulateHandoff(1);
        device.simulateCall(1, QStringLiteral("13900000001"));
        device.simulateCall(1, QStringLiteral("13900000001"));
        QCOMPARE(storedCalls().size(), call);
    }
    // Another number is always a call.
    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(storedCalls().size(), 5);
    device.simulateCall(1, QStringLiteral("13900000001"));
    QCOMPARE(storedCalls().size(), 6);
}

void TestCalls::numbersFoundHoweverWritten()
{
    testutil::execute(folder + QStringLiteral("data/web.mdb"),
                      QStringLiteral("insert into 客户数据 (联系人, 手机, 电话, 宅电) values "
                                     "('甲', '+86 138-1234-5678', null, null), "
                                     "('乙', null, '(0571) 8765-4321', null), "
                                     "('丙', null, null, '0571 87654321')"));
    MainWindow& m = start();
    device.simulateCall(1, QStringLiteral("13812345678"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(dm->customerTable.recordCount(), 1);
    QCOMPARE(dm->customerTable.text("联系人"), QStringLiteral("甲"));
    // The buffer keeps the plain statement of the digits.
    QCOMPARE(m.statementBuffer().text().split('\n').value(1), QStringLiteral("where 手机 like '%13812345678%'"));

    device.simulateCall(1, QStringLiteral("057187654321"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(dm->customerTable.recordCount(), 2);
    // Another way of writing it (a call of its own after the hang-up).
    device.simulateHandoff(1);
    device.simulateCall(1, QStringLiteral("+86 571 8765 4321"));
    QCOMPARE(dm->customerTable.recordCount(), 2);
    QCOMPARE(storedCalls().last().section('|', 0, 0), QStringLiteral("+86 571 8765 4321"));
}

void TestCalls::bestMatchFirst()
{
    // The same local number in Guangzhou (older), without area code, and in
    // Hangzhou; a mobile holding it inside.
    testutil::execute(folder + QStringLiteral("data/web.mdb"),
                      QStringLiteral("insert into 客户数据 (联系人, 手机, 电话, 宅电) values "
                                     "('广州', null, '020-87654321', null), "
                                     "('手机', '13987654321', null, null), "
                                     "('本地', null, null, '8765 4321'), "
                                     "('杭州', null, '0571-87654321', '020-87654321')"));
    MainWindow& m = start();
    device.simulateCall(1, QStringLiteral("057187654321"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(m.cardSource(), &dm->customerSource);
    QCOMPARE(dm->customerTable.text("联系人"), QStringLiteral("杭州"));
    QStringList order;
    for (dm->customerTable.first(); !dm->customerTable.eof(); dm->customerTable.next())
        order << dm->customerTable.text("联系人");
    QCOMPARE(order, (QStringList{"杭州", "本地", "广州", "手机"}));
    // A call without area code: the number stored without one first.
    device.simulateCall(1, QStringLiteral("8765-4321"));
    order.clear();
    for (dm->customerTable.first(); !dm->customerTable.eof(); dm->customerTable.next())
        order << dm->customerTable.text("联系人");
    QCOMPARE(order, (QStringList{"本地", "广州", "手机", "杭州"}));
}

void TestCalls::unsavedCardTypingSurvivesAKnownCaller()
{
    MainWindow& m = start();
    DataSet& kehu = dm->customerTable;
    // A note half typed on the newest customer, then a known caller.
    testutil::named<DBMemo>(&m, QStringLiteral("mattersField"))->setFocus();
    testutil::named<DBMemo>(&m, QStringLiteral("mattersField"))->insertPlainText(QStringLiteral("回电"));
    QCOMPARE(kehu.state(), DataSet::State::Edit);
    device.simulateCall(1, QStringLiteral("13900000001"));
    QCOMPARE(kehu.recordCount(), 1);
    DataSet check(&dm->connection, QStringLiteral("check"));
    check.setStatement(WrittenStatement::of(QStringLiteral("select 事项 from 客户数据 where id = 3"), QStringLiteral("客户数据")));
    check.open();
    QCOMPARE(check.text("事项"), QStringLiteral("回电"));

    // A store the database refuses: reported, and the typing stays.
    testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->setCurrentIndex(3);
    testutil::named<DBEdit>(&m, QStringLiteral("companyField"))->setFocus();
    testutil::named<DBEdit>(&m, QStringLiteral("companyField"))->insert(QStringLiteral("公司甲"));
    testutil::execute(folder + QStringLiteral("data/web.mdb"),
                      QStringLiteral("create trigger refuse before update on 客户数据 "
                                     "begin select raise(abort, 'locked'); end"));
    device.simulateCall(1, QStringLiteral("13900000002"));
    QVERIFY(!reports.isEmpty());
    QVERIFY(reports.last().contains(QStringLiteral("locked")));
    reports.clear();
    QCOMPARE(kehu.state(), DataSet::State::Edit);
    QCOMPARE(kehu.text("公司名称"), QStringLiteral("公司甲"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
}

void TestCalls::callWithoutDatabaseIsAnnounced()
{
    QVERIFY(QFile::remove(folder + QStringLiteral("data/web.mdb")));
    MainWindow& m = start();
    QCOMPARE(reports.size(), 1);  // the activation's failure
    reports.clear();
    QCOMPARE(m.panelText(MainWindow::MessagePanel), databaseNotOpenText);
    // Nothing can be typed that could not be stored.
    QVERIFY(m.card()->contactField()->isReadOnly());
    QVERIFY(testutil::named<DBComboBox>(&m, QStringLiteral("departmentField"))->lineEdit()->isReadOnly());
    QVERIFY(testutil::named<DBMemo>(&m, QStringLiteral("mattersField"))->isReadOnly());
    device.simulateCall(1, QStringLiteral("13900000001"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
    QCOMPARE(reports, QStringList{callNotLoggedText(QStringLiteral("13900000001"))});
    reports.clear();
}

void TestCalls::announcedFirstLoggedInTheNextTurn()
{
    MainWindow& m = start(false);
    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QVERIFY(m.calls()->callPending());
    QCOMPARE(storedCalls().size(), 0);
    QTRY_COMPARE(storedCalls().size(), 1);
    QTRY_COMPARE(testutil::named<QTabWidget>(&m, QStringLiteral("tabs"))->currentWidget(), testutil::named<QWidget>(&m, QStringLiteral("customerTab")));
    QCOMPARE(dm->customerTable.text("联系人"), QStringLiteral("客户2"));
    // A call arriving while one is still due: the first is finished first.
    device.simulateCall(1, QStringLiteral("057188880001"));
    device.simulateCall(1, QStringLiteral("057188880002"));
    QCOMPARE(storedCalls().size(), 2);
    QTRY_COMPARE(storedCalls().size(), 3);
    QCOMPARE(storedCalls().last().section('|', 0, 0), QStringLiteral("057188880002"));
}

void TestCalls::blinkSeriesAndStatusLines()
{
    MainWindow& m = start();
    const QColor red(Qt::red);
    auto ticks = [&](int n) {
        QString seen;
        for (int i = 0; i < n; ++i) {
            testutil::named<Announcement>(&m, QStringLiteral("announcement"))->blink();
            seen += testutil::named<Announcement>(&m, QStringLiteral("announcement"))->palette().color(QPalette::WindowText) == red ? 'r' : '-';
        }
        return seen;
    };
    auto shown = [&] { return testutil::named<Announcement>(&m, QStringLiteral("announcement"))->palette().color(QPalette::WindowText) == red; };
    device.simulateCall(1, QStringLiteral("13900000001"));
    QVERIFY(shown());
    QCOMPARE(ticks(3), QStringLiteral("-r-"));
    // A new call while the text is hidden: shown at once, a fresh series
    // that ends with the text shown.
    device.simulateCall(1, QStringLiteral("13900000002"));
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->ticks(), 0);
    QVERIFY(shown());
    QCOMPARE(ticks(19), QStringLiteral("-r-r-r-r-r-r-r-r-r-"));
    QVERIFY(testutil::named<QTimer>(&m, QStringLiteral("blinkTimer"))->isActive());
    QCOMPARE(ticks(1), QStringLiteral("r"));
    QVERIFY(!testutil::named<QTimer>(&m, QStringLiteral("blinkTimer"))->isActive());

    device.simulateRing(3);
    device.simulateHandoff(3);
    QCOMPARE(testutil::named<QPlainTextEdit>(&m, QStringLiteral("lineStatus"))->toPlainText(),
             QStringLiteral("来电：13900000001 新疆乌鲁木齐市\n来电：13900000002 新疆乌鲁木齐市\n"
                            "设备：3 电话振铃...\n设备：3 电话挂机..."));
}

void TestCalls::simulationPlaysTestNumbers()
{
    QStringList messages;
    setMessageSink([&](const QString& text) { messages << text; });
    testutil::named<QPushButton>(&start(), QStringLiteral("simulationButton"))->click();  // no test numbers: refused, with the reason
    QCOMPARE(messages, QStringList{noTestNumbersText});
    QVERIFY(!testutil::named<QTimer>(w.get(), QStringLiteral("simulationTimer"))->isActive());

    // CR, LF and CR LF all end a line; the empty line is an entry.
    QFile tel(folder + QStringLiteral("tel.txt"));
    QVERIFY(tel.open(QIODevice::WriteOnly));
    tel.write("13900000001\r02188889999\n\r\n13900000003\r\n");
    tel.close();
    MainWindow& m = start();
    QCOMPARE(m.simulation()->testNumbers().count(), 4);
    testutil::named<QPushButton>(&m, QStringLiteral("simulationButton"))->click();
    QVERIFY(testutil::named<QTimer>(&m, QStringLiteral("simulationTimer"))->isActive());
    QCOMPARE(testutil::named<QTimer>(&m, QStringLiteral("simulationTimer"))->interval(), 3000);
    QCOMPARE(testutil::named<QPushButton>(&m, QStringLiteral("simulationButton"))->text(), QStringLiteral("停止"));

    // Draws from a fresh start: entry 0, caller page 0, side page 23520;
    // entry 0 again (no call), side page 7455; entry 2 (empty), side page 8705.
    m.simulation()->playTestCall();
    QCOMPARE(testutil::named<Announcement>(&m, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("customerSideBrowser"))->history(), (QStringList{webaddr::callerSidePage(0), side(23520)}));
    m.simulation()->playTestCall();
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("customerSideBrowser"))->history().last(), side(7455));
    m.simulation()->playTestCall();
    QCOMPARE(testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->text(), QString());
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("googleSideBrowser"))->history().last(), side(8705));
    QCOMPARE(storedCalls().size(), 1);

    testutil::named<QPushButton>(&m, QStringLiteral("simulationButton"))->click();
    QVERIFY(!testutil::named<QTimer>(&m, QStringLiteral("simulationTimer"))->isActive());
    QCOMPARE(testutil::named<QPushButton>(&m, QStringLiteral("simulationButton"))->text(), QStringLiteral("测试"));
}

void TestCalls::simulationDrawsOverTheWholeList()
{
    // Four new callers; three ticks from a fresh start draw entries 0, 3
    // and 1 (each tick also draws tab 1's side page).
    const QStringList numbers = {"057188880001", "057188880002", "057188880003", "057188880004"};
    QFile tel(folder + QStringLiteral("tel.txt"));
    QVERIFY(tel.open(QIODevice::WriteOnly));
    tel.write(numbers.join("\r\n").toLatin1());
    tel.close();
    MainWindow& m = start();
    QStringList played;
    for (int i = 0; i < 3; ++i) {
        m.simulation()->playTestCall();
        played << testutil::named<QLineEdit>(&m, QStringLiteral("numberField"))->text();
    }
    QCOMPARE(played, (QStringList{numbers[0], numbers[3], numbers[1]}));
    QCOMPARE(testutil::named<Browser>(&m, QStringLiteral("googleSideBrowser"))->history().mid(1), (QStringList{side(857), side(5533), side(18346)}));
    QCOMPARE(storedCalls().size(), 3);
}

QTEST_MAIN(TestCalls)
#include "test_calls.moc"
