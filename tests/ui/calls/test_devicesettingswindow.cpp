// Choosing the caller-ID device and the main window following its state.

#include <QLineEdit>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "ui/kit/message.h"
#include "ui/kit/statusbar.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/devicesettingswindow.h"
#include "ui/calls/deviceswitch.h"
#include "ui/calls/linedevices.h"
#include "data/module/datamodule.h"
#include "testutil.h"

class TestDeviceWindow : public QObject {
    Q_OBJECT
private slots:
    void init() { testutil::makeProgramFolder(); }

    void messagePanelFollowsTheDevice()
    {
        DataModule dm;
        DeviceSwitch hub;
        hub.apply(readDeviceSetting(deviceSettingFile()));  // no file: simulated, state 0
        MainWindow w(dm, hub);
        auto panel = [&] { return w.panelText(MainWindow::MessagePanel); };
        QCOMPARE(panel(), QStringLiteral("来电显示设备存在！"));
        QVERIFY(testutil::named<QAction>(&w, QStringLiteral("deviceAction"))->isEnabled());
        QVERIFY(testutil::named<QMenu>(&w, QStringLiteral("settingsMenu"))->actions().contains(testutil::named<QAction>(&w, QStringLiteral("deviceAction"))));

        auto working = std::make_unique<SimulatedDevice>();
        SimulatedDevice* sim = working.get();
        sim->setState(1);
        hub.use(std::move(working));
        QCOMPARE(panel(), QStringLiteral("来电显示设备正常！"));
        sim->setState(0);  // e.g. the modem unplugged while the program runs
        QCOMPARE(panel(), QStringLiteral("来电显示设备存在！"));

        // Events of whichever device is current reach the call handling.
        sim->simulateRing(1);
        QVERIFY(testutil::named<QPlainTextEdit>(&w, QStringLiteral("lineStatus"))->toPlainText().endsWith(QStringLiteral("设备：1 电话振铃...")));

        // A window over a plain device (the tests' fixture) has no choice to offer.
        testutil::MainFixture f;
        QVERIFY(!testutil::named<QAction>(&*f, QStringLiteral("deviceAction"))->isEnabled());
    }

    void windowSavesAndAppliesAtOnce()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        const QString file = deviceSettingFile();
        DeviceSwitch hub;
        hub.apply({});
        QStringList messages;
        setMessageSink([&](const QString& m) { messages << m; });

        DeviceSettingsWindow w(hub, file);
        auto* simulated = w.findChild<QRadioButton*>(QStringLiteral("simulatedOption"));
        auto* serial = w.findChild<QRadioButton*>(QStringLiteral("serialOption"));
        auto* server = w.findChild<QRadioButton*>(QStringLiteral("serverOption"));
        auto* port = w.findChild<QComboBox*>(QStringLiteral("portChoice"));
        auto* address = w.findChild<QLineEdit*>(QStringLiteral("serverAddress"));
        QVERIFY(simulated && serial && server && port && address);
        QVERIFY(simulated->isChecked());
        QVERIFY(!address->isEnabled());

        // Refused choices: nothing written, nothing switched.
        server->setChecked(true);
        QVERIFY(address->isEnabled());
        address->setText(QStringLiteral("127.0.0.1:99999"));
        w.saveChoice();
        serial->setChecked(true);
        port->setCurrentText(QString());
        w.saveChoice();
        QCOMPARE(messages, (QStringList{badServerText, noPortText}));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(hub.setting().kind, DeviceSetting::Simulated);
        QCOMPARE(w.result(), int(QDialog::Rejected));

        // The server: saved, connected at once (确定 as the operator presses it).
        QSignalSpy states(&hub, &CallerIdDevice::stateChanged);
        server->setChecked(true);
        address->setText(QStringLiteral("127.0.0.1:%1").arg(listener.serverPort()));
        w.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(readDeviceSetting(file), w.choice());
        QVERIFY(qobject_cast<ServerDevice*>(hub.device()));
        QTRY_COMPARE(hub.queryState(), 1);
        QVERIFY(!states.isEmpty());
        QCOMPARE(states.last()[0].toInt(), 1);

        // Opened again, the window shows the saved choice.
        DeviceSettingsWindow again(hub, file);
        QVERIFY(again.findChild<QRadioButton*>(QStringLiteral("serverOption"))->isChecked());
        QCOMPARE(again.choice().server, address->text());
        setMessageSink({});
    }

    void switchingAwayMidCallEndsTheCall()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        DeviceSwitch hub;
        QSignalSpy calls(&hub, &CallerIdDevice::comingCall);
        QSignalSpy hangups(&hub, &CallerIdDevice::phoneHandoff);
        hub.use(std::make_unique<ServerDevice>(QStringLiteral("127.0.0.1"), server.serverPort()));
        QVERIFY(QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000));
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write("CID: *NMBR*13812345678*\r\n");
        QTRY_COMPARE(calls.count(), 1);
        hub.apply({});
        QCOMPARE(hangups.count(), 1);
        hub.apply({});  // no call in progress: no hang-up
        QCOMPARE(hangups.count(), 1);
    }
};

QTEST_MAIN(TestDeviceWindow)
#include "test_devicesettingswindow.moc"
