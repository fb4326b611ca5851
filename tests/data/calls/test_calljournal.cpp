// Every call is on disk in the desk's journal the moment it is logged, and
// reaches 来电数据 exactly once with its arrival time: after long work that
// was killed halfway, from a database file that could not be written for a
// while, and never through a second descriptor of the live database.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "data/module/datamodule.h"
#include "data/calls/callcourier.h"
#include "data/calls/callqueue.h"
#include "data/calls/fileflusher.h"
#include "data/lists/reopen.h"
#include "data/transfer/importsource.h"
#include "rules/errors/errorreport.h"
#include "rules/files/livefiles.h"
#include "rules/files/paths.h"
#include "rules/calls/callrules.h"
#include "rules/formats/tablereader.h"
#include "testdb.h"

namespace {

CallRecord call(int n)
{
    return callRecord(QStringLiteral("1380000000") + QString::number(n),
                      QDateTime(QDate(2026, 12, 9), QTime(10, 0, n)));
}

QString database() { return programFolder() + QStringLiteral("data/web.mdb"); }

qint64 count(const QString& sql) { return testutil::valueOf(database(), sql).toLongLong(); }

// The locks this process holds, as the kernel lists them.
int locksHeld()
{
    QFile f(QStringLiteral("/proc/locks"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    int n = 0;
    const QByteArray pid = QByteArray::number(qint64(getpid()));
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[4] == pid)
            ++n;
    }
    return n;
}

bool setImmutable(const QString& file, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), file}) == 0;
}

// Holds the flushes of a FileFlusher until opened.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool opened = false;
    QStringList flushed;  // the files, in the order flushed
    void pass()
    {
        std::unique_lock<std::mutex> hold(m);
        cv.wait(hold, [this] { return opened; });
    }
    void open()
    {
        {
            std::lock_guard<std::mutex> hold(m);
            opened = true;
        }
        cv.notify_all();
    }
};

}  // namespace

class TestCallJournal : public QObject {
    Q_OBJECT
    QStringList reports_;

private slots:
    void init()
    {
        testutil::makeProgramFolder();
        errorreport::setSink([this](const QString& text) { reports_ << text; });
    }

    void cleanup()
    {
        errorreport::setSink({});
        const QStringList reports = std::exchange(reports_, {});
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join(QLatin1Char('\n'))));
    }

    void callsOfWorkKilledHalfwayAreInAfterTheNextStart_data()
    {
        QTest::addColumn<QString>("work");
        for (const char* work : {"压缩数据库", "恢复数据库", "导入数据", "导出数据"})
            QTest::newRow(work) << QString::fromUtf8(work);
    }

    void callsOfWorkKilledHalfwayAreInAfterTheNextStart()
    {
        QFETCH(QString, work);
        QProcess desk;
        desk.start(QStringLiteral(JOURNAL_CHILD), {programFolder(), work});
        QVERIFY(desk.waitForStarted());
        QSignalSpy said(&desk, &QProcess::readyReadStandardOutput);
        QVERIFY(said.wait(60000));
        QCOMPARE(desk.readAllStandardOutput().trimmed(), QByteArray("journalled"));
        desk.kill();  // SIGKILL: nothing of the program runs any more
        QVERIFY(desk.waitForFinished());
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 0);

        // The next start moves them in before the lists read, once each,
        // in order, with the times they arrived.
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        QCOMPARE(dm.callsWaiting(), 0);
        QCOMPARE(dm.callTable.recordCount(), 3);
        QSqlDatabase db = dm.connection.database();
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("select 手机, 日期, 时间 from 来电数据 order by ID")));
        for (int n = 1; n <= 3; ++n) {
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("1390000000") + QString::number(n));
            QCOMPARE(q.value(1).toString(), QStringLiteral("2026-12-9"));
            QCOMPARE(q.value(2).toString(), QStringLiteral("9:00:0") + QString::number(n));
        }
        QVERIFY(!q.next());
        QCOMPARE(CallQueue(CallQueue::standardPath()).count(), 0);
    }

    // A call whose store may have been committed just before the program
    // died is looked for first; one that never got that far is written.
    void leftoversAreWrittenOnceAtTheNextOpen()
    {
        testutil::execute(database(), QStringLiteral("insert into 来电数据 (手机, 日期, 时间) values "
                                                     "('13800000001', '2026-12-9', '10:00:01')"));
        {
            CallQueue journal(CallQueue::standardPath());
            journal.add(call(1), true);  // stored before the kill
            journal.add(call(2), true);  // about to be stored
            journal.add(call(3));        // waited for long work
        }
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 3);
        for (int n = 1; n <= 3; ++n)
            QCOMPARE(count(QStringLiteral("select count(*) from 来电数据 where 手机 = '") + call(n).mobile +
                           QStringLiteral("'")),
                     1);
        QCOMPARE(dm.callsWaiting(), 0);
        // The card's list sees them.
        QCOMPARE(dm.callTable.recordCount(), 3);
    }

    void aCallIsOnDiskBeforeItIsStored()
    {
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        ::umask(022);  // as on most desktops
        const JournalledCall j = dm.journalCall(call(1));
        QVERIFY(j.atOnce);
        QCOMPARE(CallQueue(CallQueue::standardPath()).count(), 1);
        // The office's calls are the user's alone, the journal's logs too.
        for (const char* side : {"", "-wal"})
            QCOMPARE(QFile::permissions(CallQueue::standardPath() + QLatin1String(side)) &
                         (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                     QFileDevice::Permissions());
        QVERIFY(dm.storeCall(j));
        QCOMPARE(dm.callTable.text(QStringLiteral("手机")), call(1).mobile);
        QTRY_COMPARE(CallQueue(CallQueue::standardPath()).count(), 0);
    }

    // The window never waits for the disk on a call: the journal entry and
    // the row are written at once and flushed beside, and the call leaves
    // the journal only once its row is flushed.
    void aCallLeavesTheJournalOnlyOnceItsRowIsOnDisk()
    {
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        Gate gate;
        const auto release = qScopeGuard([&] {
            gate.open();
            dm.callCourier().flusher().finish();
        });
        dm.callCourier().flusher().setFlushFunction([&](const QString& path, QString*) {
            gate.pass();
            std::lock_guard<std::mutex> hold(gate.m);
            gate.flushed << QFileInfo(path).fileName();
            return true;
        });
        QVERIFY(dm.logCall(call(1)));  // returns with the flush held
        QVERIFY(dm.logCall(call(2)));  // not held up by the first one's flush
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 2);
        QCOMPARE(dm.callTable.text(QStringLiteral("手机")), call(2).mobile);
        QCOMPARE(dm.callsWaiting(), 0);
        QCOMPARE(CallQueue(CallQueue::standardPath()).entries().size(), 2);
        gate.open();
        QTRY_COMPARE(CallQueue(CallQueue::standardPath()).entries().size(), 0);
        std::lock_guard<std::mutex> hold(gate.m);
        for (const char* file : {"来电队列.db-wal", "web.mdb-wal"})
            QVERIFY2(gate.flushed.contains(QString::fromUtf8(file)), qPrintable(gate.flushed.join(QLatin1Char(' '))));
    }

    // The journal's log is moved into the journal beside the window, never
    // by a call's write: with the flushes held, hundreds of calls leave the
    // journal file itself as it was.  Let go, the log goes in, and the log
    // starts again small.
    void theJournalsLogMovesInBesideTheWindow()
    {
        CallCourier courier;
        Gate gate;
        const auto release = qScopeGuard([&] {
            gate.open();
            courier.flusher().finish();
        });
        courier.flusher().setFlushFunction([&](const QString& path, QString* why) {
            gate.pass();
            return FileFlusher::flushFile(path, why);
        });
        const QString journal = courier.queuePath();
        const auto content = [&] {
            QFile f(journal);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        courier.journal(call(1), true);
        const QByteArray before = content();
        for (int n = 2; n <= 400; ++n)  // three pages of log or more each, past SQLite's 1000
            courier.journal(call(n), true);
        QVERIFY(QFileInfo(journal + QStringLiteral("-wal")).size() > 1000 * 4096);
        QVERIFY(content() == before);
        gate.open();
        QTRY_VERIFY(content() != before);
        courier.flusher().finish();
        courier.journal(call(401), true);
        QVERIFY(QFileInfo(journal + QStringLiteral("-wal")).size() < 64 * 1024);
        QCOMPARE(CallQueue(journal).entries().size(), 401);
    }

    // A row the disk did not take keeps its call in the journal: said, the
    // next call waits there too, and the delivery that follows (flushing
    // the rows it finds) leaves every call in 来电数据 exactly once.
    void aRowNotFlushedKeepsItsCall()
    {
        DataModule dm;
        dm.callCourier().setRetryDelays(60000, 60000);  // no try of its own meanwhile
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        dm.callCourier().flusher().setFlushFunction([](const QString& path, QString* why) {
            if (path.endsWith(QLatin1String("web.mdb-wal"))) {
                *why = QStringLiteral("Input/output error");
                return false;
            }
            return FileFlusher::flushFile(path, why);
        });
        QVERIFY(dm.logCall(call(1)));
        QTRY_VERIFY(dm.waitingText().contains(QStringLiteral("Input/output error")));
        QCOMPARE(dm.callsWaiting(), 1);
        QCOMPARE(CallQueue(CallQueue::standardPath()).entries().size(), 1);
        QVERIFY(!dm.logCall(call(2)));  // kept behind it, and a delivery starts
        QTRY_COMPARE_WITH_TIMEOUT(dm.callsWaiting(), 0, 20000);
        QTRY_COMPARE(CallQueue(CallQueue::standardPath()).entries().size(), 0);
        for (int n = 1; n <= 2; ++n)
            QCOMPARE(count(QStringLiteral("select count(*) from 来电数据 where 手机 = '") + call(n).mobile +
                           QStringLiteral("'")),
                     1);
    }

    void theLiveDatabaseIsNeverOpenedASecondTime()
    {
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        QVERIFY(dm.logCall(call(1)));
        const int before = locksHeld();
        QVERIFY2(before > 0, "the database holds no lock to lose");
        QVERIFY(livefiles::isLive(database()));

        // The import's reader, through another spelling of the same file.
        const QString spelled = programFolder() + QStringLiteral("data/../data/web.mdb");
        QString why;
        QVERIFY(!openTableReader(spelled, &why));
        QCOMPARE(why, livefiles::refusedText(spelled));
        ImportConnection access(QStringLiteral("access"));
        access.setFile(database());
        QVERIFY_THROWS_EXCEPTION(AppError, access.open());
        // The journal is the program's own too.
        QVERIFY(!openTableReader(CallQueue::standardPath(), &why));
        QCOMPARE(locksHeld(), before);

        // Every call still reaches the database.
        QVERIFY(dm.logCall(call(2)));
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 2);
        // A copy of the file is read as any other.
        const QString copy = programFolder() + QStringLiteral("copy.mdb");
        dm.finishForExit();
        QVERIFY(QFile::copy(database(), copy));
        QVERIFY(!livefiles::isLive(copy));
    }

    // The log of writes goes into the file soon after them, so that the
    // file alone (an office's copy of it) holds every stored call.
    void aCopyOfTheFileAloneHoldsTheStoredCalls()
    {
        DataModule dm;
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        QVERIFY(dm.logCall(call(1)));
        QVERIFY(dm.logCall(call(2)));
        const QString copy = programFolder() + QStringLiteral("copy.mdb");
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QFile::remove(copy);
                return QFile::copy(database(), copy) &&
                       testutil::valueOf(copy, QStringLiteral("select count(*) from 来电数据")).toInt() == 2;
            }(),
            20000);
    }

    void aReadOnlyDatabaseKeepsItsCallsUntilItCanBeWritten()
    {
        QVERIFY2(setImmutable(database(), true), "chattr +i failed");
        struct Unlock {
            ~Unlock() { setImmutable(database(), false); }
        } unlock;
        DataModule dm;
        dm.callCourier().setRetryDelays(50, 400);
        QSignalSpy waiting(&dm, &DataModule::callsWaitingChanged);
        dm.callTable.reopen(wholeList(QStringLiteral("来电数据")));
        // Said at once, in the operator's words.
        QVERIFY(!waiting.isEmpty());
        QVERIFY2(dm.waitingText().contains(QStringLiteral("只读")), qPrintable(dm.waitingText()));

        QVERIFY(!dm.logCall(call(1)));
        QCOMPARE(dm.callsWaiting(), 1);
        QVERIFY2(dm.waitingText().startsWith(QStringLiteral("来电已记下（1 个）")), qPrintable(dm.waitingText()));
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 0);

        QVERIFY(setImmutable(database(), false));
        QTRY_COMPARE_WITH_TIMEOUT(dm.callsWaiting(), 0, 20000);
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据 where 手机 = '13800000001'")), 1);
        // The program's own connection takes the next call at once.
        QTRY_VERIFY(dm.callTable.isActive());
        QVERIFY(dm.logCall(call(2)));
        QCOMPARE(count(QStringLiteral("select count(*) from 来电数据")), 2);
    }
};

QTEST_MAIN(TestCallJournal)
#include "test_calljournal.moc"
