#include "ui/calls/linedevices.h"
#include "ui/calls/fakemodem.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// A modem device on a pseudo-terminal, with short pauses.
struct ModemRig {
    QTemporaryDir dir;
    FakeModem modem{dir.filePath(QStringLiteral("modem%1").arg(QCoreApplication::applicationPid()))};
    std::unique_ptr<ModemDevice> device;
    std::unique_ptr<QSignalSpy> calls, rings, hangups, states;

    ModemRig(bool initialise = true)
    {
        device = std::make_unique<ModemDevice>(modem.link());
        device->setQuietHangupInterval(800);
        device->setReopenInterval(100);
        device->setReplyTimeout(300);
        calls = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::comingCall);
        rings = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::ring);
        hangups = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::phoneHandoff);
        states = std::make_unique<QSignalSpy>(device.get(), &CallerIdDevice::stateChanged);
        if (initialise)
            QVERIFY(modem.initialise());
    }
};

class TestModem : public QObject {
    Q_OBJECT
private slots:
    void initialisationFallsBackToCid()
    {
        ModemRig rig(false);
        QCOMPARE(rig.device->queryState(), 1);
        QVERIFY(rig.modem.expect("ATZ"));
        QVERIFY(rig.modem.expect("AT+VCID=1", "ERROR"));
        QVERIFY(rig.modem.expect("AT#CID=1"));
        QTRY_VERIFY(rig.device->pendingCommand().isEmpty());
        // Initialised once: no reopening, nothing more sent, and listening.
        rig.modem.send("RING\r\n");
        QTRY_COMPARE(rig.rings->count(), 1);
        QCOMPARE(rig.modem.unexpected(), QByteArray());
        QCOMPARE(rig.states->count(), 0);

        // A modem that answers nothing still gets both commands, then is listened to.
        ModemRig silent(false);
        QVERIFY(silent.modem.expect("ATZ", {}));
        QVERIFY(silent.modem.expect("AT+VCID=1", {}));
        QVERIFY(silent.modem.expect("AT#CID=1", {}));
        QTRY_VERIFY(silent.device->pendingCommand().isEmpty());
    }

    void wholeCallInPiecesAndAnyOrder()
    {
        ModemRig rig;
        // Line ends of every kind, lines split over several reads, fields in
        // another order, the name in GBK, an unknown line between.  A RING
        // before each split shows that the device has read up to it.
        rig.modem.send("\r\nRING\r\nRI");
        QTRY_COMPARE(rig.rings->count(), 1);
        rig.modem.send("NG\r\n");
        QTRY_COMPARE(rig.rings->count(), 2);
        rig.modem.send("NAME = \xd5\xc5\xc8\xfd\rTIME=0930\nMESG = 0102\r\nRING\r\nDA");
        QTRY_COMPARE(rig.rings->count(), 3);
        rig.modem.send("TE = 0305\n\rRING\rNMBR = 0106234");
        QTRY_COMPARE(rig.rings->count(), 4);
        QCOMPARE(rig.calls->count(), 0);
        rig.modem.send("5678\r\nRING\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        const QList<QVariant> call = rig.calls->at(0);
        QCOMPARE(call[0].toInt(), 1);
        QCOMPARE(call[1].toDateTime(),
                 QDateTime(QDate(QDate::currentDate().year(), 3, 5), QTime(9, 30)));
        QCOMPARE(call[2].toString(), QStringLiteral("01062345678"));
        QCOMPARE(call[3].toString(), QStringLiteral("张三"));
        QTRY_COMPARE(rig.rings->count(), 5);
        QCOMPARE(rig.hangups->count(), 0);

        // A repeated NMBR within the same call is not a second call, also
        // written another way.
        rig.modem.send("NMBR=010-6234 5678\r\nRING\r\n");
        QTRY_COMPARE(rig.rings->count(), 6);
        QCOMPARE(rig.calls->count(), 1);

        // The rings stop: one hang-up after the pause (the call is over: no
        // other can follow), then the same number is a new call.
        QTRY_COMPARE(rig.hangups->count(), 1);
        QVERIFY(!rig.device->inCall());
        rig.modem.send("RING\r\nNMBR=01062345678\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
        QTRY_COMPARE(rig.hangups->count(), 2);
        QCOMPARE(rig.calls->at(1)[3].toString(), QString());  // no name this time
    }

    void missingNumberGarbageAndLongLines()
    {
        ModemRig rig;
        // A call without NMBR (or with a private one): rings and hang-up only.
        rig.modem.send("RING\r\nDATE=0305\r\nTIME=0930\r\nNMBR=P\r\nNAME=x\r\n");
        QTRY_COMPARE(rig.hangups->count(), 1);
        QCOMPARE(rig.rings->count(), 1);
        QCOMPARE(rig.calls->count(), 0);

        // Noise: binary bytes, an endless line, a number with foreign characters.
        QByteArray noise("\x00\x01\xff\xfe\r\n", 6);
        noise += QByteArray(5000, 'N') + "\r\n";
        noise += "NMBR=" + QByteArray(4000, '9') + "\r\n";
        rig.modem.send(noise);
        rig.modem.send("RING\r\nNMBR = 138'0013;8000\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        QCOMPARE(rig.calls->at(0)[2].toString(), QStringLiteral("138'0013;8000"));  // as the line gave it
        QCOMPARE(rig.device->queryState(), 1);
    }

    void portGoesAwayAndComesBack()
    {
        ModemRig rig;
        QCOMPARE(rig.device->queryState(), 1);
        rig.modem.send("RING\r\nNMBR=13812345678\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);

        // Unplugged mid-call: the state drops and the call ends.
        rig.modem.unplug();
        QTRY_COMPARE(rig.device->queryState(), 0);
        QCOMPARE(rig.states->count(), 1);
        QCOMPARE(rig.states->at(0)[0].toInt(), 0);
        QCOMPARE(rig.hangups->count(), 1);

        // Back: opened and initialised again (the failed attempts before did
        // not change the state), the same caller is a new call.
        rig.modem.plugIn();
        QVERIFY(rig.modem.initialise());
        QCOMPARE(rig.device->queryState(), 1);
        QCOMPARE(rig.states->count(), 2);
        rig.modem.send("RING\r\nNMBR=13812345678\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
    }

    void anotherNumberWithinTheCallIsANewCall()
    {
        ModemRig rig;
        // An answered call, and the next caller before its rings have died
        // away: the first ends, the second is a call of its own.
        rig.modem.send("RING\r\nNMBR=13812345678\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        rig.modem.send("RING\r\nNMBR=057187654321\r\n");
        QTRY_COMPARE(rig.calls->count(), 2);
        QCOMPARE(rig.calls->at(1)[2].toString(), QStringLiteral("057187654321"));
        QCOMPARE(rig.hangups->count(), 1);
        QVERIFY(rig.device->inCall());
        // Its repeat is not.
        rig.modem.send("NMBR=057187654321\r\nRING\r\n");
        QTRY_COMPARE(rig.rings->count(), 3);
        QCOMPARE(rig.calls->count(), 2);
        QCOMPARE(rig.hangups->count(), 1);
    }

    void ringKeepsTheCallGoing()
    {
        ModemRig rig;
        rig.modem.send("RING\r\nNMBR=13812345678\r\n");
        QTRY_COMPARE(rig.calls->count(), 1);
        // Each ring starts the quiet time again: while they come, no hang-up.
        for (int ring = 2; ring <= 4; ++ring) {
            QTRY_VERIFY(rig.device->quietRemaining() < 300);  // of 800 ms
            rig.modem.send("RING\r\n");
            QTRY_COMPARE(rig.rings->count(), ring);
            QVERIFY2(rig.device->quietRemaining() > 400, qPrintable(QString::number(rig.device->quietRemaining())));
            QCOMPARE(rig.hangups->count(), 0);
        }
        QTRY_COMPARE(rig.hangups->count(), 1);
    }

    void unpluggedModemTriedAgainEveryTwoSeconds()
    {
        QTemporaryDir dir;
        FakeModem modem(dir.filePath(QStringLiteral("modem%1").arg(QCoreApplication::applicationPid())));
        ModemDevice device(modem.link());  // the program's own pauses
        QVERIFY(modem.initialise());
        modem.unplug();
        QTRY_COMPARE(device.queryState(), 0);
        modem.plugIn();
        QVERIFY(modem.expect("ATZ", "OK", 6000));
        QCOMPARE(device.queryState(), 1);
    }

    void portMissingAtStart()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("late%1").arg(QCoreApplication::applicationPid()));
        ModemDevice device(link);
        device.setReopenInterval(100);
        QSignalSpy states(&device, &CallerIdDevice::stateChanged);
        QCOMPARE(device.queryState(), 0);
        FakeModem modem(link);
        QVERIFY(modem.expect("ATZ"));
        QCOMPARE(device.queryState(), 1);
        QCOMPARE(states.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestModem)
#include "test_modem.moc"
