// Dialling from the card and the call list: through the SIP line (baresip's
// dial command, seen at a real far end) and through a modem (ATDT on a
// pseudo-terminal); the outgoing call in 去电数据, never among a caller's
// earlier calls; no 拨号 where the device cannot dial.

#include <QAction>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>

#include "data/numbers/callhistory.h"
#include "data/calls/callkinds.h"
#include "fakemodem.h"
#include "sipdesk.h"
#include "ui/kit/dbgrid.h"
#include "ui/calls/linedevices.h"
#include "ui/calls/phoneline.h"

using sip::Event;

namespace {

QAction* dialActionOf(QWidget* w, const char* field)
{
    return testutil::named<QLineEdit>(w, QLatin1String(field))->findChild<QAction*>(QStringLiteral("dialAction"));
}

qint64 count(DataModule& dm, const QString& sql)
{
    QSqlQuery q(dm.connection.database());
    return q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
}

}  // namespace

class TestDialling : public QObject {
    Q_OBJECT
private slots:
    void fromTheCardThroughBaresip();
    void fromTheCallList();
    void modemDialsWithAtdt();
    void notOfferedWithoutALineThatDials();
};

void TestDialling::fromTheCardThroughBaresip()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    desk.w->openCustomers();
    DataSet& customers = desk.dm->customerTable;
    for (customers.first(); !customers.eof() && customers.text("联系人") != QStringLiteral("客户2");)
        customers.next();
    QCOMPARE(customers.text("联系人"), QStringLiteral("客户2"));
    QCOMPARE(testutil::named<QLineEdit>(desk.w.get(), QStringLiteral("mobileField"))->text(),
             QStringLiteral("13900000002"));
    QAction* dial = dialActionOf(desk.w.get(), "mobileField");
    QVERIFY(dial && dial->isVisible());
    // An empty field offers nothing to dial.
    QVERIFY(!dialActionOf(desk.w.get(), "homePhoneField")->isVisible());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    dial->trigger();
    // The far end rings: the call comes from the desk's extension.
    QTRY_COMPARE_WITH_TIMEOUT(desk.far.control.count(Event::Incoming), 1, 10000);
    QCOMPARE(sip::uriUser(desk.far.control.events(Event::Incoming).first().peerUri), QStringLiteral("desk"));
    QVERIFY(desk.lineStatus().endsWith(QStringLiteral("拨号：13900000002")));
    desk.far.hangUp();

    // Logged as an outgoing call with the card's names, and nowhere among
    // the caller's calls: 来电数据 is untouched.
    const QList<OutgoingCall> out = outgoingCalls(desk.dm->connection.database(), 10);
    QCOMPARE(out.size(), 1);
    QCOMPARE(out.first().number, QStringLiteral("13900000002"));
    QCOMPARE(out.first().contact, QStringLiteral("客户2"));
    QVERIFY(out.first().when >= before && out.first().when <= QDateTime::currentDateTime());
    QCOMPARE(count(*desk.dm, QStringLiteral("select count(*) from 来电数据")), 0);
    QCOMPARE(earlierCalls(desk.dm->connection.database(), {QStringLiteral("13900000002")}, 0).count, 0);
    // 去电记录 lists it.
    desk.w->showOutgoingCalls();
    auto* log = testutil::named<QTableWidget>(desk.w.get(), QStringLiteral("outgoingTable"));
    QCOMPARE(log->rowCount(), 1);
    QCOMPARE(log->item(0, 1)->text(), QStringLiteral("13900000002"));
    QCOMPARE(log->item(0, 2)->text(), QStringLiteral("客户2"));
    QVERIFY(desk.reports.isEmpty());
}

void TestDialling::fromTheCallList()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    // A caller rings and gives up; the call list's 拨号 calls the number back.
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    desk.far.call(QStringLiteral("057188881234"), desk.deskPort);
    QVERIFY(calls.wait(10000));
    desk.far.hangUp();
    QTRY_COMPARE(count(*desk.dm, QStringLiteral("select count(*) from 来电数据")), 1);
    desk.w->openCalls();
    QCOMPARE(desk.w->currentCallNumber(), QStringLiteral("057188881234"));
    auto* grid = testutil::named<DBGrid>(desk.w.get(), QStringLiteral("callGrid"));
    QAction* dial = grid->findChild<QAction*>(QStringLiteral("dialCallAction"));
    QVERIFY(dial && dial->isVisible());
    QVERIFY(grid->actions().contains(dial));
    desk.far.control.clear();
    dial->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(desk.far.control.count(Event::Incoming), 1, 10000);
    desk.far.hangUp();
    QCOMPARE(outgoingCalls(desk.dm->connection.database(), 10).value(0).number, QStringLiteral("057188881234"));
    // Still one incoming call.
    QCOMPARE(count(*desk.dm, QStringLiteral("select count(*) from 来电数据")), 1);
}

void TestDialling::modemDialsWithAtdt()
{
    QTemporaryDir dir;
    FakeModem modem(dir.filePath(QStringLiteral("modem")));
    auto device = std::make_unique<ModemDevice>(modem.link());
    device->setHandsetInterval(50);
    QVERIFY(modem.initialise());
    QVERIFY(device->canDial());
    // The digits alone, staying in command mode; then the line is let go
    // to the lifted handset.
    QVERIFY(device->dial(QStringLiteral("+86 (571) 8888-1234")));
    QVERIFY(modem.expect("ATDT057188881234;", {}));
    QVERIFY(modem.expect("ATH", {}));
    QCOMPARE(modem.unexpected(), QByteArray());
    // Nothing to dial: nothing sent.
    QVERIFY(!device->dial(QStringLiteral("总机")));
    QCOMPARE(modem.unexpected(), QByteArray());
    device.reset();

    // Through the switch, as the window dials.
    DeviceSwitch hub;
    QSignalSpy states(&hub, &CallerIdDevice::stateChanged);
    auto* modemDevice = new ModemDevice(modem.link());
    hub.use(std::unique_ptr<CallerIdDevice>(modemDevice));
    QVERIFY(modem.initialise());
    QVERIFY(hub.canDial());
    QVERIFY(hub.dial(QStringLiteral("13800138000")));
    QVERIFY(modem.expect("ATDT13800138000;", {}));

    // An unplugged modem cannot dial.
    modem.unplug();
    QTRY_VERIFY(!hub.canDial());
    QVERIFY(!hub.dial(QStringLiteral("13800138000")));
}

void TestDialling::notOfferedWithoutALineThatDials()
{
    testutil::makeProgramFolder();
    QStringList reports;
    errorreport::setSink([&](const QString& text) { reports << text; });
    {
        // The simulation, working or not, cannot dial.
        testutil::MainFixture m(1);
        (*m).openCustomers();
        for (const char* field : {"phoneField", "mobileField", "homePhoneField"})
            QVERIFY(!dialActionOf(m.w.get(), field)->isVisible());
        QVERIFY(!testutil::named<DBGrid>(m.w.get(), QStringLiteral("callGrid"))
                     ->findChild<QAction*>(QStringLiteral("dialCallAction"))
                     ->isVisible());
        // Asked all the same, it says why and logs nothing.
        QVERIFY(!m->phoneLine()->dial(QStringLiteral("13800138000")));
        QCOMPARE(reports, QStringList{cannotDialText(QStringLiteral("13800138000"))});
        QVERIFY(outgoingCalls(m.dm->connection.database(), 10).isEmpty());
    }
    // Nor a network caller-ID server, connected or not.
    DeviceSetting server;
    server.kind = DeviceSetting::Server;
    server.server = QStringLiteral("127.0.0.1:1");
    QVERIFY(!makeDevice(server)->canDial());
    errorreport::setSink({});
    setProgramFolder(QString());
}

QTEST_MAIN(TestDialling)
#include "test_dialling.moc"
