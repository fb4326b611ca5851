// A modem's number line to the number event: the time from an NMBR line
// written to the modem's side of a pseudo-terminal until the device the main
// window listens to (DeviceSwitch) reports the number, median over 1,000
// calls.  Beside it the bare pseudo-terminal: the same line read from a plain
// descriptor through a socket notifier, with no parsing at all.
//
//   bench_device [calls]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <termios.h>
#include <vector>

#include "ui/calls/deviceswitch.h"
#include "ui/calls/linedevices.h"
#include "ui/calls/fakemodem.h"
#include "measure.h"

namespace {

struct Figures {
    double median = 0, p95 = 0, max = 0;
};

Figures figures(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return {};
    return {bench::median(v), v[v.size() * 95 / 100], v.back()};
}

// Runs the event loop until `done` or a second has passed; false on timeout.
template <class Signal, class Sender>
bool waitFor(Sender* sender, Signal signal)
{
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });
    QObject::connect(sender, signal, &loop, [&] { loop.exit(0); });
    guard.start(1000);
    return loop.exec() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::printLoad("start");
    const int calls = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;

    QTemporaryDir dir;
    FakeModem modem(dir.filePath(QStringLiteral("benchmodem%1").arg(app.applicationPid())));
    DeviceSwitch hub;
    auto owned = std::make_unique<ModemDevice>(modem.link());
    ModemDevice* device = owned.get();
    device->setQuietHangupInterval(1);
    hub.use(std::move(owned));
    if (!modem.initialise()) {
        std::fprintf(stderr, "the modem device did not initialise\n");
        return 1;
    }

    std::vector<double> times;
    QElapsedTimer clock;
    QObject::connect(&hub, &CallerIdDevice::comingCall, &hub,
                     [&] { times.push_back(clock.nsecsElapsed() / 1e6); });
    for (int i = 0; i < calls; ++i) {
        modem.send("RING\r\n");
        if (!waitFor(&hub, &CallerIdDevice::ring))
            return std::fprintf(stderr, "no ring at call %d\n", i), 1;
        const QByteArray line = "NMBR = 1380000" + QByteArray::number(1000 + i) + "\r\n";
        clock.start();
        modem.send(line);
        if (!waitFor(&hub, &CallerIdDevice::comingCall))
            return std::fprintf(stderr, "no number at call %d\n", i), 1;
        if (!waitFor(&hub, &CallerIdDevice::phoneHandoff))
            return std::fprintf(stderr, "no hang-up at call %d\n", i), 1;
    }
    hub.use(nullptr);

    // Bare: the same lines through a plain descriptor of the device side.
    std::vector<double> bare;
    {
        FakeModem raw(dir.filePath(QStringLiteral("bareline%1").arg(app.applicationPid())));
        const int fd = ::open(raw.link().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        QSocketNotifier notifier(fd, QSocketNotifier::Read);
        QByteArray got;
        QEventLoop loop;
        QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
            char buf[256];
            ssize_t n;
            while ((n = ::read(fd, buf, sizeof buf)) > 0)
                got.append(buf, n);
            if (got.endsWith('\n'))
                loop.quit();
        });
        for (int i = 0; i < calls; ++i) {
            got.clear();
            clock.start();
            raw.send("NMBR = 1380000" + QByteArray::number(1000 + i) + "\r\n");
            loop.exec();
            bare.push_back(clock.nsecsElapsed() / 1e6);
        }
        ::close(fd);
    }

    const Figures f = figures(times);
    const Figures b = figures(bare);
    std::printf("NMBR line to number event, %d calls (ms)\n", calls);
    std::printf("  modem device:      median %.3f  p95 %.3f  max %.3f\n", f.median, f.p95, f.max);
    std::printf("  bare pty read:     median %.3f  p95 %.3f  max %.3f\n", b.median, b.p95, b.max);
    bench::printLoad("end");
    return 0;
}
