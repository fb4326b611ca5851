// A call reaches the operator when the window is out of sight: one
// notification per call while it is minimised or hidden, none while it is
// in front, the window raised instead when that is chosen, and a click on a
// notification brings the window up on that call.

#include <QMainWindow>
#include <QSignalSpy>
#include <QtTest>

#include "privatebus.h"
#include "ui/desktop/desktopnotifier.h"
#include "ui/desktop/desktoppresence.h"

class TestDesktopPresence : public QObject {
    Q_OBJECT
private slots:
    void callsOutOfSightAreNotifiedOnce()
    {
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        FakeNotificationService service(bus.connect(QStringLiteral("service")));
        DesktopNotifier notifier(bus.connect(QStringLiteral("program")), nullptr);
        QMainWindow window;
        DesktopPresence presence(&window, &notifier);
        QSignalSpy chosen(&presence, &DesktopPresence::callChosen);
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);

        // In front and active: the window itself announces the call.
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        presence.callAnnounced({false, {}, {}, QStringLiteral("13900001111"), 1});
        // A notification sent after it is the first the service sees.
        notifier.notify(QStringLiteral("标记"), QString(), 0);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(service.shown.size(), 1);
        QCOMPARE(service.shown[0].summary, QStringLiteral("标记"));

        // Minimised: one notification per call, with the caller.
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());
        presence.callAnnounced({true, QStringLiteral("张琪英"), QStringLiteral("杭州东顺纺织品有限公司"),
                                QStringLiteral("057163010428"), 2});
        presence.callAnnounced({false, {}, {}, QStringLiteral("13900001111"), 3});
        QTRY_COMPARE(shown.count(), 3);
        QCOMPARE(service.shown.size(), 3);
        QCOMPARE(service.shown[1].summary, QStringLiteral("老客户来电：张琪英 杭州东顺纺织品有限公司"));
        QCOMPARE(service.shown[2].summary, QStringLiteral("新客户来电：13900001111"));

        // A click on the first call's brings the window up on that call.
        service.click(2);
        QTRY_COMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().toInt(), 2);
        QTRY_VERIFY(!window.isMinimized() && window.isVisible());
    }

    void missedCallsCountedAndNotified()
    {
        // Connections of their own names: a name is taken up again by Qt,
        // and the bus of the test before is gone.
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        FakeNotificationService service(bus.connect(QStringLiteral("missed-service")));
        DesktopNotifier notifier(bus.connect(QStringLiteral("missed-program")), nullptr);
        QMainWindow window;
        DesktopPresence presence(&window, &notifier);
        QSignalSpy chosen(&presence, &DesktopPresence::missedCallsChosen);
        QSignalSpy calls(&presence, &DesktopPresence::callChosen);
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);
        presence.setDeviceState(QStringLiteral("来电显示设备正常！"));
        window.show();
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());

        // A count that grows is notified; one that shrinks (looked at) is not.
        presence.setMissedCalls(2);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(service.shown[0].summary, QStringLiteral("未接来电 2 个"));
        QVERIFY(presence.toolTip().endsWith(QStringLiteral("来电显示设备正常！\n未接来电 2 个")));
        presence.setMissedCalls(0);
        presence.setMissedCalls(0);
        QVERIFY(presence.toolTip().endsWith(QStringLiteral("来电显示设备正常！")));
        presence.setMissedCalls(1);
        QTRY_COMPARE(shown.count(), 2);

        // Its click opens the missed calls, not some call's record.
        service.click(1);
        QTRY_COMPARE(chosen.count(), 1);
        QCOMPARE(calls.count(), 0);
        QCOMPARE(service.shown.size(), 2);
    }

    void raisingOnEveryCallInsteadOfNotifying()
    {
        PrivateBus bus;
        QVERIFY2(bus.started(), "dbus-daemon did not start");
        FakeNotificationService service(bus.connect(QStringLiteral("service")));
        DesktopNotifier notifier(bus.connect(QStringLiteral("program")), nullptr);
        QMainWindow window;
        DesktopPresence presence(&window, &notifier);
        DesktopSettings s;
        s.raiseOnCall = true;
        presence.setSettings(s);
        window.showMinimized();
        presence.callAnnounced({false, {}, {}, QStringLiteral("13900001111"), 1});
        QTRY_VERIFY(window.isVisible() && !window.isMinimized());
        QSignalSpy shown(&notifier, &DesktopNotifier::shown);
        notifier.notify(QStringLiteral("标记"), QString(), 0);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(service.shown.size(), 1);
        QCOMPARE(service.shown[0].summary, QStringLiteral("标记"));
    }
};

QTEST_MAIN(TestDesktopPresence)
#include "test_desktoppresence.moc"
