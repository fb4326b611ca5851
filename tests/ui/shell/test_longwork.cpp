// Calls that arrive while long work holds the database: announced at once,
// logged once, when the work has ended, and the window tells why meanwhile.

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

#include "ui/calls/announcement.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "ui/kit/statusbar.h"
#include "ui/calls/callhandling.h"
#include "data/work/backgroundwork.h"
#include "ui/kit/workwindow.h"
#include "testutil.h"

namespace {

qint64 scalar(const QString& file, const QString& sql)
{
    const QVariant v = testutil::valueOf(file, sql);
    return v.isValid() ? v.toLongLong() : -1;
}

}  // namespace

class TestLongWork : public QObject {
    Q_OBJECT
    QString folder_;
    QStringList reports_;

private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup() { errorreport::setSink({}); }

    // A short work's closing message runs its own event loop while the
    // closed progress window still waits for its deletion: the window's
    // late showing must not bring it up over (or under) the message.
    void theProgressWindowNeverShowsAfterItsWorkEnded()
    {
        QWidget owner;
        auto* work = new BackgroundWork(nullptr, QStringLiteral("测试"), BackgroundWork::Access::None,
                                        [](WorkContext&) {});
        bool told = false;
        QPointer<WorkWindow> window;
        runWork(work, &owner, [&](const WorkOutcome& outcome) {
            QVERIFY(outcome.ok);
            QVERIFY(window);  // not deleted yet: the message's own loop would run now
            QVERIFY(!window->isVisible());
            window->showIfRunning();  // what the window's timer does meanwhile
            QVERIFY(!window->isVisible());
            QCOMPARE(currentWorkWindow(), nullptr);
            told = true;
        });
        window = currentWorkWindow();
        QVERIFY(window);
        QTRY_VERIFY(told);
    }

    void aCallDuringTheIndexBuildIsAnnouncedAtOnceAndLoggedOnceAfter()
    {
        const QString file = folder_ + QStringLiteral("data/web.mdb");
        testutil::addCustomers(file, 500);  // 手机 139000000NN
        // An older database: no number index yet.
        for (const char* t : {"客户号码_ai", "客户号码_ad", "客户号码_au"})
            testutil::execute(file, QStringLiteral("drop trigger if exists ") + QString::fromUtf8(t));
        testutil::execute(file, QStringLiteral("drop table if exists 客户号码"));

        // Another program writing keeps the build waiting, so that the call
        // surely arrives while it runs.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(file);
        QVERIFY(other.open());
        QSqlQuery hold(other);
        QVERIFY(hold.exec(QStringLiteral("pragma journal_mode = wal")));
        QVERIFY(hold.exec(QStringLiteral("begin immediate")));
        QVERIFY(hold.exec(QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '前台')")));

        testutil::MainFixture f;
        f.dm->connection.setBackgroundIndexRows(100);
        QSignalSpy built(&f.dm->connection, &Connection::indexBuildEnded);
        f.w->activate();
        QVERIFY(f.dm->connection.indexBuild());
        QVERIFY(f.dm->connection.writesHeld());

        // A known customer calls.
        testutil::named<QLineEdit>(f.w.get(), QStringLiteral("numberField"))->setText(QStringLiteral("13900000042"));
        QTest::keyClick(testutil::named<QLineEdit>(f.w.get(), QStringLiteral("numberField")), Qt::Key_Return);
        f.w->calls()->finishPending();
        QCOMPARE(testutil::named<Announcement>(f.w.get(), QStringLiteral("announcement"))->text(), QStringLiteral("老客户来电"));
        QCOMPARE(f.dm->callsWaiting(), 1);
        QVERIFY(f.w->panelText(MainWindow::MessagePanel).startsWith(QStringLiteral("来电已记下（1 个）")));
        QCOMPARE(f.dm->customerTable.text(QStringLiteral("手机")), QStringLiteral("13900000042"));

        QVERIFY(hold.exec(QStringLiteral("commit")));
        hold.finish();
        other.close();
        QVERIFY(built.wait(10000));
        QVERIFY(built.first().first().toBool());
        QVERIFY(f.dm->connection.hasNumberIndex());
        QCOMPARE(f.dm->callsWaiting(), 0);
        QCOMPARE(scalar(file, QStringLiteral("select count(*) from 来电数据 where 手机 = '13900000042'")), 1);
        QCOMPARE(scalar(file, QStringLiteral("select count(*) from 来电数据")), 1);
        QVERIFY(!currentWorkWindow());
        QVERIFY(reports_.isEmpty());
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }
};

QTEST_MAIN(TestLongWork)
#include "test_longwork.moc"
