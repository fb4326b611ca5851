// Calls at a desk whose shared server goes away mid-shift: each is announced
// at once without an error box, the status bar says the server cannot be
// reached and how many calls wait on this computer, and once the server is
// back the calls are in the call list, the status bar says so and the next
// caller is looked up again.

#include <QLineEdit>
#include <QtTest>
#include <memory>

#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "testpg.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/announcement.h"
#include "ui/calls/callhandling.h"
#include "ui/calls/device.h"

class TestCallsAway : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    QStringList reports_;

private slots:
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
        QVERIFY(server_->createDatabase(QStringLiteral("前台")));
        testutil::makeProgramFolder();
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }

    void cleanupTestCase()
    {
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void callsWhileTheServerIsAway()
    {
        SimulatedDevice device;
        DataModule dm;
        dm.callCourier().setRetryDelays(50, 400);
        dm.setDatabaseLocation(DatabaseLocation::ofUri(server_->tcpUri(QStringLiteral("前台"))));
        MainWindow m(dm, device);
        connect(&device, &CallerIdDevice::comingCall, &m, [&m] { m.calls()->finishPending(); });
        m.activate();
        QVERIFY(dm.customerTable.isActive());
        dm.customerTable.append();
        dm.customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("老王"));
        dm.customerTable.setValue(QStringLiteral("手机"), QStringLiteral("13900000001"));
        dm.customerTable.post();
        auto* announcement = testutil::named<Announcement>(&m, QStringLiteral("announcement"));

        QVERIFY(server_->stop());
        device.simulateCall(1, QStringLiteral("13900000001"));
        // Nobody can be looked up: announced as a new caller, and kept.
        QCOMPARE(announcement->text(), QStringLiteral("新客户来电"));
        QTRY_COMPARE(m.panelText(MainWindow::MessagePanel), serverAwayText(1));
        device.simulateCall(1, QStringLiteral("057188880002"));
        QCOMPARE(m.panelText(MainWindow::MessagePanel), serverAwayText(2));
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join(QLatin1Char('\n'))));

        QVERIFY(server_->start());
        QTRY_COMPARE_WITH_TIMEOUT(m.panelText(MainWindow::MessagePanel), serverBackText(2), 15000);
        QTRY_COMPARE(dm.callTable.recordCount(), 2);
        QCOMPARE(dm.callTable.value(QStringLiteral("电话")).toString(), QStringLiteral("057188880002"));
        // The customer is found again.
        device.simulateCall(1, QStringLiteral("13900000001"));
        QCOMPARE(announcement->text(), QStringLiteral("老客户来电"));
        QTRY_COMPARE(dm.callTable.recordCount(), 3);
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestCallsAway)
#include "test_callsaway.moc"
