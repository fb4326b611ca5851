#include "ui/calls/linedevices.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

// A caller-ID server on 127.0.0.1 that the test speaks for.
struct FakeServer {
    QTcpServer server;
    QPointer<QTcpSocket> client;
    quint16 port = 0;

    bool listen(quint16 at = 0)
    {
        if (!server.listen(QHostAddress::LocalHost, at))
            return false;
        port = server.serverPort();
        return true;
    }
    // Waits for the device to connect and greets it like a real server,
    // with a line of the call log before the end of the log.
    bool accept()
    {
        // Waiting serves events: the device's reconnect timer must run.
        if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000))
            return false;
        client = server.nextPendingConnection();
        send("200 Server: test 1.0\r\nCIDLOG: *DATE*01012026*TIME*0800*NMBR*111*NAME*OLD*\r\n"
             "300 End of call log\r\n");
        return true;
    }
    void send(const QByteArray& bytes)
    {
        client->write(bytes);
        client->flush();
    }
};

struct ServerRig {
    FakeServer fake;
    std::unique_ptr<ServerDevice> device;
    std::unique_ptr<QSignalSpy> calls, rings, hangups, states;

    ServerRig()
    {
        QVERIFY(fake.listen());
        device = std::make_unique<ServerDevice>(QStringLiteral("127.0.0.1"), fake.port);
        device->setQuietHangupInterval(800);
        device->setPauses(50, 400);
        calls = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::comingCall);
        rings = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::ring);
        hangups = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::phoneHandoff);
        states = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::stateChanged);
        QVERIFY(fake.accept());
        QTRY_COMPARE(device->queryState(), 1);
    }
};

class TestServer : public QObject {
    Q_OBJECT
private slots:
    void callsWithServerHangups()
    {
        ServerRig rig;
        QCOMPARE(rig.states->count(), 1);
        rig.fake.send("CIDINFO: *LINE*POTS*RING*1*TIME*10:00:00*\r\n");
        QTRY_COMPARE(rig.rings->count(), 1);
        // Fields in another order, split over two reads (the ring before
        // the split shows the first has been read), a UTF-8 name.
        rig.fake.send("CIDINFO: *LINE*POTS*RING*2*\r\nCID: *NAME*李四*MESG*NONE*NMBR*0571888");
        QTRY_COMPARE(rig.rings->count(), 2);
        rig.fake.send("80000*LINE*-*DATE*12082026*TIME*0016*\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        QCOMPARE(rig.calls->at(0)[1].toDateTime(), QDateTime(QDate(2026, 12, 8), QTime(0, 16)));
        QCOMPARE(rig.calls->at(0)[2].toString(), QStringLiteral("057188880000"));
        QCOMPARE(rig.calls->at(0)[3].toString(), QStringLiteral("李四"));

        rig.fake.send("CIDINFO: *LINE*POTS*RING*-1*\r\nCIDINFO: *LINE*POTS*RING*-2*\r\n");
        QTRY_COMPARE(rig.hangups->count(), 1);
        // The same number again after the hang-up is a new call; a second
        // hang-up line for a call already ended adds nothing.
        rig.fake.send("CIDINFO: *LINE*POTS*RING*0*\r\nCID: *NMBR*057188880000*\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
        rig.fake.send("HUP: *NMBR*057188880000*\r\nHUP: *NMBR*057188880000*\r\n");
        QTRY_COMPARE(rig.hangups->count(), 2);
        QVERIFY(!rig.device->inCall());  // no hang-up of its own to come
        rig.fake.send("CIDINFO: *LINE*POTS*RING*1*\r\n");
        QTRY_COMPARE(rig.rings->count(), 3);
        QCOMPARE(rig.hangups->count(), 2);
        // The log line sent at connection was no call.
        QCOMPARE(rig.calls->count(), 2);
    }

    void serverWithoutHangupLinesAndNoise()
    {
        ServerRig rig;
        rig.fake.send(QByteArray(3000, 'x') + "\r\n" + QByteArray("\x00\xff\x01\r\n", 4) +
                      "CID: *NMBR*RING*NAME*No Caller ID*\r\n");  // no number
        rig.fake.send("CID: *DATE*12082026*NMBR*139 0000 1111*\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        QCOMPARE(rig.calls->at(0)[2].toString(), QStringLiteral("139 0000 1111"));
        // No hang-up line ever comes: the device ends the call itself.
        QTRY_COMPARE(rig.hangups->count(), 1);
        rig.fake.send("CID: *DATE*12082026*NMBR*139 0000 1111*\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
    }

    void serverGoesAwayAndComesBack()
    {
        ServerRig rig;
        rig.fake.send("CID: *NMBR*13812345678*\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);

        // The server goes: state 0, the call in progress ends.
        const quint16 port = rig.fake.port;
        rig.fake.client->abort();
        rig.fake.server.close();
        QTRY_COMPARE(rig.device->queryState(), 0);
        QCOMPARE(rig.hangups->count(), 1);
        QCOMPARE(rig.states->count(), 2);

        // Each failed attempt doubles the pause, up to the longest.
        QTRY_COMPARE_WITH_TIMEOUT(rig.device->nextPause(), 400, 3000);

        // Back on the same port: connected again within the longest pause,
        // and the pause starts over once the server talks.
        QVERIFY(rig.fake.listen(port));
        QVERIFY(rig.fake.accept());
        QTRY_COMPARE(rig.device->queryState(), 1);
        QTRY_COMPARE(rig.device->nextPause(), 50);
        rig.fake.send("CID: *NMBR*13812345678*\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
    }

    void pauseGrowsToAMinute()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        ServerDevice device(QStringLiteral("127.0.0.1"), port);  // the program's own pauses
        // Every refused attempt waits twice as long as the one before, up to
        // a minute (each attempt made at once here).
        QList<int> pauses;
        for (int i = 0; i < 9; ++i) {
            QTRY_VERIFY(device.retryPause() > 0);
            pauses << device.retryPause();
            device.retryNow();
        }
        QCOMPARE(pauses, (QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
    }
};

QTEST_GUILESS_MAIN(TestServer)
#include "test_server.moc"
