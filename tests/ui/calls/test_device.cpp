#include "ui/calls/device.h"

#include <QSignalSpy>
#include <QtTest>

class TestDevice : public QObject {
    Q_OBJECT
private slots:
    void stateQuery()
    {
        SimulatedDevice dev;
        CallerIdDevice& device = dev;
        QCOMPARE(device.queryState(), 0);  // no hardware until told otherwise
        dev.setState(1);
        QCOMPARE(device.queryState(), 1);
    }

    void callCarriesNumberNameAndTime()
    {
        SimulatedDevice dev;
        QSignalSpy calls(&dev, &CallerIdDevice::comingCall);
        const QDateTime at(QDate(2024, 3, 5), QTime(9, 30, 15));
        dev.simulateCall(2, QStringLiteral("01062345678"), QStringLiteral("张三"), at);
        QCOMPARE(calls.count(), 1);
        QCOMPARE(calls[0][0].toInt(), 2);
        QCOMPARE(calls[0][1].toDateTime(), at);
        QCOMPARE(calls[0][2].toString(), QStringLiteral("01062345678"));
        QCOMPARE(calls[0][3].toString(), QStringLiteral("张三"));

        // Without a time the call is stamped now.
        const QDateTime before = QDateTime::currentDateTime();
        dev.simulateCall(1, QStringLiteral("13812345678"));
        QCOMPARE(calls.count(), 2);
        const QDateTime stamped = calls[1][1].toDateTime();
        QVERIFY(stamped >= before.addSecs(-1) && stamped <= QDateTime::currentDateTime());
        QVERIFY(calls[1][3].toString().isEmpty());
    }

    void otherEvents()
    {
        SimulatedDevice dev;
        QSignalSpy rings(&dev, &CallerIdDevice::ring);
        QSignalSpy handoffs(&dev, &CallerIdDevice::phoneHandoff);
        QSignalSpy plugs(&dev, &CallerIdDevice::usbPlug);
        QSignalSpy keys(&dev, &CallerIdDevice::phoneKeyPress);
        QSignalSpy events(&dev, &CallerIdDevice::phoneEvent);

        dev.simulateRing(3);
        dev.simulateHandoff(4);
        dev.simulateUsbPlug(5, 1);
        dev.simulateKeyPress(6, 11);
        dev.simulatePhoneEvent(7, 20, -1);

        QCOMPARE(rings.count(), 1);
        QCOMPARE(rings[0][0].toInt(), 3);
        QCOMPARE(handoffs.count(), 1);
        QCOMPARE(handoffs[0][0].toInt(), 4);
        QCOMPARE(plugs.count(), 1);
        QCOMPARE(plugs[0], (QList<QVariant>{5, QVariant::fromValue<short>(1)}));
        QCOMPARE(keys.count(), 1);
        QCOMPARE(keys[0], (QList<QVariant>{6, QVariant::fromValue<short>(11)}));
        QCOMPARE(events.count(), 1);
        QCOMPARE(events[0], (QList<QVariant>{7, 20, -1}));
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "test_device.moc"
