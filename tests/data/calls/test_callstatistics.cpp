// Call statistics against counts made independently from the same calls.

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "data/calls/callstatistics.h"
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
            QVector<qint64> perDay(first.daysTo(last) + 1, 0), perHour(24, 0);
            QHash<QString, qint64> perNumber;
            qint64 total = 0, known = 0;
            for (const Call& c : calls) {
                if (c.day < first || c.day > last)
                    continue;
                ++perDay[first.daysTo(c.day)];
                ++perHour[c.hour];
                ++perNumber[c.number];
                ++total;
                known += c.known;
            }
            QCOMPARE(s.perDay, perDay);
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
        QCOMPARE(empty.perDay.size(), 30);
        QVERIFY(empty.frequentNumbers.isEmpty());
        QCOMPARE(callStatistics(db, start.addDays(5), start).perDay.size(), 0);
        db.close();
    }
};

QTEST_GUILESS_MAIN(TestCallStatistics)
#include "test_callstatistics.moc"
