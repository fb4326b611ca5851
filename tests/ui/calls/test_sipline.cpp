// The SIP line: baresip's control protocol as the program reads it, the
// settings it keeps, and calls end to end between two real baresip
// processes on 127.0.0.1 (the desk's own and a far end).

#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

#include "rules/calls/devicesetting.h"
#include "sipdesk.h"
#include "ui/kit/message.h"
#include "ui/calls/announcement.h"
#include "ui/calls/devicesettingswindow.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using sip::Event;

class TestSipLine : public QObject {
    Q_OBJECT
private slots:
    void netstringsSplitJoinedAndBroken();
    void eventsOfBaresip();
    void numberFromTheSipAddress();
    void configurationStaysOnItsPorts();
    void settingsKeepTheLine();
    void settingsWindowSwitchesToTheLine();
    void incomingCallsEndToEnd();
    void answeredCallIsNoMissedCall();
    void baresipStoppedMidCallComesBack();

private:
    static QStringList storedCalls(DataModule& dm)
    {
        QSqlQuery q(dm.connection.database());
        q.exec(QStringLiteral("select 电话, 手机, 联系人 from 来电数据 order by ID"));
        QStringList r;
        while (q.next())
            r << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString() + QLatin1Char('|') +
                     q.value(2).toString();
        return r;
    }
};

void TestSipLine::netstringsSplitJoinedAndBroken()
{
    sip::NetstringReader r(100);
    // Two messages in one read, then one cut anywhere, also inside its length.
    QCOMPARE(r.feed("3:abc,0:,"), (QList<QByteArray>{"abc", ""}));
    QCOMPARE(r.feed("1"), QList<QByteArray>{});
    QCOMPARE(r.feed("1:hello"), QList<QByteArray>{});
    QCOMPARE(r.feed(" world,5:"), QList<QByteArray>{"hello world"});
    QCOMPARE(r.feed("x:,,,,"), QList<QByteArray>{"x:,,,"});
    QVERIFY(!r.broken());
    QCOMPARE(sip::netstring("{}"), QByteArray("2:{},"));
    // A payload of its stated length is taken even when it holds digits and colons.
    QCOMPARE(r.feed(sip::netstring("12:34,")), QList<QByteArray>{"12:34,"});

    // No comma where the payload ends, a length that is no number or over
    // the limit, a stream that never says its length: broken, and stays so.
    for (const QByteArray& bad : {QByteArray("3:abcd,"), QByteArray("x3:abc,"), QByteArray("-1:,"),
                                  QByteArray("101:"), QByteArray("12345678901")}) {
        sip::NetstringReader b(100);
        QCOMPARE(b.feed(bad), QList<QByteArray>{});
        QVERIFY2(b.broken(), bad.constData());
        QCOMPARE(b.feed("2:ok,"), QList<QByteArray>{});
        b.clear();
        QCOMPARE(b.feed("2:ok,"), QList<QByteArray>{"ok"});
    }
}

void TestSipLine::eventsOfBaresip()
{
    // As baresip 1.0 sends them.
    const Event in = sip::parseEvent(
        R"({"event":true,"type":"CALL_INCOMING","class":"call","accountaor":"sip:desk@127.0.0.1:5060",)"
        R"("direction":"incoming","peeruri":"sip:13800138000@127.0.0.1:5062","peerdisplayname":"张三",)"
        R"("id":"86c9","param":"sip:13800138000@127.0.0.1:5062"})");
    QCOMPARE(in.kind, Event::Incoming);
    QVERIFY(!in.outgoing);
    QCOMPARE(in.callId, QStringLiteral("86c9"));
    QCOMPARE(in.peerName, QStringLiteral("张三"));
    QCOMPARE(in.peerUri, QStringLiteral("sip:13800138000@127.0.0.1:5062"));

    const Event closed = sip::parseEvent(
        R"({"event":true,"type":"CALL_CLOSED","direction":"outgoing","id":"x","param":"Connection reset by user"})");
    QCOMPARE(closed.kind, Event::Closed);
    QVERIFY(closed.outgoing);
    QCOMPARE(closed.param, QStringLiteral("Connection reset by user"));
    QCOMPARE(sip::parseEvent(R"({"event":true,"type":"CALL_ESTABLISHED","id":"x"})").kind, Event::Established);
    QCOMPARE(sip::parseEvent(R"({"event":true,"type":"CALL_RTCP","id":"x"})").kind, Event::Other);

    const Event response = sip::parseEvent(R"({"response":true,"ok":false,"data":"Invalid argument","token":"dial"})");
    QCOMPARE(response.kind, Event::Response);
    QVERIFY(!response.ok);
    QCOMPARE(response.token, QStringLiteral("dial"));
    for (const QByteArray& junk : {QByteArray("[1]"), QByteArray("{"), QByteArray(""), QByteArray(R"({"type":"CALL_INCOMING"})")})
        QCOMPARE(sip::parseEvent(junk).kind, Event::Other);

    // Commands go out framed, as JSON baresip reads.
    const QByteArray dial = sip::command(QStringLiteral("dial"), QStringLiteral("057188881234"), QStringLiteral("t"));
    sip::NetstringReader r;
    const QByteArray payload = r.feed(dial).value(0);
    QCOMPARE(QJsonDocument::fromJson(payload).object().value("params").toString(), QStringLiteral("057188881234"));
    QCOMPARE(QJsonDocument::fromJson(payload).object().value("command").toString(), QStringLiteral("dial"));
}

void TestSipLine::numberFromTheSipAddress()
{
    QCOMPARE(sip::uriUser(QStringLiteral("sip:13800138000@10.0.0.1:5060")), QStringLiteral("13800138000"));
    QCOMPARE(sip::uriUser(QStringLiteral("\"张三\" <sip:+86-571-8888-1234@pbx;user=phone>;tag=1")),
             QStringLiteral("+86-571-8888-1234"));
    QCOMPARE(sip::uriUser(QStringLiteral("SIPS:801:secret@pbx.example")), QStringLiteral("801"));
    QCOMPARE(sip::uriUser(QStringLiteral("tel:+8657188881234;phone-context=x")), QStringLiteral("+8657188881234"));
    QCOMPARE(sip::uriUser(QStringLiteral("sip:0571%2088881234@pbx")), QStringLiteral("0571 88881234"));
    QCOMPARE(sip::uriUser(QStringLiteral("sip:anonymous@anonymous.invalid")), QStringLiteral("anonymous"));
    QCOMPARE(sip::uriUser(QStringLiteral("sip:pbx.example")), QString());
    QCOMPARE(sip::uriUser(QStringLiteral("http://a@b")), QString());
    // Dialled digits follow the program's number rule.
    QCOMPARE(sip::dialString(QStringLiteral("+86 (571) 8888-1234")), QStringLiteral("057188881234"));
    QCOMPARE(sip::dialString(QStringLiteral("１３８００１３８０００")), QStringLiteral("13800138000"));
    QCOMPARE(sip::dialString(QStringLiteral("无")), QString());
    QVERIFY(sip::answeredElsewhere(QStringLiteral("SIP;cause=200;text=\"Call completed elsewhere\"")));
    QVERIFY(!sip::answeredElsewhere(QStringLiteral("Connection reset by peer")));
}

void TestSipLine::configurationStaysOnItsPorts()
{
    SipAccount a;
    a.user = QStringLiteral("801");
    a.server = QStringLiteral("192.168.1.2:5060");
    a.password = QStringLiteral("pw");
    a.localPort = 5070;
    const QString config = QString::fromUtf8(sip::configFile(a, 4567));
    QVERIFY(config.contains(QStringLiteral("\nsip_listen 0.0.0.0:5070\n")));
    // The control interface is never reachable from the network.
    QVERIFY(config.contains(QStringLiteral("\nctrl_tcp_listen 127.0.0.1:4567\n")));
    QVERIFY(!config.contains(QStringLiteral("alsa")));
    QVERIFY(!config.contains(QStringLiteral("net_interface")));
    QCOMPARE(sip::accountsFile(a), QByteArray("<sip:801@192.168.1.2:5060>;auth_pass=pw;regint=600;answermode=manual\n"));
    a.registering = false;
    a.password.clear();
    a.listenAddress = QStringLiteral("127.0.0.1");
    QVERIFY(sip::configFile(a, 1).contains("\nnet_interface 127.0.0.1\n"));
    QCOMPARE(sip::accountsFile(a), QByteArray("<sip:801@192.168.1.2:5060>;regint=0;answermode=manual\n"));

    QVERIFY(sip::validServer(QStringLiteral("pbx.local")));
    QVERIFY(sip::validServer(QStringLiteral("10.0.0.1:5080")));
    for (const char* bad : {"", ":5060", "pbx:0", "pbx:70000", "a b", "801@pbx", "pbx;transport=tcp"})
        QVERIFY2(!sip::validServer(QLatin1String(bad)), bad);
}

void TestSipLine::settingsKeepTheLine()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("device.dat"));
    DeviceSetting s;
    s.kind = DeviceSetting::Sip;
    s.sip.user = QStringLiteral("801");
    s.sip.server = QStringLiteral("pbx.local:5080");
    s.sip.password = QStringLiteral("秘密 pw");
    s.sip.localPort = 5099;
    s.sip.registering = false;
    s.port = QStringLiteral("/dev/ttyACM0");
    writeDeviceSetting(file, s);
    QCOMPARE(readDeviceSetting(file), s);
    // It holds a password: its owner alone reads it.
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);
    // A file of an earlier version (no SIP keys) still reads, with the defaults.
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("device=server\r\nserver=10.0.0.5\r\nsip_port=99999\r\n");
    old.close();
    const DeviceSetting read = readDeviceSetting(file);
    QCOMPARE(read.kind, DeviceSetting::Server);
    QCOMPARE(read.sip, SipAccount());
}

void TestSipLine::settingsWindowSwitchesToTheLine()
{
    const QString folder = testutil::makeProgramFolder();
    const QString file = deviceSettingFile();
    // The line listens on loopback only (kept from the setting the window
    // was opened with: the window does not show the address).
    DeviceSetting before;
    before.sip.listenAddress = QStringLiteral("127.0.0.1");
    before.sip.localPort = baresiprig::freeSipPort();
    DeviceSwitch hub;
    hub.use(std::make_unique<SimulatedDevice>(), before);
    QStringList messages;
    setMessageSink([&](const QString& m) { messages << m; });

    DeviceSettingsWindow w(hub, file);
    auto* sipOption = testutil::named<QRadioButton>(&w, QStringLiteral("sipOption"));
    auto* user = testutil::named<QLineEdit>(&w, QStringLiteral("sipUser"));
    auto* server = testutil::named<QLineEdit>(&w, QStringLiteral("sipServer"));
    auto* registering = testutil::named<QCheckBox>(&w, QStringLiteral("sipRegister"));
    QVERIFY(!user->isEnabled());
    sipOption->setChecked(true);
    QVERIFY(user->isEnabled() && server->isEnabled());
    QCOMPARE(testutil::named<QSpinBox>(&w, QStringLiteral("sipPort"))->value(), int(before.sip.localPort));

    // No extension, or a server that is no address: refused, nothing switched.
    server->setText(QStringLiteral("127.0.0.1:5099"));
    w.saveChoice();
    user->setText(QStringLiteral("desk"));
    server->setText(QStringLiteral("desk@pbx"));
    w.saveChoice();
    QCOMPARE(messages, (QStringList{badSipText, badSipText}));
    QVERIFY(!QFile::exists(file));

    server->setText(QStringLiteral("127.0.0.1:5099"));
    registering->setChecked(false);
    testutil::named<QPushButton>(&w, QStringLiteral("okButton"))->click();
    QCOMPARE(w.result(), int(QDialog::Accepted));
    const DeviceSetting saved = readDeviceSetting(file);
    QCOMPARE(saved, w.choice());
    QCOMPARE(saved.kind, DeviceSetting::Sip);
    QCOMPARE(saved.sip.listenAddress, QStringLiteral("127.0.0.1"));
    QVERIFY(!saved.sip.registering);
    // The line runs at once, its baresip configured from the setting.
    QVERIFY(qobject_cast<SipLineDevice*>(hub.device()));
    QTRY_COMPARE_WITH_TIMEOUT(hub.queryState(), 1, 10000);
    QFile accounts(sipLineFolder() + QStringLiteral("accounts"));
    QVERIFY(accounts.open(QIODevice::ReadOnly));
    QCOMPARE(accounts.readAll(), QByteArray("<sip:desk@127.0.0.1:5099>;regint=0;answermode=manual\n"));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(sipLineFolder()).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
    setMessageSink({});
    hub.use(nullptr);
    setProgramFolder(QString());
}

void TestSipLine::incomingCallsEndToEnd()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    QCOMPARE(desk.w->panelText(MainWindow::MessagePanel), QStringLiteral("来电显示设备正常！"));
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    QSignalSpy hangups(&desk.hub, &CallerIdDevice::phoneHandoff);
    auto* announcement = testutil::named<Announcement>(desk.w.get(), QStringLiteral("announcement"));

    // A known customer's mobile, with its display name.
    desk.far.call(QStringLiteral("13900000002"), desk.deskPort);
    QVERIFY(calls.wait(10000));
    QCOMPARE(calls.at(0).at(2).toString(), QStringLiteral("13900000002"));
    QCOMPARE(calls.at(0).at(3).toString(), QStringLiteral("王五"));
    QCOMPARE(announcement->text(), QStringLiteral("老客户来电"));
    QVERIFY2(desk.lineStatus().endsWith(QStringLiteral("设备：1 电话振铃...\n来电：13900000002 新疆乌鲁木齐市")),
             qPrintable(desk.lineStatus()));
    // The line reports the end itself: no hang-up is made up after a pause
    // in the rings, however long the call rings.
    QCOMPARE(desk.line->quietRemaining(), -1);
    QCOMPARE(hangups.count(), 0);
    desk.far.hangUp();
    QVERIFY(hangups.wait(10000));
    QVERIFY(desk.lineStatus().endsWith(QStringLiteral("设备：1 电话挂机...")));
    QTRY_COMPARE(storedCalls(*desk.dm), QStringList{QStringLiteral("|13900000002|客户2")});
}

void TestSipLine::answeredCallIsNoMissedCall()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    QSignalSpy hangups(&desk.hub, &CallerIdDevice::phoneHandoff);
    QSignalSpy missed(&desk.hub, &CallerIdDevice::callUnanswered);

    // Answered at the extension, then ended by the caller: no missed call.
    desk.far.call(QStringLiteral("057188881234"), desk.deskPort);
    QVERIFY(calls.wait(10000));
    QCOMPARE(calls.at(0).at(2).toString(), QStringLiteral("057188881234"));
    QCOMPARE(calls.at(0).at(3).toString(), QStringLiteral("李四"));
    QVERIFY(desk.line->answer());
    QTRY_COMPARE_WITH_TIMEOUT(desk.far.control.count(Event::Established, true), 1, 10000);
    desk.far.hangUp();
    QVERIFY(hangups.wait(10000));

    // Ended before anyone answered: missed, with its number, name and time.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    desk.far.call(QStringLiteral("13800138000"), desk.deskPort);
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 2, 10000);
    desk.far.hangUp();
    QVERIFY(missed.wait(10000));
    QCOMPARE(missed.count(), 1);
    QCOMPARE(missed.at(0).at(2).toString(), QStringLiteral("13800138000"));
    QCOMPARE(missed.at(0).at(3).toString(), QStringLiteral("张三"));
    QVERIFY(missed.at(0).at(1).toDateTime() >= before);
    QCOMPARE(hangups.count(), 2);
}

void TestSipLine::baresipStoppedMidCallComesBack()
{
    SipDesk desk;
    QVERIFY(desk.ready());
    QSignalSpy calls(&desk.hub, &CallerIdDevice::comingCall);
    QSignalSpy hangups(&desk.hub, &CallerIdDevice::phoneHandoff);
    QSignalSpy missed(&desk.hub, &CallerIdDevice::callUnanswered);
    QSignalSpy states(&desk.hub, &CallerIdDevice::stateChanged);
    desk.far.call(QStringLiteral("13900000002"), desk.deskPort);
    QVERIFY(calls.wait(10000));

    // The desk's baresip goes away in the middle of the call: the call ends
    // on the line, the device is away, and nothing is taken for a missed call.
    const qint64 first = desk.line->processId();
    QVERIFY(first > 0);
    QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
    QVERIFY(hangups.wait(10000));
    QTRY_VERIFY(!states.isEmpty() && states.first().at(0).toInt() == 0);
    QCOMPARE(desk.w->panelText(MainWindow::MessagePanel), QStringLiteral("来电显示设备存在！"));
    desk.far.hangUp();

    // It is started again by itself, and takes the next call.
    QTRY_COMPARE_WITH_TIMEOUT(desk.hub.queryState(), 1, 10000);
    QVERIFY(desk.line->processId() != first);
    QCOMPARE(desk.w->panelText(MainWindow::MessagePanel), QStringLiteral("来电显示设备正常！"));
    desk.far.call(QStringLiteral("057188881234"), desk.deskPort);
    QTRY_COMPARE_WITH_TIMEOUT(calls.count(), 2, 10000);
    QCOMPARE(calls.at(1).at(2).toString(), QStringLiteral("057188881234"));
    QCOMPARE(missed.count(), 0);
    QVERIFY(desk.reports.isEmpty());
}

QTEST_MAIN(TestSipLine)
#include "test_sipline.moc"
