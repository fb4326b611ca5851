// A search of the call list over many calls: the window goes on while the
// rows come, a call is handled meanwhile, and a stopped search says that its
// list is incomplete.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QSqlQuery>
#include <QtTest>
#include <atomic>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "ui/kit/statusbar.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/callhandling.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "ui/kit/workwindow.h"
#include "ui/lists/calllistsearch.h"
#include "testutil.h"

namespace {

using Fixture = testutil::MainFixture;

// Holds the background read after its first batch until the test lets it go.
struct Hold {
    QSemaphore go;
    std::atomic<bool> first{true};
    std::atomic<bool> held{false};
    std::atomic<bool> gaveUp{false};
    void install()
    {
        DataSet::setWorkerPauses({{}, [this](qint64) {
                                      if (!first.exchange(false))
                                          return;
                                      held = true;
                                      if (!go.tryAcquire(1, 10000))
                                          gaveUp = true;
                                  }});
    }
    ~Hold() { DataSet::setWorkerPauses({}); }
};

int storedCalls(DataModule& dm, const QString& mobile)
{
    QSqlQuery q(dm.connection.database());
    q.prepare(QStringLiteral("select count(*) from 来电数据 where 手机 = ?"));
    q.addBindValue(mobile);
    return q.exec() && q.next() ? q.value(0).toInt() : -1;
}

}  // namespace

class TestSlowSearch : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        const QString db = folder_ + QStringLiteral("data/web.mdb");
        testutil::execute(db, QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                                             "where x < 5000) insert into 来电数据 (电话, 日期) "
                                             "select '0755' || x, '2008-7-5' from c"));
        testutil::execute(db, QStringLiteral("insert into 客户数据 (联系人, 手机) values ('老主顾', '13800138000')"));
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void callDuringASearchStoppingAndEndingIt()
    {
        Hold hold;
        Fixture f;
        MainWindow& w = *f.w;
        w.activate();
        DataSet& calls = f.dm->callTable;
        const QString before = w.panelText(MainWindow::MessagePanel);
        hold.install();
        testutil::named<QComboBox>(&w, QStringLiteral("callSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&w, QStringLiteral("callSearchField"))->findText(QStringLiteral("电话")));
        testutil::named<QLineEdit>(&w, QStringLiteral("callSearchText"))->setText(QStringLiteral("0755"));
        testutil::named<QPushButton>(&w, QStringLiteral("callSearchButton"))->click();
        // The first rows are there, the rest still coming.
        QVERIFY(calls.loading());
        QTRY_COMPARE(calls.rowCount(), 100);
        QCOMPARE(w.panelText(MainWindow::MessagePanel), CallListSearch::searchingText());
        QTRY_VERIFY(currentWorkWindow() && currentWorkWindow()->isVisible());
        QVERIFY(currentWorkWindow()->stopOffered());

        // A known caller rings meanwhile: logged at once, shown at once.
        w.calls()->setNumber(QStringLiteral("13800138000"));
        w.calls()->finishPending();
        QCOMPARE(storedCalls(*f.dm, QStringLiteral("13800138000")), 1);
        QCOMPARE(f.dm->customerTable.recordCount(), 1);
        QCOMPARE(f.dm->customerTable.text(QStringLiteral("联系人")), QStringLiteral("老主顾"));
        QVERIFY(calls.loading());

        // Stopped: the rows found so far stay, and the panel says the list
        // is incomplete.
        QTRY_VERIFY(hold.held);
        currentWorkWindow()->pressStop();
        hold.go.release();
        QTRY_VERIFY(!calls.loading());
        QVERIFY(!hold.gaveUp);
        QVERIFY(calls.partial());
        QTRY_VERIFY(!currentWorkWindow());
        QCOMPARE(calls.recordCount(), 101);  // the call stored meanwhile is the last row
        calls.last();
        QCOMPARE(calls.text(QStringLiteral("手机")), QStringLiteral("13800138000"));
        QCOMPARE(w.panelText(MainWindow::MessagePanel), CallListSearch::partialText(101));
        QVERIFY(reports_.isEmpty());

        // A new list of calls (all of them, as after a restore) ends the
        // search still running; the panel says what it said before.
        hold.first = true;
        testutil::named<QPushButton>(&w, QStringLiteral("callSearchButton"))->click();
        QVERIFY(calls.loading());
        hold.go.release();
        w.openCalls();
        QVERIFY(!calls.loading());
        QVERIFY(!BackgroundWork::anyRunning());
        QCOMPARE(calls.recordCount(), 5001);
        QCOMPARE(w.panelText(MainWindow::MessagePanel), before);
        QTRY_VERIFY(!currentWorkWindow());
    }

private:
    QString folder_;
    QStringList reports_;
};

QTEST_MAIN(TestSlowSearch)
#include "test_slowsearch.moc"
