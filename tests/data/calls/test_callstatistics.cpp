// Call statistics against counts made independently from the same calls.

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "data/calls/callstatistics.h"
#include "data/engine/dberror.h"
#include "data/numbers/numberindex.h"
#include "testdb.h"

namespace {
struct Call {
    QDate day;
    int hour;
    QString number;
    bool known;
};
}  // namespace

class TestCallStatistics : public QObject {
    Q_OBJECT
private slots:
    void figuresMatchAnIndependentCount()
    {
        QTemporaryDir tmp;
        const QString file = testutil::makeDatabase(tmp.filePath(QStringLiteral("web.mdb")));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stats"));
        db.setDatabaseName(file);
        QVERIFY(db.open());

        // Calls over 300 days (two statements' worth), with and without
        // padded hours, mobiles and landlines, known and new callers.
        QRandomGenerator random(7);
        const QDate start(2026, 1, 1);
        QList<Call> calls;
        QSqlQuery insert(db);
        QVERIFY(insert.prepare(QStringLiteral("insert into 来电数据 (手机, 电话, 日期, 时间, 联系人) values (?,?,?,?,?)")));
        db.transaction();
        for (int i = 0; i < 3000; ++i) {
            const Call c{start.addDays(random.bounded(300)), int(random.bounded(24)),
                         random.bounded(2) ? QStringLiteral("1390000%1").arg(random.bounded(40), 4, 10, QLatin1Char('0'))
                                           : QStringLiteral("0571%1").arg(random.bounded(30) + 87650000),
                         random.bounded(3) == 0};
            calls << c;
            const bool mobile = c.number.startsWith(QLatin1Char('1'));
            insert.addBindValue(mobile ? QVariant(c.number) : QVariant());
            insert.addBindValue(mobile ? QVariant() : QVariant(c.number));
            insert.addBindValue(storedDay(c.day));
            insert.addBindValue((i % 2 ? QString::number(c.hour) : QString::number(c.hour).rightJustified(2, QLatin1Char('0'))) +
                                QStringLiteral(":05:00"));
            insert.addBindValue(c.known ? QVariant(QStringLiteral("张三")) : QVariant());
            QVERIFY(insert.exec());
        }
        db.commit();

        for (const auto& [first, last] : {std::pair{start.addDays(10), start.addDays(39)}, std::pair{start, start.addDays(299)}}) {
            const CallStatistics s = callStatistics(db, first, last, 20);
            // 30 days by the day, 300 by the month.
            const bool byDay = first.daysTo(last) < 62;
            QCOMPARE(s.unit, byDay ? StatisticsUnit::Day : StatisticsUnit::Month);
            auto period = [&](const QDate& d) {
                return byDay ? first.daysTo(d) : (d.year() - first.year()) * 12 + d.month() - first.month();
            };
            QVector<qint64> perPeriod(period(last) + 1, 0), perHour(24, 0);
            QHash<QString, qint64> perNumber;
            qint64 total = 0, known = 0;
            for (const Call& c : calls) {
                if (c.day < first || c.day > last)
                    continue;
                ++perPeriod[period(c.day)];
                ++perHour[c.hour];
                ++perNumber[c.number];
                ++total;
                known += c.known;
            }
            QCOMPARE(s.perPeriod, perPeriod);
            QCOMPARE(s.perHour, perHour);
            QCOMPARE(s.total, total);
            QCOMPARE(s.known, known);
            QCOMPARE(s.fresh(), total - known);
            QCOMPARE(s.frequentNumbers.size(), 20);
            QList<qint64> counts = perNumber.values();
            std::sort(counts.begin(), counts.end(), std::greater<>());
            for (int i = 0; i < 20; ++i) {
                QCOMPARE(s.frequentNumbers[i].calls, counts[i]);
                QCOMPARE(perNumber.value(s.frequentNumbers[i].number), counts[i]);
            }
        }

        // A range without calls, and one the wrong way round.
        const CallStatistics empty = callStatistics(db, QDate(2020, 1, 1), QDate(2020, 1, 30));
        QCOMPARE(empty.total, qint64(0));
        QCOMPARE(empty.perPeriod.size(), 30);
        QVERIFY(empty.frequentNumbers.isEmpty());
        QCOMPARE(callStatistics(db, start.addDays(5), start).perPeriod.size(), 0);
        db.close();
    }

    // A time not written as "H:mm:ss" or "HH:mm:ss" counts for its day and
    // the total but for no hour of the day.
    void oddTimesCountForTheDayOnly()
    {
        QTemporaryDir tmp;
        const QString file = testutil::makeDatabase(tmp.filePath(QStringLiteral("web.mdb")));
        testutil::execute(file, QStringLiteral("insert into 来电数据 (手机, 日期, 时间, 公司名称) values "
                                               "('13900000001', '2026-3-1', '0:00:00', '某公司'), "
                                               "('13900000001', '2026-3-1', '00:30:00', null), "
                                               "('13900000001', '2026-3-1', '23:59:59', null), "
                                               "('13900000002', '2026-3-2', '24:00:00', null), "
                                               "('13900000002', '2026-3-2', '９:00:00', null), "
                                               "('13900000002', '2026-3-2', ' 9:00:00', null), "
                                               "('13900000002', '2026-3-2', '900', null), "
                                               "('13900000002', '2026-3-2', '123:00:00', null), "
                                               "('13900000002', '2026-3-2', '7', null), "
                                               "('13900000002', '2026-3-2', '', null), "
                                               "('13900000002', '2026-3-2', null, null)"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("odd"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        const CallStatistics s = callStatistics(db, QDate(2026, 3, 1), QDate(2026, 3, 2));
        QCOMPARE(s.perPeriod, (QVector<qint64>{3, 8}));
        QCOMPARE(s.total, qint64(11));
        QCOMPARE(s.known, qint64(1));
        QVector<qint64> hours(24, 0);
        hours[0] = 2;
        hours[23] = 1;
        QCOMPARE(s.perHour, hours);
        QCOMPARE(s.frequentNumbers.first().number, QStringLiteral("13900000002"));
        db.close();
    }

    // A range of centuries costs what the calls cost: it is narrowed to the
    // days that hold calls and counted by the year; a range of years by the
    // month.  Days written otherwise than the log writes them are not counted.
    void aHugeRangeIsCountedByTheYear()
    {
        QTemporaryDir tmp;
        const QString file = testutil::makeDatabase(tmp.filePath(QStringLiteral("web.mdb")));
        testutil::execute(file, QStringLiteral("insert into 来电数据 (手机, 日期, 时间) values "
                                               "('13900000001', '1990-3-5', '9:00:00'), "
                                               "('13900000001', '2026-1-1', '10:00:00'), "
                                               "('13900000002', '2026-6-1', '11:00:00'), "
                                               "('13900000003', '2026-06-02', '11:00:00'), "
                                               "('13900000004', '9999-12-31', '11:00:00')"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("huge"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        const CallStatistics s = callStatistics(db, QDate(1900, 1, 1), QDate(9999, 12, 30));
        QCOMPARE(s.unit, StatisticsUnit::Year);
        QCOMPARE(s.first, QDate(1990, 3, 5));
        QCOMPARE(s.last, QDate(2026, 6, 1));
        QCOMPARE(s.perPeriod.size(), 37);
        QCOMPARE(s.perPeriod.first(), qint64(1));
        QCOMPARE(s.perPeriod.last(), qint64(2));
        QCOMPARE(s.periodStart(36), QDate(2026, 1, 1));
        QCOMPARE(s.total, qint64(3));
        QCOMPARE(s.perHour[11], qint64(1));

        const CallStatistics months = callStatistics(db, QDate(2024, 1, 1), QDate(2026, 12, 31));
        QCOMPARE(months.unit, StatisticsUnit::Month);
        QCOMPARE(months.first, QDate(2026, 1, 1));
        QCOMPARE(months.perPeriod, (QVector<qint64>{1, 0, 0, 0, 0, 1}));
        QCOMPARE(months.periodStart(5), QDate(2026, 6, 1));

        // Nothing in a long range: one empty day, not millions.
        const CallStatistics none = callStatistics(db, QDate(1900, 1, 1), QDate(1980, 1, 1));
        QCOMPARE(none.total, qint64(0));
        QCOMPARE(none.perPeriod.size(), 1);
        db.close();
    }

    // The frequent numbers are handed out before the calls per day are
    // counted, and their customers found on a connection of its own are
    // those the lookup on the counting connection finds.
    void customersAreFoundBesideTheCounting()
    {
        QTemporaryDir tmp;
        const QString file = testutil::makeDatabase(tmp.filePath(QStringLiteral("web.mdb")));
        testutil::execute(file, QStringLiteral("insert into 来电数据 (手机, 电话, 日期, 时间) values "
                                               "('13900001111', null, '2026-12-1', '9:00:00'), "
                                               "('13900001111', null, '2026-12-2', '9:00:00'), "
                                               "(null, '057163010428', '2026-12-2', '10:00:00')"));
        testutil::execute(file, QStringLiteral("insert into 客户数据 (联系人, 公司名称, 手机) values "
                                               "('张三', '某公司', '139 0000 1111')"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("aside"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        numberindex::addDigitsFunction(db);

        QList<NumberCount> handed;
        bool stop = false;
        const CallStatistics early = callStatistics(
            db, QDate(2026, 12, 1), QDate(2026, 12, 7), 20, [&] { return stop; },
            [&](const QList<NumberCount>& numbers) {
                handed = numbers;
                stop = true;
            });
        QCOMPARE(handed.size(), 2);
        QCOMPARE(handed[0].number, QStringLiteral("13900001111"));
        QCOMPARE(handed[0].calls, qint64(2));
        QCOMPARE(early.total, qint64(0));  // stopped before the days were counted

        const QStringList inline_ = customersOfNumbers(db, false, handed);
        QCOMPARE(inline_, (QStringList{QStringLiteral("张三 某公司"), QString()}));
        QCOMPARE(customersOfNumbersAside(DatabaseLocation::ofFile(file), false, handed).get(), inline_);

        // A database that cannot be read: the failure comes out of get().
        const QString broken = tmp.filePath(QStringLiteral("broken.mdb"));
        QFile f(broken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        auto failing = customersOfNumbersAside(DatabaseLocation::ofFile(broken), false, handed);
        QVERIFY_THROWS_EXCEPTION(DbError, failing.get());
        db.close();
    }
};

QTEST_GUILESS_MAIN(TestCallStatistics)
#include "test_callstatistics.moc"
