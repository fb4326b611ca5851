// The program's start over a large database: the main window as the entry
// builds it, timed from the start of the process until the record position
// of the call list is shown, the longest stall of the event loop meanwhile
// and in the two seconds after, and the resident memory once started.
//
//   bench_start <database file> [cold]
//     The database is put (linked) into a temporary program folder; "cold"
//     drops the file from the page cache first.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "app/application.h"
#include "app/paths.h"
#include "app/statusbar.h"
#include "app/tmain.h"
#include "callerid/deviceswitch.h"
#include "db/datam.h"
#include "web/browser.h"
#include "measure.h"

namespace {

using namespace bench;

}  // namespace

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_start <database file> [cold]\n");
        return 2;
    }
    const QString file = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (argc > 2 && qstrcmp(argv[2], "cold") == 0) {
        const int fd = ::open(argv[1], O_RDONLY);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    installFontSubstitutions();
    QApplication::setFont(standardFont());
    useWebEngineBrowsers();

    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("data"));
    QDir(folder.path()).mkpath(QStringLiteral("set"));
    QFile::link(file, folder.path() + QStringLiteral("/data/web.mdb"));
    setProgramFolder(folder.path());

    TDataModule1 dm;
    DeviceSwitch device;
    device.apply(readDeviceSetting(deviceSettingFile()));
    Tmain w(dm, device);

    double positionMs = -1;
    QString position;
    QObject::connect(&dm, &TDataModule1::recordPosition, [&](const QString& text) {
        position = text;
        positionMs = clock.nsecsElapsed() / 1e6;
    });
    StallMeter stalls;
    const double beforeShow = clock.nsecsElapsed() / 1e6;
    w.show();
    stalls.start();
    while (!dm.laidianTel.isActive() || dm.laidianTel.countPending() || dm.kehutable.countPending() ||
           positionMs < 0)
        app.processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double shownMs = positionMs;
    const double stallToPosition = stalls.worst();
    const qint64 until = clock.elapsed() + 2000;
    while (clock.elapsed() < until)
        app.processEvents(QEventLoop::WaitForMoreEvents, 20);

    // The activation step once more, as a restore runs it: its own share.
    QElapsedTimer again;
    again.start();
    w.FormActivate();
    const double activationMs = again.nsecsElapsed() / 1e6;

    std::printf("%s\n", qPrintable(file));
    std::printf("  window built (before show):    %8.1f ms\n", beforeShow);
    std::printf("  record position shown:         %8.1f ms  (%s; panel \"%s\")\n", shownMs, qPrintable(position),
                qPrintable(w.StatusBar1->panelText(Tmain::PositionPanel)));
    std::printf("  longest event-loop stall:      %8.1f ms until then, %.1f ms with the 2 s after\n",
                stallToPosition, stalls.worst());
    std::printf("  activation step run again:     %8.1f ms\n", activationMs);
    std::printf("  resident memory after start:   %8.1f MB\n", residentKb() / 1024.0);
    return 0;
}
