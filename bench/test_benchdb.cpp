// The benchmark databases keep the promises the benchmarks rely on: the
// rows are the same on every build, the numbers are typed in the ways
// operators type them, the test numbers of known callers really belong to
// their customers and those of new callers to nobody, the call log is
// written the way the program writes it, and the customer tree has the size
// real customer lists give.

#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <memory>

#include "rules/calls/callrules.h"
#include "data/connection/connection.h"
#include "rules/lists/customertree.h"

#include "benchdb.h"
#include "measure.h"

namespace {

constexpr bench::Size kSmall{4000, 30000};

}  // namespace

class TestBenchDb : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void digitsOfTypedNumbers_data();
    void digitsOfTypedNumbers();
    void rowsAreTheSameOnEveryBuild();
    void databaseHoldsTheGeneratedRows();
    void numbersAreTypedInManyWays();
    void knownTestNumbersBelongToTheirCustomers();
    void newTestNumbersBelongToNobody();
    void callsAreLoggedAsTheProgramLogsThem();
    void mostCallsComeFromCustomers();
    void treeHasTheSizeOfARealList();
    void tinyDatabaseBuilds();
    void sizeComesFromTheArguments();
    void medianOfAnEvenCountIsTheMeanOfTheMiddleTwo();
    void stallMeterSeesABlockedEventLoop();
    void loadAverageHasThreeFigures();

private:
    QSqlDatabase db() const { return conn_->database(); }
    QStringList column(const QString& sql) const;
    // The digits of every number of every customer.
    QStringList customerDigits() const;

    QTemporaryDir dir_;
    QString file_;
    std::unique_ptr<Connection> conn_;
};

void TestBenchDb::initTestCase()
{
    QVERIFY(dir_.isValid());
    file_ = dir_.filePath(QStringLiteral("web.mdb"));
    bench::buildDatabase(file_, kSmall);
    conn_ = bench::bareConnection(file_);
}

QStringList TestBenchDb::column(const QString& sql) const
{
    QSqlQuery q(db());
    if (!q.exec(sql))
        qFatal("%s", qPrintable(sql));
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

QStringList TestBenchDb::customerDigits() const
{
    QStringList out;
    for (const QString& n : column(QStringLiteral("select 电话 from 客户数据 union all select 手机 from 客户数据 "
                                                  "union all select 宅电 from 客户数据")))
        if (!n.isEmpty())
            out << bench::digitsOf(n);
    return out;
}

void TestBenchDb::digitsOfTypedNumbers_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("digits");
    QTest::newRow("plus, dashes") << "+86 138-1234-5678" << "13812345678";
    QTest::newRow("plus joined") << "+8613812345678" << "13812345678";
    QTest::newRow("double zero") << "0086 13812345678" << "13812345678";
    QTest::newRow("brackets") << "(0571) 8765-4321" << "057187654321";
    QTest::newRow("extension") << "0571-87654321-801" << "057187654321801";
    QTest::newRow("local") << "87654321" << "87654321";
}

void TestBenchDb::digitsOfTypedNumbers()
{
    QFETCH(QString, typed);
    QFETCH(QString, digits);
    QCOMPARE(bench::digitsOf(typed), digits);
}

void TestBenchDb::rowsAreTheSameOnEveryBuild()
{
    const QStringList a = bench::customerRow(1234, 100000);
    QCOMPARE(bench::customerRow(999, 100000).size(), bench::customerFields().size());
    QCOMPARE(bench::customerRow(1234, 100000), a);  // after another row: no state carried over
    QVERIFY(bench::customerRow(1235, 100000) != a);
    QVERIFY(!a.first().isEmpty());  // everybody has a name
}

void TestBenchDb::databaseHoldsTheGeneratedRows()
{
    QCOMPARE(column(QStringLiteral("select count(*) from 客户数据")).first().toInt(), kSmall.customers);
    QCOMPARE(column(QStringLiteral("select count(*) from 来电数据")).first().toLongLong(), kSmall.calls);
    const QStringList fields = bench::customerFields();
    for (const qint64 id : {qint64(1), qint64(kSmall.customers / 2), qint64(kSmall.customers)}) {
        QSqlQuery q(db());
        QVERIFY(q.exec(QStringLiteral("select ") + fields.join(QLatin1Char(',')) +
                       QStringLiteral(" from 客户数据 where ID = ") + QString::number(id)));
        QVERIFY(q.next());
        const QStringList row = bench::customerRow(id - 1, kSmall.customers);
        for (int i = 0; i < fields.size(); ++i) {
            QCOMPARE(q.value(i).toString(), row[i]);
            QCOMPARE(q.value(i).isNull(), row[i].isEmpty());  // nothing typed: NULL, as the card stores it
        }
    }
    // The three tables of the program and the indexes it makes on opening.
    QVERIFY(!column(QStringLiteral("select ID from 字典 where 项目 = '分类1'")).isEmpty());
    QVERIFY(conn_->hasNumberIndex());
}

void TestBenchDb::numbersAreTypedInManyWays()
{
    struct Form {
        const char* column;
        const char* pattern;  // GLOB
    };
    const Form forms[] = {
        {"手机", "1[3-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]"},
        {"手机", "+86 1[0-9][0-9]-[0-9][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]"},
        {"电话", "0[1-9][0-9]*-[2-8][0-9]*"},
        {"电话", "(0571) [2-8][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]"},
        {"电话", "[2-8][0-9][0-9][0-9][0-9][0-9][0-9][0-9]"},
        {"电话", "0[1-9]*-[0-9]*-8[0-9][0-9]"},
        {"宅电", "0[1-9][0-9]* [2-8][0-9]*"},
    };
    for (const Form& f : forms) {
        const int n = column(QStringLiteral("select count(*) from 客户数据 where ") + QString::fromUtf8(f.column) +
                             QStringLiteral(" glob '") + QString::fromUtf8(f.pattern) + QLatin1Char('\''))
                          .first()
                          .toInt();
        QVERIFY2(n >= kSmall.customers / 400, f.pattern);
    }
    // Several contacts of one company: shared names and switchboards.
    const int companies = column(QStringLiteral("select count(distinct 公司名称) from 客户数据")).first().toInt();
    QVERIFY(companies < kSmall.customers * 6 / 10);
    QVERIFY(companies > kSmall.customers / 4);
    // Large customers have a couple of dozen contacts, none a whole table's share.
    const int largest = column(QStringLiteral("select max(n) from (select count(*) as n from 客户数据 "
                                              "group by 公司名称)")).first().toInt();
    QVERIFY2(largest >= 10 && largest <= 50, qPrintable(QString::number(largest)));
}

void TestBenchDb::knownTestNumbersBelongToTheirCustomers()
{
    const QVector<bench::TestNumber> numbers = bench::testNumbers(file_);
    QSet<QString> kinds;
    int known = 0;
    for (const bench::TestNumber& t : numbers) {
        kinds << t.kind;
        if (!t.known)
            continue;
        ++known;
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9]{7,12}$")).match(t.number).hasMatch(), qPrintable(t.number));
        QSqlQuery q(db());
        QVERIFY(q.exec(QStringLiteral("select 电话, 手机, 宅电 from 客户数据 where ID = ") + QString::number(t.id)));
        QVERIFY(q.next());
        const QStringList held{q.value(0).toString(), q.value(1).toString(), q.value(2).toString()};
        QVERIFY2(held.contains(t.stored), qPrintable(t.stored));
        // Compared as digits the program's lookup finds this customer.
        QVERIFY2(bench::digitsOf(t.stored).contains(lookupNumber(t.number)), qPrintable(t.kind));
    }
    QCOMPARE(kinds.size(), 10);
    QCOMPARE(known, 7 * 7);
    for (const bench::TestNumber& t : numbers) {
        if (t.kind.contains(QLatin1String("(0571)")))
            QVERIFY(t.stored.startsWith(QLatin1String("(0571) ")));
        if (t.kind.contains(QLatin1String("+86")))
            QVERIFY(t.stored != t.number);
        if (t.kind.contains(QLatin1String("local call")) || t.kind.contains(QLatin1String("without area code")))
            QCOMPARE(t.number.size(), 8);  // a call within 杭州 comes without 0571
        if (t.kind.contains(QLatin1String("long distance")))
            QVERIFY(t.number.startsWith(QLatin1Char('0')) && !t.number.startsWith(QLatin1String("0571")));
    }
}

void TestBenchDb::newTestNumbersBelongToNobody()
{
    const QStringList digits = customerDigits();
    int fresh = 0;
    for (const bench::TestNumber& t : bench::testNumbers(file_)) {
        if (t.known)
            continue;
        ++fresh;
        const QString searched = lookupNumber(t.number);
        QVERIFY(searched.size() >= 7);
        for (const QString& d : digits)
            QVERIFY2(!d.contains(searched), qPrintable(t.number + QLatin1Char(' ') + d));
    }
    QCOMPARE(fresh, 3 * 7);
}

void TestBenchDb::callsAreLoggedAsTheProgramLogsThem()
{
    QSqlQuery q(db());
    QVERIFY(q.exec(QStringLiteral("select 电话, 手机, 日期, 时间 from 来电数据 order by ID")));
    const QRegularExpression date(QStringLiteral("^(20[0-9]{2})-([1-9]|1[0-2])-([1-9]|[12][0-9]|3[01])$"));
    const QRegularExpression time(QStringLiteral("^(1?[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$"));
    QDateTime last;
    QSet<int> years;
    while (q.next()) {
        const QString phone = q.value(0).toString(), mobile = q.value(1).toString();
        QVERIFY(phone.isEmpty() != mobile.isEmpty());
        QVERIFY(mobile.isEmpty() || mobile.startsWith(QLatin1Char('1')));
        QVERIFY(phone.isEmpty() || !phone.startsWith(QLatin1Char('1')));
        const auto d = date.match(q.value(2).toString());
        QVERIFY2(d.hasMatch(), qPrintable(q.value(2).toString()));
        QVERIFY2(time.match(q.value(3).toString()).hasMatch(), qPrintable(q.value(3).toString()));
        // Logged as they came: later rows are never earlier calls.
        const QDateTime when(QDate(d.captured(1).toInt(), d.captured(2).toInt(), d.captured(3).toInt()),
                             QTime::fromString(q.value(3).toString(), QStringLiteral("H:mm:ss")));
        QVERIFY(when.isValid());
        QVERIFY(!last.isValid() || last <= when);
        last = when;
        years << when.date().year();
    }
    QVERIFY(years.size() >= 5);
}

void TestBenchDb::mostCallsComeFromCustomers()
{
    const QStringList digits = customerDigits();
    const QStringList numbers = column(QStringLiteral("select coalesce(电话, 手机) from 来电数据 where ID % 60 = 0"));
    int known = 0;
    for (const QString& n : numbers) {
        const QString searched = lookupNumber(n);
        known += std::any_of(digits.begin(), digits.end(), [&](const QString& d) { return d.contains(searched); });
    }
    const double share = double(known) / numbers.size();
    QVERIFY2(share > 0.55 && share < 0.8, qPrintable(QString::number(share)));
}

void TestBenchDb::treeHasTheSizeOfARealList()
{
    // The tree as the program builds it from the rows of its statement.
    const int customers = 100000;
    const QStringList fields = bench::customerFields();
    QVector<int> at;
    for (const QString& f : bench::treeFields())
        at << int(fields.indexOf(f));
    customertree::TreeBuilder tree(int(at.size()));
    for (qint64 i = 0; i < customers; ++i) {
        const QStringList row = bench::customerRow(i, customers);
        QStringList values;
        for (int k : at)
            values << row[k];
        tree.addRow(values);
    }
    QVERIFY2(tree.nodeCount() > 130000 && tree.nodeCount() < 175000, qPrintable(QString::number(tree.nodeCount())));
}

void TestBenchDb::tinyDatabaseBuilds()
{
    const QString file = dir_.filePath(QStringLiteral("tiny.mdb"));
    bench::buildDatabase(file, {10, 10});
    auto conn = bench::bareConnection(file, QStringLiteral("tiny"));
    QSqlQuery q(conn->database());
    QVERIFY(q.exec(QStringLiteral("select (select count(*) from 客户数据), (select count(*) from 来电数据)")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 10);
    QCOMPARE(q.value(1).toInt(), 10);
    int fresh = 0;
    for (const bench::TestNumber& t : bench::testNumbers(file))
        fresh += !t.known;
    QCOMPARE(fresh, 3 * 7);  // new callers exist at any size
}

void TestBenchDb::sizeComesFromTheArguments()
{
    QStringList args{QStringLiteral("--large"), QStringLiteral("xls")};
    QCOMPARE(bench::sizeFromArguments(&args).calls, bench::kLargeSize.calls);
    QCOMPARE(args, QStringList{QStringLiteral("xls")});  // the flag is taken out, the rest stays
    args = {QStringLiteral("tiny")};
    QCOMPARE(bench::sizeFromArguments(&args).customers, 10);
    args = {QStringLiteral("/tmp/x.mdb")};
    QCOMPARE(bench::sizeFromArguments(&args).customers, bench::kDefaultSize.customers);
    QCOMPARE(args.size(), 1);
    QCOMPARE(bench::sizeText(bench::kDefaultSize), QStringLiteral("100,000 customers, 1,000,000 calls"));
}

void TestBenchDb::medianOfAnEvenCountIsTheMeanOfTheMiddleTwo()
{
    QCOMPARE(bench::median({4, 1, 3, 2}), 2.5);
    QCOMPARE(bench::median({5, 1, 9}), 5.0);
}

void TestBenchDb::stallMeterSeesABlockedEventLoop()
{
    bench::StallMeter meter;
    meter.start();
    QTest::qWait(60);
    QThread::msleep(300);  // the window's thread busy: no tick can come
    QTest::qWait(60);
    QVERIFY2(meter.worst() >= 300 && meter.worst() < 2000, qPrintable(QString::number(meter.worst())));
    // A new start forgets the old stall.
    meter.start();
    QTest::qWait(60);
    QVERIFY2(meter.worst() < 300, qPrintable(QString::number(meter.worst())));
}

void TestBenchDb::loadAverageHasThreeFigures()
{
    const QList<QByteArray> figures = bench::loadAverage().split(' ');
    QCOMPARE(figures.size(), 3);
    for (const QByteArray& f : figures) {
        bool ok = false;
        f.toDouble(&ok);
        QVERIFY2(ok, f.constData());
    }
}

QTEST_GUILESS_MAIN(TestBenchDb)
#include "test_benchdb.moc"
