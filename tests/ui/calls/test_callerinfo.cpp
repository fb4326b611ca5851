// Who is calling, beyond the announcement: where the number belongs, the
// caller's earlier calls beside the card, a new caller saved as a customer,
// and a known caller's call logged with the customer's names.

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <QScopeGuard>
#include <QSemaphore>
#include <atomic>
#include <memory>

#include "data/dataset/rowreader.h"
#include "data/module/datamodule.h"
#include "data/module/callcustomer.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/announcement.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"
#include "ui/calls/earliercallsfollower.h"
#include "ui/calls/earliercallspanel.h"

using testutil::named;

class TestCallerInfo : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        file_ = folder_ + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file_, 3);  // 手机 1390000000N
        reports_.clear();
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }
    void cleanup()
    {
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
        w_.reset();
        dm_.reset();
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void regionBesideTheAnnouncementAndInTheLineStatus();
    void earlierCallsOfANewCallerNewestFirst();
    void earlierCallsFollowTheCardThroughTheCallList();
    void earlierCallsAreReadBesideTheWindow();
    void aKnownCallersPanelHoldsAllTheirNumbers();
    void aNewCallerSavedAsCustomerIsKnownNextTime();
    void aChosenNotificationShowsItsCall();
    void aCallOfAKnownNumberIsNotStoredAsANewCustomer();

private:
    // A fresh window, activated; every call is handled to its end.
    MainWindow& start()
    {
        w_.reset();
        dm_ = std::make_unique<DataModule>();
        w_ = std::make_unique<MainWindow>(*dm_, device_);
        connect(&device_, &CallerIdDevice::comingCall, w_.get(), [this] { w_->calls()->finishPending(); });
        w_->activate();
        return *w_;
    }
    // A call and its hang-up (the box does not report the same number twice
    // without one).
    void call(const QString& number)
    {
        device_.simulateCall(1, number);
        device_.simulateHandoff(1);
    }
    EarlierCallsPanel* panel(const char* name) { return named<EarlierCallsPanel>(w_.get(), QLatin1String(name)); }
    QString lastStatusLine()
    {
        const QStringList lines = named<QPlainTextEdit>(w_.get(), QStringLiteral("lineStatus"))->toPlainText().split('\n');
        for (qsizetype i = lines.size() - 1; i >= 0; --i)
            if (lines[i].startsWith(QStringLiteral("来电：")))
                return lines[i];
        return {};
    }

    QString folder_, file_;
    QStringList reports_;
    SimulatedDevice device_;
    std::unique_ptr<DataModule> dm_;
    std::unique_ptr<MainWindow> w_;
};

void TestCallerInfo::regionBesideTheAnnouncementAndInTheLineStatus()
{
    MainWindow& w = start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* announcement = named<Announcement>(&w, QStringLiteral("announcement"));
    auto* region = named<QLabel>(&w, QStringLiteral("regionLabel"));
    const QRect announcementPlace = announcement->geometry();

    // A new mobile, a new landline, a known caller: each has its region.
    call(QStringLiteral("13812345678"));
    QCOMPARE(announcement->text(), QStringLiteral("新客户来电"));
    QCOMPARE(region->text(), QStringLiteral("江苏省连云港市"));
    QCOMPARE(lastStatusLine(), QStringLiteral("来电：13812345678 江苏省连云港市"));
    call(QStringLiteral("0571-8765-4321"));
    QCOMPARE(region->text(), QStringLiteral("浙江省杭州市"));
    QCOMPARE(lastStatusLine(), QStringLiteral("来电：0571-8765-4321 浙江省杭州市"));
    call(QStringLiteral("13900000002"));
    QCOMPARE(announcement->text(), QStringLiteral("老客户来电"));
    QCOMPARE(region->text(), QStringLiteral("新疆乌鲁木齐市"));

    // A service number belongs nowhere: no region is left from the call before.
    call(QStringLiteral("95588"));
    QCOMPARE(region->text(), QString());
    QCOMPARE(lastStatusLine(), QStringLiteral("来电：95588"));

    // A long region keeps clear of the announcement, which neither moves
    // nor shrinks.
    call(QStringLiteral("0477-8123456"));
    QVERIFY(region->text().contains(QStringLiteral("鄂尔多斯")));
    QApplication::processEvents();
    QCOMPARE(announcement->geometry(), announcementPlace);
    QVERIFY(!region->geometry().intersects(announcement->geometry()));
}

void TestCallerInfo::earlierCallsOfANewCallerNewestFirst()
{
    // Three earlier calls of one number with their notes, one of them logged
    // under 电话 and one under 手机 (as an import may have it); sixty of
    // another number; none of a third.
    testutil::execute(file_, QStringLiteral(
        "insert into 来电数据 (电话, 手机, 日期, 时间, 事项, 答复) values "
        "('13712345678', null, '2026-1-5', '9:00:00', '询问报价', '已报价'),"
        "(null, '057163010428', '2026-1-6', '9:30:00', '别人的', null),"
        "(null, '13712345678', '2026-2-1', '10:00:00', '催货', '明天发'),"
        "('13712345678', null, '2026-3-1', '11:00:00', '投诉', '已道歉')"));
    for (int i = 0; i < 60; ++i)
        testutil::execute(file_, QStringLiteral("insert into 来电数据 (电话, 日期, 时间) values ('057163010428', '2026-4-1', '8:00:00')"));
    MainWindow& w = start();
    EarlierCallsPanel* first = panel("firstTabCalls");

    call(QStringLiteral("13712345678"));
    QTRY_COMPARE(first->title(), QStringLiteral("第 4 次来电"));
    QCOMPARE(first->rowsShown(), 3);
    QCOMPARE(first->row(0), (QStringList{QStringLiteral("2026-3-1"), QStringLiteral("11:00:00"),
                                         QStringLiteral("投诉"), QStringLiteral("已道歉")}));
    QCOMPARE(first->row(2)[2], QStringLiteral("询问报价"));

    // The same number again: the call logged a moment ago is on top.
    call(QStringLiteral("13812345678"));
    QTRY_COMPARE(first->title(), QStringLiteral("第 1 次来电"));
    QCOMPARE(first->rowsShown(), 0);
    call(QStringLiteral("13712345678"));
    QTRY_COMPARE(first->title(), QStringLiteral("第 5 次来电"));
    QCOMPARE(first->rowsShown(), 4);
    QCOMPARE(first->row(0)[0], dm_->callTable.text(QStringLiteral("日期")));
    QCOMPARE(first->row(0)[2], QString());
    QCOMPARE(first->row(1)[2], QStringLiteral("投诉"));

    // More calls than the panel lists: the newest, and the count of all.
    call(QStringLiteral("057163010428"));
    QTRY_VERIFY(first->title().startsWith(QStringLiteral("第 62 次来电")));
    QCOMPARE(first->rowsShown(), EarlierCallsFollower::kShownCalls);
    QVERIFY(first->title().contains(QString::number(EarlierCallsFollower::kShownCalls)));
    QCOMPARE(w.cardSource(), &dm_->callSource);
}

void TestCallerInfo::earlierCallsFollowTheCardThroughTheCallList()
{
    testutil::execute(file_, QStringLiteral(
        "insert into 来电数据 (电话, 日期, 时间, 事项) values "
        "('057163010428', '2026-1-5', '9:00:00', '第一次'),"
        "('057163010428', '2026-1-6', '9:00:00', '第二次'),"
        "('02088889999', '2026-1-7', '9:00:00', '广州')"));
    MainWindow& w = start();
    EarlierCallsPanel* first = panel("firstTabCalls");
    auto* tabs = named<QTabWidget>(&w, QStringLiteral("tabs"));
    tabs->setCurrentWidget(named<QWidget>(&w, QStringLiteral("callTab")));
    QCOMPARE(w.cardSource(), &dm_->callSource);

    // The call list shows the newest first: 广州, 第二次, 第一次.
    dm_->callTable.first();
    QTRY_COMPARE(first->title(), QStringLiteral("第 1 次来电"));
    dm_->callTable.next();
    QTRY_COMPARE(first->title(), QStringLiteral("第 2 次来电"));
    QCOMPARE(first->row(0)[2], QStringLiteral("第一次"));
    dm_->callTable.next();
    QTRY_COMPARE(first->title(), QStringLiteral("第 1 次来电"));
    QCOMPARE(first->rowsShown(), 0);

    // A note typed on the call shown is in the panel of the call after it
    // once stored.
    dm_->callTable.edit();
    dm_->callTable.setValue(QStringLiteral("事项"), QStringLiteral("改过的"));
    dm_->callTable.prior();
    QTRY_COMPARE(first->row(0).value(2), QStringLiteral("改过的"));
}

void TestCallerInfo::earlierCallsAreReadBesideTheWindow()
{
    testutil::execute(file_, QStringLiteral(
        "insert into 来电数据 (电话, 日期, 时间, 事项) values "
        "('057163010428', '2026-1-5', '9:00:00', '第一次'),"
        "('057163010428', '2026-1-6', '9:00:00', '第二次'),"
        "('02088889999', '2026-1-7', '9:00:00', '广州'),"
        "('057163010428', '2026-1-8', '9:00:00', '第三次')"));
    MainWindow& w = start();
    EarlierCallsPanel* first = panel("firstTabCalls");
    named<QTabWidget>(&w, QStringLiteral("tabs"))->setCurrentWidget(named<QWidget>(&w, QStringLiteral("callTab")));
    // Newest first: 第三次, 广州, 第二次, 第一次.
    dm_->callTable.first();
    QTRY_COMPARE(first->title(), QStringLiteral("第 3 次来电"));

    // Reads held on their thread: the window moves on meanwhile, and the
    // read for the record it left is dropped for one of the record it is on.
    QSemaphore release;
    std::atomic<int> held{0};
    RowReader::setPauses([&] { ++held; release.acquire(); }, nullptr);
    auto resume = qScopeGuard([&] {
        RowReader::setPauses(nullptr, nullptr);
        release.release(100);
    });
    dm_->callTable.next();  // 广州
    QTRY_VERIFY(held.load() > 0);
    QCOMPARE(first->title(), QStringLiteral("第 3 次来电"));
    dm_->callTable.next();  // 第二次
    QCOMPARE(dm_->callTable.text(QStringLiteral("事项")), QStringLiteral("第二次"));
    RowReader::setPauses(nullptr, nullptr);
    release.release(100);
    QTRY_COMPARE(first->title(), QStringLiteral("第 2 次来电"));
    QTRY_VERIFY(!w.findChild<EarlierCallsFollower*>()->reading());
    QCOMPARE(first->title(), QStringLiteral("第 2 次来电"));
    QCOMPARE(first->rowsShown(), 1);
    QCOMPARE(first->row(0)[2], QStringLiteral("第一次"));
}

void TestCallerInfo::aKnownCallersPanelHoldsAllTheirNumbers()
{
    // 客户1's office number besides the mobile the records give it.
    testutil::execute(file_, QStringLiteral("update 客户数据 set 电话 = '057188887777', 公司名称 = '东顺纺织' "
                                            "where 联系人 = '客户1'"));
    testutil::execute(file_, QStringLiteral(
        "insert into 来电数据 (电话, 手机, 日期, 时间, 事项) values "
        "('057188887777', null, '2026-1-5', '9:00:00', '座机打来'),"
        "(null, '13900000001', '2026-1-6', '9:00:00', '手机打来'),"
        "(null, '13900000002', '2026-1-6', '9:00:00', '别的客户')"));
    MainWindow& w = start();
    call(QStringLiteral("13900000001"));
    QCOMPARE(named<QTabWidget>(&w, QStringLiteral("tabs"))->currentWidget(), named<QWidget>(&w, QStringLiteral("customerTab")));
    EarlierCallsPanel* customer = panel("customerTabCalls");
    // Every call of the customer, the one logged now on top (logged with the
    // customer's names).
    QTRY_COMPARE(customer->title(), customerCallsText(3));
    QCOMPARE(customer->row(1)[2], QStringLiteral("手机打来"));
    QCOMPARE(customer->row(2)[2], QStringLiteral("座机打来"));
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select 联系人 || '|' || 公司名称 from 来电数据 order by id desc limit 1")).toString(),
             QStringLiteral("客户1|东顺纺织"));

    // Moving to another customer in the list shows that customer's calls.
    dm_->customerTable.reopen(WrittenStatement::of(QStringLiteral("select * from 客户数据 where 联系人 = '客户2'"), QStringLiteral("客户数据")));
    QTRY_COMPARE(customer->title(), customerCallsText(1));
    QCOMPARE(customer->row(0)[2], QStringLiteral("别的客户"));
}

void TestCallerInfo::aNewCallerSavedAsCustomerIsKnownNextTime()
{
    MainWindow& w = start();
    auto* save = named<QPushButton>(&w, QStringLiteral("saveAsCustomerButton"));
    QVERIFY(save->isHidden());  // the card shows a customer
    call(QStringLiteral("0571-5555-0000"));
    QCOMPARE(named<Announcement>(&w, QStringLiteral("announcement"))->text(), QStringLiteral("新客户来电"));
    QVERIFY(!save->isHidden());
    QVERIFY(save->isEnabled());

    // The operator notes who called on the call record and saves it as a customer.
    DataSet& calls = dm_->callTable;
    calls.edit();
    calls.setValue(QStringLiteral("联系人"), QStringLiteral("王五"));
    calls.setValue(QStringLiteral("公司名称"), QStringLiteral("五金公司"));
    calls.setValue(QStringLiteral("事项"), QStringLiteral("要报价"));
    save->click();
    QVERIFY(!save->isEnabled());  // once for this record
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select count(*) from 客户数据")).toInt(), 4);
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select 联系人 || '|' || 公司名称 || '|' || 电话 || '|' || 事项 "
                                                     "from 客户数据 order by id desc limit 1")).toString(),
             QStringLiteral("王五|五金公司|0571-5555-0000|要报价"));
    // The call record keeps what was typed on it.
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select 联系人 from 来电数据 order by id desc limit 1")).toString(),
             QStringLiteral("王五"));

    // The next call from that number, however written, is a known caller's,
    // and its row says who called.
    call(QStringLiteral("057155550000"));
    QCOMPARE(named<Announcement>(&w, QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
    QCOMPARE(dm_->customerTable.text(QStringLiteral("联系人")), QStringLiteral("王五"));
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select 联系人 || '|' || 公司名称 || '|' || 电话 from 来电数据 "
                                                     "order by id desc limit 1")).toString(),
             QStringLiteral("王五|五金公司|057155550000"));
    QVERIFY(save->isHidden());
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select count(*) from 客户数据")).toInt(), 4);

    // Back on the first call record (another record in between makes the
    // button usable again), 存为新客户 once more: refused, said, nothing stored.
    calls.first();
    calls.last();
    w.setCardSource(&dm_->callSource);
    QVERIFY(save->isEnabled());
    QString question;
    testutil::whenModal(QStringLiteral("否"), &question);
    save->click();
    QVERIFY2(question.contains(QStringLiteral("已是客户“王五 五金公司”的号码")) &&
                 question.contains(QStringLiteral("要打开这位客户吗")),
             qPrintable(question));
    QVERIFY(w.panelText(MainWindow::MessagePanel).contains(QStringLiteral("没有存为新客户")));
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select count(*) from 客户数据")).toInt(), 4);
}

// 存为新客户 on the call record of a known customer's number (written
// another way) stores nothing; 是 opens that customer on the card.
void TestCallerInfo::aCallOfAKnownNumberIsNotStoredAsANewCustomer()
{
    testutil::execute(file_, QStringLiteral("insert into 来电数据 (手机, 日期, 时间) values ('+86 139-0000-0002', '2026-1-6', '9:00:00')"));
    MainWindow& w = start();
    dm_->callTable.first();
    w.setCardSource(&dm_->callSource);
    QString question;
    testutil::whenModal(QStringLiteral("是"), &question);
    named<QPushButton>(&w, QStringLiteral("saveAsCustomerButton"))->click();
    QVERIFY2(question.startsWith(QStringLiteral("号码 +86 139-0000-0002 已是客户“客户2")), qPrintable(question));
    QCOMPARE(testutil::valueOf(file_, QStringLiteral("select count(*) from 客户数据")).toInt(), 3);
    QCOMPARE(w.cardSource(), &dm_->customerSource);
    QCOMPARE(dm_->customerTable.recordCount(), 1);
    QCOMPARE(dm_->customerTable.text(QStringLiteral("联系人")), QStringLiteral("客户2"));
    // A number that is only part of a customer's is not that customer's.
    QString name;
    QCOMPARE(customerWithNumber(*dm_, QStringLiteral("0000002"), &name), qint64(0));
    QVERIFY(customerWithNumber(*dm_, QStringLiteral("13900000002"), &name) > 0);
}

// A click on an earlier call's notification: the window shows that call's
// record, whatever the operator moved to meanwhile.
void TestCallerInfo::aChosenNotificationShowsItsCall()
{
    MainWindow& w = start();
    call(QStringLiteral("13900000001"));
    const int first = w.lastCallTag();
    call(QStringLiteral("0571-5555-0000"));
    const int second = w.lastCallTag();
    QVERIFY(first > 0 && second == first + 1);
    DataSet& calls = dm_->callTable;
    calls.last();
    w.setCardSource(&dm_->customerSource);
    w.showCall(first);
    QCOMPARE(w.cardSource(), &dm_->callSource);
    QCOMPARE(calls.text(QStringLiteral("手机")), QStringLiteral("13900000001"));
    w.showCall(second);
    QCOMPARE(calls.text(QStringLiteral("电话")), QStringLiteral("0571-5555-0000"));
    // A tag never given, or a call no longer in the list: nothing moves.
    w.showCall(second + 5);
    QCOMPARE(calls.text(QStringLiteral("电话")), QStringLiteral("0571-5555-0000"));
}

QTEST_MAIN(TestCallerInfo)
#include "test_callerinfo.moc"
