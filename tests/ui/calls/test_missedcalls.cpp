// Missed calls: a SIP call nobody answers is marked in 未接来电, counted in
// the status bar until the list is looked at, and dialled back with 回拨;
// answered calls and a modem's calls mark nothing; databases without the
// new tables read as having none; statistics per day tell answered,
// missed and outgoing calls apart.

#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>

#include "data/calls/callkinds.h"
#include "data/calls/callstatistics.h"
#include "fakemodem.h"
#include "sipdesk.h"
#include "ui/kit/statusbar.h"
#include "ui/calls/callstatisticswindow.h"
#include "ui/calls/linedevices.h"
#include "ui/calls/missedcallswindow.h"
#include "ui/calls/phoneline.h"

using sip::Event;

namespace {

QString missedPanel(MainWindow& w)
{
    auto* bar = testutil::named<StatusBar>(&w, QStringLiteral("statusPanels"));
    return bar->panelText(bar->panelCount() - 1);
}

QStringList columnsOf(QSqlDatabase db, const QString& table)
{
    QStringList names;
    QSqlQuery q(db);
    q.exec(QStringLiteral("select name from pragma_table_info('") + table + QStringLiteral("')"));
    while (q.next())
        names << q.value(0).toString();
    return names;
}

}  // namespace

class TestMissedCalls : public QObject {
    Q_OBJECT
private slots:
    void missedSipCallIsListedAndDialledBack();
    void answeredCallIsNotMissed();
    void modemMarksNothing();
    void olderDatabaseKeepsItsTables();
    void statisticsPerDay();
};

void TestMissedCalls::missedSipCallIsListedAndDialledBack()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    testutil::exec(desk.dm->connection.database(),
                   QStringLiteral("update 客户数据 set 公司名称 = '东顺纺织' where 联系人 = '客户2'"));
    QCOMPARE(missedPanel(*desk.w), QString());
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    QSignalSpy unseen(desk.w->phoneLine(), &PhoneLine::unseenChanged);

    // Two callers give up before anyone answers: a known customer, then a stranger.
    desk.far.call(QStringLiteral("13900000002"), desk.deskPort);
    QVERIFY(calls.wait(10000));
    desk.far.hangUp();
    QVERIFY(unseen.wait(10000));
    QCOMPARE(missedPanel(*desk.w), QStringLiteral("未接来电 1 个"));
    desk.far.call(QStringLiteral("057188881234"), desk.deskPort);
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 2, 10000);
    desk.far.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(missedPanel(*desk.w), QStringLiteral("未接来电 2 个"), 10000);

    // The list: newest first, with the customer; looking at it clears the count.
    desk.w->showMissedCalls();
    auto* window = testutil::named<MissedCallsWindow>(desk.w.get(), QStringLiteral("missedCallsWindow"));
    auto* table = testutil::named<QTableWidget>(window, QStringLiteral("missedTable"));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("057188881234"));
    QCOMPARE(table->item(0, 2)->text(), QString());
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("李四"));
    QVERIFY(table->item(0, 0)->font().bold());
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("13900000002"));
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("客户2 东顺纺织"));
    QCOMPARE(missedPanel(*desk.w), QString());
    QCOMPARE(desk.w->phoneLine()->unseen(), 0);

    // 回拨 on the older one rings the caller at the far end and is logged.
    desk.far.control.clear();
    table->selectRow(1);
    testutil::named<QPushButton>(window, QStringLiteral("callBackButton"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(desk.far.control.count(Event::Incoming), 1, 10000);
    desk.far.hangUp();
    // Logged with the customer's own 联系人 and 公司名称.
    const OutgoingCall back = outgoingCalls(desk.dm->connection.database(), 5).value(0);
    QCOMPARE(back.number, QStringLiteral("13900000002"));
    QCOMPARE(back.contact, QStringLiteral("客户2"));
    QCOMPARE(back.company, QStringLiteral("东顺纺织"));
    window->close();

    // The next missed call counts from nought, and the list shows it alone in bold.
    desk.far.call(QStringLiteral("13800138000"), desk.deskPort);
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 3, 10000);
    desk.far.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(missedPanel(*desk.w), QStringLiteral("未接来电 1 个"), 10000);
    MissedCallsWindow again(*desk.dm, *desk.w->phoneLine());
    auto* rows = testutil::named<QTableWidget>(&again, QStringLiteral("missedTable"));
    QCOMPARE(rows->rowCount(), 3);
    QVERIFY(rows->item(0, 0)->font().bold());
    QVERIFY(!rows->item(1, 0)->font().bold());
    QVERIFY(desk.reports.isEmpty());
}

void TestMissedCalls::answeredCallIsNotMissed()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    QSignalSpy hangups(&desk.hub, &CallerIdDevice::phoneHandoff);
    desk.far.call(QStringLiteral("13900000002"), desk.deskPort);
    QVERIFY(calls.wait(10000));
    QVERIFY(desk.line->answer());
    QTRY_COMPARE_WITH_TIMEOUT(desk.far.control.count(Event::Established, true), 1, 10000);
    desk.far.hangUp();
    QVERIFY(hangups.wait(10000));
    QCOMPARE(desk.w->phoneLine()->unseen(), 0);
    QVERIFY(missedCalls(desk.dm->connection.database(), 10).isEmpty());
    QCOMPARE(missedPanel(*desk.w), QString());
}

void TestMissedCalls::modemMarksNothing()
{
    testutil::makeProgramFolder();
    QTemporaryDir dir;
    FakeModem modem(dir.filePath(QStringLiteral("modem")));
    DeviceSwitch hub;
    auto* device = new ModemDevice(modem.link());
    device->setQuietHangupInterval(100);
    hub.use(std::unique_ptr<CallerIdDevice>(device));
    QVERIFY(modem.initialise());
    DataModule dm;
    MainWindow w(dm, hub);
    w.activate();
    QSignalSpy hangups(&hub, &CallerIdDevice::phoneHandoff);
    QSignalSpy missed(&hub, &CallerIdDevice::callUnanswered);
    // Rings nobody picks up: the modem cannot tell, so nothing is marked.
    modem.send("RING\r\nNMBR = 13900000002\r\nRING\r\n");
    QVERIFY(hangups.wait(5000));
    QCOMPARE(missed.count(), 0);
    QCOMPARE(w.phoneLine()->unseen(), 0);
    QVERIFY(!dm.connection.database().tables().contains(missedCallsTable));
    setProgramFolder(QString());
}

void TestMissedCalls::olderDatabaseKeepsItsTables()
{
    testutil::makeProgramFolder();
    testutil::MainFixture m;
    m->activate();
    QSqlDatabase db = m.dm->connection.database();
    QVERIFY(db.isOpen());
    const QStringList callColumns = columnsOf(db, QStringLiteral("来电数据"));
    // Nothing written yet: nothing to read, and no table made by reading.
    QCOMPARE(unseenMissedCalls(db), 0);
    QVERIFY(missedCalls(db, 10).isEmpty());
    QVERIFY(outgoingCalls(db, 10).isEmpty());
    const QDate today = QDate::currentDate();
    QCOMPARE(callKindsPerDay(db, today, today).value(0).incoming, 0);
    QVERIFY(!db.tables().contains(missedCallsTable));
    QVERIFY(!db.tables().contains(outgoingCallsTable));

    // The first of each makes its own table; 来电数据 keeps its columns.
    const QDateTime when(today, QTime(9, 5, 7));
    logMissedCall(db, {QStringLiteral("13900000002"), when, QStringLiteral("王五")});
    logOutgoingCall(db, {QStringLiteral("057188881234"), when, QStringLiteral("客户1"), QString()});
    QCOMPARE(columnsOf(db, QStringLiteral("来电数据")), callColumns);
    QCOMPARE(columnsOf(db, missedCallsTable),
             (QStringList{"电话号码", "日期", "时间", "时刻", "名称", "已看"}));
    const MissedCall call = missedCalls(db, 10).value(0);
    QCOMPARE(call.number, QStringLiteral("13900000002"));
    QCOMPARE(call.when, when);
    QCOMPARE(call.name, QStringLiteral("王五"));
    QVERIFY(!call.seen);
    QCOMPARE(unseenMissedCalls(db), 1);
    markMissedCallsSeen(db);
    QCOMPARE(unseenMissedCalls(db), 0);
    QCOMPARE(outgoingCalls(db, 10).value(0).when, when);
    // Day and time written as 来电数据 writes them.
    QCOMPARE(testutil::scalar(db, QStringLiteral("select 日期 || ' ' || 时间 from 去电数据")).toString(),
             storedDay(today) + QStringLiteral(" 9:05:07"));
    setProgramFolder(QString());
}

void TestMissedCalls::statisticsPerDay()
{
    testutil::makeProgramFolder();
    testutil::MainFixture m;
    m->activate();
    DataModule& dm = *m.dm;
    QSqlDatabase db = dm.connection.database();
    const QDate day(2026, 3, 9), next(2026, 3, 10);
    // Day one: three incoming calls, one of them missed, two outgoing; day
    // two: one outgoing call only.
    for (const QString& number : {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")})
        testutil::exec(db, QStringLiteral("insert into 来电数据 (电话, 日期, 时间) values ('") + number +
                               QStringLiteral("', '2026-3-9', '10:00:00')"));
    logMissedCall(db, {QStringLiteral("3"), QDateTime(day, QTime(10, 0)), QString()});
    logOutgoingCall(db, {QStringLiteral("5"), QDateTime(day, QTime(11, 0)), {}, {}});
    logOutgoingCall(db, {QStringLiteral("6"), QDateTime(day, QTime(23, 59, 59)), {}, {}});
    logOutgoingCall(db, {QStringLiteral("7"), QDateTime(next, QTime(0, 0)), {}, {}});
    const QVector<CallKinds> kinds = callKindsPerDay(db, day.addDays(-1), next);
    QCOMPARE(kinds.size(), 3);
    QCOMPARE(kinds[0].incoming + kinds[0].outgoing, 0);
    QCOMPARE(kinds[1].incoming, 3);
    QCOMPARE(kinds[1].answered(), 2);
    QCOMPARE(kinds[1].missed, 1);
    QCOMPARE(kinds[1].outgoing, 2);
    QCOMPARE(kinds[2].answered(), 0);
    QCOMPARE(kinds[2].outgoing, 1);

    // The statistics window shows and exports them.
    CallStatisticsWindow window(&dm.connection, {});
    window.setRange(day, next);
    QSignalSpy computed(&window, &CallStatisticsWindow::computed);
    window.compute();
    QVERIFY(computed.wait(10000));
    QCOMPARE(window.kinds().size(), 2);
    QCOMPARE(window.kinds()[0].missed, 1);
    QCOMPARE(window.kinds()[1].outgoing, 1);
    QVERIFY(testutil::named<QLabel>(&window, QStringLiteral("summary"))
                ->text()
                .endsWith(QStringLiteral("接听 2 次，未接 1 次；去电 3 次。")));
    setProgramFolder(QString());
}

QTEST_MAIN(TestMissedCalls)
#include "test_missedcalls.moc"
