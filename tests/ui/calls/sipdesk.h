#pragma once
// A desk on a SIP line for the window tests: a test program folder with
// three customers (手机 1390000000N), the main window over a device switch
// that holds a SIP line through the program's own baresip, and a far end
// with callers of chosen numbers and names.

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include "baresiprig.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "testdb.h"
#include "testutil.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/deviceswitch.h"
#include "ui/calls/sipline.h"

struct SipDesk {
    QString folder = testutil::makeProgramFolder();
    quint16 deskPort = baresiprig::freeSipPort();
    quint16 farPort = baresiprig::freeSipPort();
    baresiprig::FarEnd far{farPort,
                           {{QStringLiteral("13900000002"), QStringLiteral("王五")},
                            {QStringLiteral("057188881234"), QStringLiteral("李四")},
                            {QStringLiteral("13800138000"), QStringLiteral("张三")}}};
    DeviceSwitch hub;
    SipLineDevice* line = nullptr;
    std::unique_ptr<DataModule> dm;
    std::unique_ptr<MainWindow> w;
    QStringList reports;

    SipDesk()
    {
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 3);
        errorreport::setSink([this](const QString& text) { reports << text; });
        DeviceSetting setting;
        setting.kind = DeviceSetting::Sip;
        setting.sip = baresiprig::deskAccount(deskPort, farPort);
        auto device = std::make_unique<SipLineDevice>(setting.sip, folder + QStringLiteral("set/sip"));
        line = device.get();
        line->setPauses(100, 400);
        hub.use(std::move(device), setting);
        dm = std::make_unique<DataModule>();
        w = std::make_unique<MainWindow>(*dm, hub);
        w->activate();
    }
    ~SipDesk()
    {
        w.reset();
        dm.reset();
        errorreport::setSink({});
        setProgramFolder(QString());
    }
    bool ready() { return far.ready() && QTest::qWaitFor([this] { return hub.queryState() == 1; }, 10000); }
    QString lineStatus() const
    {
        return testutil::named<QPlainTextEdit>(w.get(), QStringLiteral("lineStatus"))->toPlainText();
    }
};
