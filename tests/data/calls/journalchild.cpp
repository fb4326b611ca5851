// A desk that is killed in the middle of long work: it opens the program
// folder given, starts work of the kind given that holds the database's
// writes and never ends by itself, takes three calls, says "journalled" on
// its standard output and waits to be killed.

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <cstdio>

#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/lists/reopen.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    setProgramFolder(QString::fromLocal8Bit(argv[1]));
    DataModule dm;
    dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
    auto* work = new BackgroundWork(&dm.connection, QString::fromLocal8Bit(argv[2]), BackgroundWork::Access::Write,
                                    [](WorkContext& cx) {
                                        for (;;) {
                                            cx.checkStop();
                                            QThread::msleep(5);
                                        }
                                    });
    work->start();
    const QDateTime arrived(QDate(2026, 12, 9), QTime(9, 0, 0));
    for (int n = 1; n <= 3; ++n)
        if (dm.logCall(callRecord(QStringLiteral("1390000000") + QString::number(n), arrived.addSecs(n))))
            return 3;  // stored although the work holds the database
    std::puts("journalled");
    std::fflush(stdout);
    return app.exec();
}
