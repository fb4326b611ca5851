// A call's way to the announcement on two lines in the same run: a modem's
// NMBR line written to its pseudo-terminal, and a SIP INVITE from a real
// far-end baresip to the desk's own baresip (both on 127.0.0.1), each until
// the main window announces the caller.  The SIP figure starts when the far
// end is told to dial, so it holds the far end making its INVITE, the desk's
// baresip taking it and its event over the control connection.
//
//   bench_sipline [calls]     (default 50 of each)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "data/module/datamodule.h"
#include "rules/files/paths.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/baresiprig.h"
#include "ui/calls/deviceswitch.h"
#include "ui/calls/fakemodem.h"
#include "ui/calls/linedevices.h"
#include "ui/calls/sipline.h"

#include "benchdb.h"
#include "eventwait.h"
#include "measure.h"

namespace {

// Runs the event loop until the signal or `ms` have passed; false on timeout.
template <class Sender, class Signal>
bool waitFor(Sender* sender, Signal signal, int ms = 5000)
{
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    QObject::connect(sender, signal, &loop, [&] { loop.exit(0); });
    guard.start(ms);
    return loop.exec() == 0;
}

// Runs the event loop until `done()` or `ms` have passed; false on timeout.
template <class Done>
bool waitUntil(Done done, int ms = 5000)
{
    return bench::runUntil(done, ms);
}

void print(const char* what, std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return;
    std::printf("  %-28s median %.3f  p95 %.3f  max %.3f  (%zu calls)\n", what, bench::median(v),
                v[v.size() * 95 / 100], v.back(), v.size());
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    bench::printLoad("start");
    const int calls = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');
    QDir().mkpath(folder + QStringLiteral("data"));
    QDir().mkpath(folder + QStringLiteral("set"));
    bench::createEmptyDatabase(folder + QStringLiteral("data/web.mdb"));
    setProgramFolder(folder);

    DataModule dm;
    DeviceSwitch hub;
    MainWindow w(dm, hub);
    w.show();
    while (!dm.callTable.isActive())
        if (!waitFor(&dm, &DataModule::recordPosition, 10000))
            break;
    QElapsedTimer clock;
    std::vector<double> modemTimes, sipTimes;
    std::vector<double>* times = nullptr;
    int announced = 0, rings = 0, hangups = 0;
    QObject::connect(&w, &MainWindow::callAnnounced, &w, [&] {
        ++announced;
        if (times)
            times->push_back(clock.nsecsElapsed() / 1e6);
    });
    QObject::connect(&hub, &CallerIdDevice::ring, &w, [&] { ++rings; });
    QObject::connect(&hub, &CallerIdDevice::phoneHandoff, &w, [&] { ++hangups; });

    // The modem.
    FakeModem modem(folder + QStringLiteral("modem"));
    auto modemDevice = std::make_unique<ModemDevice>(modem.link());
    modemDevice->setQuietHangupInterval(1);
    hub.use(std::move(modemDevice));
    if (!modem.initialise())
        return std::fprintf(stderr, "the modem did not initialise\n"), 1;
    times = &modemTimes;
    for (int i = 0; i < calls; ++i) {
        const int rung = rings, before = announced, ended = hangups;
        modem.send("RING\r\n");
        if (!waitUntil([&] { return rings > rung; }))
            return std::fprintf(stderr, "no ring at modem call %d\n", i), 1;
        clock.start();
        modem.send("NMBR = 1380013" + QByteArray::number(8000 + i) + "\r\n");
        if (!waitUntil([&] { return announced > before; }))
            return std::fprintf(stderr, "modem call %d not announced\n", i), 1;
        if (!waitUntil([&] { return hangups > ended; }))
            return std::fprintf(stderr, "modem call %d did not end\n", i), 1;
    }

    // The SIP line.
    const quint16 deskPort = baresiprig::freeSipPort();
    const quint16 farPort = baresiprig::freeSipPort();
    baresiprig::FarEnd far(farPort, {{QStringLiteral("13800138000"), QStringLiteral("张三")}});
    if (!far.ready())
        return std::fprintf(stderr, "the far end's baresip did not start\n"), 1;
    hub.use(std::make_unique<SipLineDevice>(baresiprig::deskAccount(deskPort, farPort), folder + QStringLiteral("set/sip")));
    while (hub.queryState() != 1)
        if (!waitFor(&hub, &CallerIdDevice::stateChanged, 10000))
            return std::fprintf(stderr, "the desk's baresip did not start\n"), 1;
    times = &sipTimes;
    for (int i = 0; i < calls; ++i) {
        const int before = announced, ended = hangups;
        clock.start();
        far.call(QStringLiteral("13800138000"), deskPort);
        if (!waitUntil([&] { return announced > before; }))
            return std::fprintf(stderr, "SIP call %d not announced\n", i), 1;
        far.hangUp();
        if (!waitUntil([&] { return hangups > ended; }))
            return std::fprintf(stderr, "SIP call %d did not end\n", i), 1;
    }
    times = nullptr;
    hub.use(nullptr);

    std::printf("call to announcement in the main window (ms)\n");
    print("modem NMBR line:", modemTimes);
    print("SIP INVITE (dial at far end):", sipTimes);
    bench::printLoad("end");
    return 0;
}
