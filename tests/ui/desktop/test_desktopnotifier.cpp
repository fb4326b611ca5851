// Notifications reach the desktop's notification service on the session bus
// and a click on one comes back; without the service nothing happens.

#include <QSet>
#include <QSignalSpy>
#include <QtTest>

#include "privatebus.h"
#include "ui/desktop/desktopnotifier.h"

class TestDesktopNotifier : public QObject {
    Q_OBJECT
private slots:
    void aNotificationIsShownAndItsClickComesBack()
    {
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        FakeNotificationService service(bus.connect(QStringLiteral("service")));
        DesktopNotifier notifier(bus.connect(QStringLiteral("program")), nullptr);
        QVERIFY(notifier.available());
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);
        QSignalSpy activated(&notifier, &DesktopNotifier::activated);

        notifier.notify(QStringLiteral("老客户来电：张三 杭州东顺纺织品有限公司"), QString(), 41);
        notifier.notify(QStringLiteral("新客户来电：13900001111"), QString(), 42);
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(service.shown.size(), 2);
        QCOMPARE(service.shown[0].summary, QStringLiteral("老客户来电：张三 杭州东顺纺织品有限公司"));
        QCOMPARE(service.shown[1].summary, QStringLiteral("新客户来电：13900001111"));
        QVERIFY(service.shown[0].actions.contains(QStringLiteral("default")));
        // News, not an alarm: normal urgency, gone by itself after a while.
        for (const auto& s : service.shown) {
            QCOMPARE(s.urgency, 1);
            QVERIFY(s.timeout > 0);
        }

        // A click on the second one names the second call.
        service.click(2);
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.first().first().toInt(), 42);
        // A click on somebody else's notification is not ours: the click on
        // ours sent after it is the only one taken.
        service.click(99);
        service.click(1);
        QTRY_VERIFY(activated.count() >= 2);
        QCOMPARE(activated.count(), 2);
        QCOMPARE(activated.last().first().toInt(), 41);
    }

    // The program quits: its notifications are taken off the desktop.
    void notificationsAreWithdrawnWhenTheProgramQuits()
    {
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        FakeNotificationService service(bus.connect(QStringLiteral("service of the quitting program")));
        {
            DesktopNotifier notifier(bus.connect(QStringLiteral("quitting program")), nullptr);
            QSignalSpy shown(&notifier, &DesktopNotifier::shown);
            notifier.notify(QStringLiteral("新客户来电：13900001111"), QString(), 1);
            notifier.notify(QStringLiteral("新客户来电：13900002222"), QString(), 2);
            QTRY_COMPARE(shown.count(), 2);
        }
        QTRY_COMPARE(service.closed.size(), 2);
        QCOMPARE(QSet<uint>(service.closed.cbegin(), service.closed.cend()), (QSet<uint>{1, 2}));
    }

    void withoutTheServiceNothingHappens()
    {
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        DesktopNotifier notifier(bus.connect(QStringLiteral("program")), nullptr);
        QVERIFY(!notifier.available());
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);
        notifier.notify(QStringLiteral("新客户来电：13900001111"), QString(), 1);
        // Whatever the bus answered to it has been handled once a call
        // asked after it is answered.
        QVERIFY(roundTrip(bus.connect(QStringLiteral("program"))));
        QCOMPARE(shown.count(), 0);
        // No bus at all.
        DesktopNotifier alone(QDBusConnection(QStringLiteral("nothing")), nullptr);
        QVERIFY(!alone.available());
        alone.notify(QStringLiteral("x"), QString(), 1);
    }
};

QTEST_MAIN(TestDesktopNotifier)
#include "test_desktopnotifier.moc"
