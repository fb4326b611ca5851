// The statistics window computes off the window thread, draws what it
// computed, names the customers of frequent numbers and exports the figures.

#include <QChartView>
#include <QSignalSpy>
#include <QtTest>

#include "data/app/backgroundwork.h"
#include "data/app/datamodule.h"
#include "rules/app/errorreport.h"
#include "rules/transfer/xlsread.h"
#include "testutil.h"
#include "ui/calls/callstatisticswindow.h"

class TestCallStatisticsWindow : public QObject {
    Q_OBJECT
private slots:
    void computesShowsAndExports()
    {
        const QString folder = testutil::makeProgramFolder();
        const QString file = folder + QStringLiteral("data/web.mdb");
        testutil::execute(file, QStringLiteral(
            "insert into 来电数据 (手机, 电话, 日期, 时间, 联系人) values "
            "('13900001111', null, '2026-12-1', '9:05:00', '张三'),"
            "('13900001111', null, '2026-12-1', '09:45:00', '张三'),"
            "(null, '057163010428', '2026-12-3', '14:00:00', null),"
            "('13900001111', null, '2026-12-7', '23:59:59', '张三'),"
            "(null, '057163010428', '2026-11-20', '10:00:00', null)"));
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        DataModule dm;
        dm.connection.open();
        CallStatisticsWindow w(&dm.connection, [](const QString& n) {
            return n == QStringLiteral("13900001111") ? QStringLiteral("张三") : QString();
        });
        w.setRange(QDate(2026, 12, 1), QDate(2026, 12, 7));
        QSignalSpy computed(&w, &CallStatisticsWindow::computed);
        w.compute();
        QVERIFY(w.computing());  // the window goes on meanwhile
        QTRY_COMPARE(computed.count(), 1);
        const CallStatistics& s = w.statistics();
        QCOMPARE(s.total, qint64(4));
        QCOMPARE(s.known, qint64(3));
        QCOMPARE(s.perDay, (QVector<qint64>{2, 0, 1, 0, 0, 0, 1}));
        QCOMPARE(s.perHour[9], qint64(2));
        QCOMPARE(s.perHour[14], qint64(1));
        QCOMPARE(s.perHour[23], qint64(1));
        QCOMPARE(s.frequentNumbers.size(), 2);
        QCOMPARE(s.frequentNumbers[0].number, QStringLiteral("13900001111"));
        for (QChartView* v : w.findChildren<QChartView*>())
            QVERIFY(v->chart() && !v->chart()->series().isEmpty());

        const QString xlsx = folder + QStringLiteral("统计.xlsx");
        QString error;
        QVERIFY2(w.exportTo(xlsx, &error), qPrintable(error));
        const QList<xlsread::SheetCells> sheets = xlsread::readXlsx(xlsx);
        QCOMPARE(sheets.size(), 5);
        QCOMPARE(sheets[0].rows.size(), 8);  // header and seven days
        QCOMPARE(sheets[0].rows[1], (QStringList{QStringLiteral("2026-12-1"), QStringLiteral("2")}));
        QCOMPARE(sheets[2].rows[1],
                 (QStringList{QStringLiteral("13900001111"), QStringLiteral("3"), QStringLiteral("张三")}));
        QCOMPARE(sheets[3].rows[2], (QStringList{QStringLiteral("新客户来电"), QStringLiteral("1")}));
        // Answered, missed and outgoing per day: none missed nor dialled here.
        QCOMPARE(sheets[4].rows.size(), 8);
        QCOMPARE(sheets[4].rows[1], (QStringList{QStringLiteral("2026-12-1"), QStringLiteral("2"), QStringLiteral("0"),
                                                 QStringLiteral("0")}));

        // The range the wrong way round is refused with a message.
        w.setRange(QDate(2026, 12, 7), QDate(2026, 12, 1));
        w.compute();
        QVERIFY(!w.computing());
        QCOMPARE(reports.size(), 1);
        errorreport::setSink({});
    }

    void closedBeforeTheFiguresCome()
    {
        const QString folder = testutil::makeProgramFolder();
        testutil::execute(folder + QStringLiteral("data/web.mdb"),
                          QStringLiteral("insert into 来电数据 (手机, 日期, 时间) values ('13900001111', '2026-12-1', '9:05:00')"));
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        DataModule dm;
        dm.connection.open();
        // The operator closes the window at once: the work ends without it.
        for (int i = 0; i < 3; ++i) {
            auto* w = new CallStatisticsWindow(&dm.connection, {});
            w->setRange(QDate(2026, 11, 1), QDate(2026, 12, 7));
            w->compute();
            delete w;
            QTRY_VERIFY(!BackgroundWork::anyRunning());
            QTest::qWait(20);
        }
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join('\n')));
        errorreport::setSink({});
    }
};

QTEST_MAIN(TestCallStatisticsWindow)
#include "test_callstatisticswindow.moc"
