// The rows a grid paints: never waited for on the window thread, read in the
// background, and what comes back late is taken only where it still fits.

#include <QSignalSpy>
#include <QTest>

#include "data/dataset/datasettest.h"
#include "data/dataset/rowreader.h"
#include "rules/errors/errorreport.h"

using namespace datasettest;

class TestShownRows : public QObject, protected DataSetFixture {
    Q_OBJECT
    std::unique_ptr<DataSet> calls_;
    int phone_ = -1;

    // The call list, newest first: row r is call 5000 - r.
    void openCalls(const WrittenStatement& statement)
    {
        calls_ = std::make_unique<DataSet>(conn_.get(), QStringLiteral("calls"));
        calls_->setStatement(statement);
        calls_->open();
        calls_->waitForCount();
        phone_ = calls_->fieldIndex(QStringLiteral("电话"));
    }
    static WrittenStatement newestFirst(const QString& where = QString())
    {
        return WrittenStatement::ordered(QStringLiteral("select * from 来电数据") + where,
                                         QStringLiteral(" order by ID desc"), QStringLiteral("来电数据"),
                                         QStringLiteral("ID"), true);
    }
    static QString phoneOf(int call) { return QStringLiteral("0755") + QString::number(call); }
    QString shown(int row) const { return calls_->shownValue(row, phone_).toString(); }

private slots:
    void init()
    {
        makeDatabase();
        addCalls(file_, 5000);
        openCalls(newestFirst());
        QCOMPARE(calls_->rowCount(), 5000);
    }
    void cleanup()
    {
        DataSet::setWorkerPauses({});
        calls_.reset();
        dropDatabase();
    }

    void paintingRowsNotReadNeverWaits()
    {
        Hold hold;
        DataSet::setWorkerPauses({{}, {}, {}, [&] { hold.wait(); }, {}});
        QSignalSpy read(calls_.get(), &DataSet::rowsRead);
        // Row 4000's key is not known yet: its rows come in the background.
        QVERIFY(!calls_->rowAtHand(4000));
        QVERIFY(calls_->shownValue(4000, phone_).isNull());
        QTRY_VERIFY(hold.held);
        // While the reader is held, the row is asked for again and again:
        // an answer at once each time, and nothing read here meanwhile.
        for (int i = 0; i < 3; ++i)
            QVERIFY(calls_->shownValue(4000 + i, phone_).isNull());
        QVERIFY(!calls_->rowAtHand(4000));
        QVERIFY(read.isEmpty());
        hold.go.release(10);
        QTRY_VERIFY(calls_->rowAtHand(4000));
        QVERIFY(!read.isEmpty());
        QCOMPARE(read.last().at(0).toInt(), 4000);
        QCOMPARE(read.last().at(1).toInt(), DataSet::kPageSize);
        QCOMPARE(shown(4000), phoneOf(1000));
        QCOMPARE(shown(4099), phoneOf(901));
        QVERIFY(!hold.gaveUp);
        // The keys read on the way are the list's: the rows around them
        // read on the window's connection agree.
        QCOMPARE(calls_->rowValue(3999, phone_).toString(), phoneOf(1001));
        calls_->moveTo(4050);
        QCOMPARE(calls_->text(phone_), phoneOf(950));
    }

    void rowsReadForAListReopenedMeanwhileAreDropped()
    {
        Hold after;
        DataSet::setWorkerPauses({{}, {}, {}, {}, [&] { after.wait(); }});
        QVERIFY(calls_->shownValue(150, phone_).isNull());
        QTRY_VERIFY(after.held);  // the old list's rows are read
        after.go.release(10);
        QVERIFY(calls_->reopen(newestFirst(QStringLiteral(" where ID % 2 = 0"))));
        QCOMPARE(calls_->waitForCount(), 2500);
        // Row 150 of the list as it is now, not of the one before.
        QVERIFY(calls_->shownValue(150, phone_).isNull());
        QTRY_VERIFY(calls_->rowAtHand(150));
        QCOMPARE(shown(150), phoneOf(4700));
        QCOMPARE(calls_->rowValue(151, phone_).toString(), phoneOf(4698));
    }

    void rowsReadBeforeARecordMovedThemAreReadAgain()
    {
        Hold after;
        DataSet::setWorkerPauses({{}, {}, {}, {}, [&] { after.wait(); }});
        QVERIFY(calls_->shownValue(150, phone_).isNull());
        QTRY_VERIFY(after.held);
        // A new record before the first: every row below moves down by one.
        calls_->insert();
        calls_->setValue(phone_, QStringLiteral("新来电"));
        calls_->post();
        QCOMPARE(calls_->rowCount(), 5001);
        after.go.release(10);
        QTRY_VERIFY(calls_->rowAtHand(150));
        QCOMPARE(shown(150), phoneOf(5000 - 149));
        QCOMPARE(shown(199), phoneOf(5000 - 198));
        QCOMPARE(calls_->rowValue(0, phone_).toString(), QStringLiteral("新来电"));
    }

    void anEditIsNotOverwrittenByALateRead()
    {
        Hold after;
        DataSet::setWorkerPauses({{}, {}, {}, {}, [&] { after.wait(); }});
        QVERIFY(calls_->shownValue(150, phone_).isNull());
        QTRY_VERIFY(after.held);  // the row as it was is read
        calls_->moveTo(150);
        calls_->edit();
        calls_->setValue(phone_, QStringLiteral("改过的号码"));
        calls_->post();
        // Another page asked for now is read after the late one has come.
        QSignalSpy read(calls_.get(), &DataSet::rowsRead);
        QVERIFY(calls_->shownValue(3000, phone_).isNull());
        after.go.release(10);
        QTRY_VERIFY(!read.isEmpty() && read.last().at(0).toInt() == 3000);
        QCOMPARE(shown(150), QStringLiteral("改过的号码"));
        QCOMPARE(calls_->text(phone_), QStringLiteral("改过的号码"));
        QCOMPARE(column(file_, QStringLiteral("select 电话 from 来电数据 where ID = 4850")),
                 QStringList{QStringLiteral("改过的号码")});
    }

    void aReaderLetGoTheMomentItsReadIsInEnds()
    {
        // A reader is let go as soon as its read is in (as the panel of
        // earlier calls does), again and again: its thread, which by then
        // goes back to wait for the next read, must always hear of it.
        for (int i = 0; i < 300; ++i) {
            bool in = false;
            auto reader = std::make_unique<RowReader>(conn_->sharedEngine(), conn_->location(), this);
            reader->start([](QSqlDatabase&) {}, [&] { in = true; });
            QTRY_VERIFY(in);
            reader.reset();
        }
    }

    void aFailedReadIsReportedAndShowsNothing()
    {
        // The table goes away under the list: the paint is told nothing,
        // the failure is reported once the painting is over.
        QStringList reported;
        errorreport::setSink([&](const QString& text) { reported << text; });
        testutil::execute(file_, QStringLiteral("alter table 来电数据 rename to 旧来电"));
        QVERIFY(calls_->shownValue(3000, phone_).isNull());
        QTRY_VERIFY(!reported.isEmpty());
        QVERIFY(!calls_->rowAtHand(3000));
        QVERIFY(calls_->shownValue(3000, phone_).isNull());
        errorreport::setSink({});
    }
};

QTEST_MAIN(TestShownRows)
#include "test_shownrows.moc"
