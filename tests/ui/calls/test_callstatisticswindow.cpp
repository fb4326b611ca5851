// The statistics window computes off the window thread, draws what it
// computed, names the customers of frequent numbers and exports the figures.

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "rules/formats/xlsread.h"
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
        // The customer of the frequent mobile, stored as an operator typed it.
        testutil::execute(file, QStringLiteral("insert into 客户数据 (联系人, 公司名称, 手机) values "
                                               "('张三', '', '139 0000 1111'), ('李四', '某公司', '13900002222')"));
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        DataModule dm;
        dm.connection.open();
        CallStatisticsWindow w(&dm.connection);
        w.setRange(QDate(2026, 12, 1), QDate(2026, 12, 7));
        QSignalSpy computed(&w, &CallStatisticsWindow::computed);
        w.compute();
        QVERIFY(w.computing());  // the window goes on meanwhile
        QTRY_COMPARE(computed.count(), 1);
        const CallStatistics& s = w.statistics();
        QCOMPARE(s.total, qint64(4));
        QCOMPARE(s.known, qint64(3));
        QCOMPARE(s.perPeriod, (QVector<qint64>{2, 0, 1, 0, 0, 0, 1}));
        QCOMPARE(s.perHour[9], qint64(2));
        QCOMPARE(s.perHour[14], qint64(1));
        QCOMPARE(s.perHour[23], qint64(1));
        QCOMPARE(s.frequentNumbers.size(), 2);
        QCOMPARE(s.frequentNumbers[0].number, QStringLiteral("13900001111"));
        for (QChartView* v : w.findChildren<QChartView*>())
            QVERIFY(v->chart() && !v->chart()->series().isEmpty());
        QTreeWidget* frequent = w.findChild<QTreeWidget*>();
        QCOMPARE(frequent->topLevelItem(0)->text(2), QStringLiteral("张三"));

        const QString xlsx = folder + QStringLiteral("统计.xlsx");
        QString error;
        QVERIFY2(w.exportTo(xlsx, &error), qPrintable(error));
        const QList<xlsread::SheetCells> sheets = xlsread::readXlsx(xlsx);
        QCOMPARE(sheets.size(), 5);
        QCOMPARE(sheets[0].rows.size(), 8);  // header and seven days
        QCOMPARE(sheets[0].rows[1], (QStringList{QStringLiteral("2026-12-1"), QStringLiteral("2")}));
        QCOMPARE(sheets[2].rows[1],
                 (QStringList{QStringLiteral("13900001111"), QStringLiteral("3"), QStringLiteral("张三")}));
        // A number nobody has stays without a customer.
        QCOMPARE(sheets[2].rows[2].value(2), QString());
        QCOMPARE(sheets[3].rows[2], (QStringList{QStringLiteral("新客户来电"), QStringLiteral("1")}));
        // Answered, missed and outgoing per day: none missed nor dialled here.
        QCOMPARE(sheets[4].rows.size(), 8);
        QCOMPARE(sheets[4].rows[1], (QStringList{QStringLiteral("2026-12-1"), QStringLiteral("2"), QStringLiteral("0"),
                                                 QStringLiteral("0")}));

        // The kind of file the name says, whatever filter was chosen; a
        // name without one of the three extensions gets the filter's.
        const QString xlsFilter = QStringLiteral("Excel工作簿(*.xlsx)");
        QCOMPARE(CallStatisticsWindow::exportName(QStringLiteral("/t/stats.csv"), xlsFilter), QStringLiteral("/t/stats.csv"));
        QCOMPARE(CallStatisticsWindow::exportName(QStringLiteral("/t/stats"), xlsFilter), QStringLiteral("/t/stats.xlsx"));
        QCOMPARE(CallStatisticsWindow::exportName(QStringLiteral("/t/stats"), QStringLiteral("CSV 文本(*.csv)")),
                 QStringLiteral("/t/stats.csv"));
        const QString csv = folder + QStringLiteral("统计.csv");
        QVERIFY2(w.exportTo(csv, &error), qPrintable(error));
        QFile csvFile(csv);
        QVERIFY(csvFile.open(QIODevice::ReadOnly));
        const QString csvText = QString::fromUtf8(csvFile.readAll());
        QVERIFY2(csvText.contains(QStringLiteral("每天来电")) && csvText.contains(QStringLiteral("2026-12-1,2")) &&
                     csvText.contains(QStringLiteral("新客户来电,1")),
                 qPrintable(csvText));
        const QString xls = folder + QStringLiteral("统计.xls");
        QVERIFY2(w.exportTo(xls, &error), qPrintable(error));
        QFile xlsFile(xls);
        QVERIFY(xlsFile.open(QIODevice::ReadOnly));
        QVERIFY(xlsFile.read(4) == QByteArray("\xD0\xCF\x11\xE0"));
        QVERIFY(!QFileInfo::exists(xls + QStringLiteral(".xlsx")) && !QFileInfo::exists(csv + QStringLiteral(".xlsx")));

        // A range of centuries: counted by the year over the years with
        // calls (one call of 1999 beside those of 2026), and said so.
        testutil::execute(file, QStringLiteral("insert into 来电数据 (手机, 日期, 时间) values ('13900001111', '1999-5-1', '9:00:00')"));
        w.setRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
        w.compute();
        QTRY_COMPARE(computed.count(), 2);
        QCOMPARE(w.statistics().unit, StatisticsUnit::Year);
        QVERIFY2(w.findChild<QLabel*>(QStringLiteral("summary"))->text().contains(QStringLiteral("1999-5-1 至 2026-12-7，范围较长，按年统计")),
                 qPrintable(w.findChild<QLabel*>(QStringLiteral("summary"))->text()));
        QCOMPARE(w.findChildren<QChartView*>().first()->chart()->title(), QStringLiteral("每年来电"));
        // Few bars, one a year, that still add up to every call; the hours too.
        for (QChartView* v : w.findChildren<QChartView*>()) {
            auto* bars = qobject_cast<QBarSeries*>(v->chart()->series().value(0));
            QVERIFY(bars && bars->count() == 1);
            double sum = 0;
            for (int i = 0; i < bars->barSets()[0]->count(); ++i)
                sum += bars->barSets()[0]->at(i);
            QCOMPARE(qint64(sum), w.statistics().total);
            QVERIFY(bars->barSets()[0]->count() <= 28);
        }

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
            QVERIFY(testutil::runPostedEvents());
        }
        QVERIFY2(reports.isEmpty(), qPrintable(reports.join('\n')));
        errorreport::setSink({});
    }
};

QTEST_MAIN(TestCallStatisticsWindow)
#include "test_callstatisticswindow.moc"
