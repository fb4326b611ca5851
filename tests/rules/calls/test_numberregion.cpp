// Where a number belongs, however it was typed.

#include <QtTest>

#include "rules/calls/numberregion.h"

class TestNumberRegion : public QObject {
    Q_OBJECT
private slots:
    void regions_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("region");
        const QString hangzhou = QStringLiteral("浙江省杭州市");
        const QString lianyungang = QStringLiteral("江苏省连云港市");
        QTest::newRow("area code") << QStringLiteral("057187654321") << hangzhou;
        QTest::newRow("area code typed") << QStringLiteral("(0571) 8765-4321") << hangzhou;
        QTest::newRow("0086") << QStringLiteral("0086 571 8765 4321") << hangzhou;
        QTest::newRow("mobile") << QStringLiteral("13812345678") << lianyungang;
        QTest::newRow("mobile +86") << QStringLiteral("+86 138-1234-5678") << lianyungang;
        QTest::newRow("Beijing") << QStringLiteral("01012345678") << QStringLiteral("北京市");
        // Another country's code: that country's place, in Chinese.
        QTest::newRow("+852") << QStringLiteral("+852 2123 4567") << QStringLiteral("香港");
        QTest::newRow("00852") << QStringLiteral("00852 2123 4567") << QStringLiteral("香港");
        QTest::newRow("full-width +852") << QStringLiteral("＋852-2123-4567") << QStringLiteral("香港");
        QTest::newRow("+853") << QStringLiteral("+853 2888 1234") << QStringLiteral("澳门");
        QTest::newRow("+81") << QStringLiteral("+81 3-1234-5678") << QStringLiteral("日本");
        // Places the library cannot know.
        QTest::newRow("local number") << QStringLiteral("87654321") << QString();
        QTest::newRow("bank service") << QStringLiteral("95588") << QString();
        QTest::newRow("extension") << QStringLiteral("8001") << QString();
        QTest::newRow("not a number") << QStringLiteral("未知号码") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void regions()
    {
        QFETCH(QString, number);
        QFETCH(QString, region);
        QCOMPARE(numberRegion(number), region);
    }

    // A US number once read as a Chinese mobile (165…) gets the US place.
    void aForeignNumberIsNotChinese()
    {
        const QString us = numberRegion(QStringLiteral("+1 650 253 0000"));
        QVERIFY2(!us.isEmpty() && !us.contains(QStringLiteral("中国")), qPrintable(us));
        QCOMPARE(numberRegion(QStringLiteral("001 650 253 0000")), us);
        QVERIFY(numberRegion(QStringLiteral("16502530000")).contains(QStringLiteral("中国")));
    }
};

QTEST_GUILESS_MAIN(TestNumberRegion)
#include "test_numberregion.moc"
