// The one clean-up rule for telephone numbers, case by case: what is kept
// of a number however it was typed or received.  The database functions
// are checked against this rule elsewhere; here the rule itself is held to
// its table, so that a change made to the rule and to the functions at once
// does not pass unnoticed.

#include <QtTest>

#include "rules/calls/callrules.h"

class TestNumberDigits : public QObject {
    Q_OBJECT
private slots:
    void digits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("digits");
        // Separators and anything else that is not a digit.
        QTest::newRow("plain") << QStringLiteral("057187654321") << QStringLiteral("057187654321");
        QTest::newRow("brackets and dash") << QStringLiteral("(0571) 8765-4321") << QStringLiteral("057187654321");
        QTest::newRow("dots and slash") << QStringLiteral("0571.8765/4321") << QStringLiteral("057187654321");
        QTest::newRow("extension") << QStringLiteral("0571-87654321转123") << QStringLiteral("057187654321123");
        QTest::newRow("letters and quotes") << QStringLiteral("a'1%3_9") << QStringLiteral("139");
        QTest::newRow("full-width") << QStringLiteral("１３９ １２３４ ５６７８") << QStringLiteral("13912345678");
        QTest::newRow("no digits") << QStringLiteral("未知号码") << QString();
        QTest::newRow("empty") << QString() << QString();
        // The country code comes off; a fixed line gets its area code's 0 back.
        QTest::newRow("+86 mobile") << QStringLiteral("+86 138-1234-5678") << QStringLiteral("13812345678");
        QTest::newRow("+86 fixed") << QStringLiteral("+86 571 8765 4321") << QStringLiteral("057187654321");
        QTest::newRow("+86 fixed with 0") << QStringLiteral("+86 0571 1") << QStringLiteral("05711");
        QTest::newRow("0086 mobile") << QStringLiteral("0086 139 1234 5678") << QStringLiteral("13912345678");
        QTest::newRow("0086 fixed") << QStringLiteral("0086-21-12345678") << QStringLiteral("02112345678");
        QTest::newRow("full-width +86") << QStringLiteral("＋８６ １３９１２３４５６７８") << QStringLiteral("13912345678");
        QTest::newRow("+ then spaces") << QStringLiteral("+ 86 12") << QStringLiteral("012");
        QTest::newRow("+0086") << QStringLiteral("+0086 21 1") << QStringLiteral("0211");
        // "12…" is no mobile: an 11-digit number from 12 is a fixed line.
        QTest::newRow("+86 eleven digits from 12") << QStringLiteral("+86 12345678901") << QStringLiteral("012345678901");
        QTest::newRow("+86 short") << QStringLiteral("+86 13") << QStringLiteral("013");
        QTest::newRow("+86 alone") << QStringLiteral("+86") << QString();
        QTest::newRow("0086 alone") << QStringLiteral("0086") << QString();
        // What is left alone: 86 without "+", a "+" after the first digit.
        QTest::newRow("86 without +") << QStringLiteral("8613912345678") << QStringLiteral("8613912345678");
        QTest::newRow("+ after a digit") << QStringLiteral("1+86") << QStringLiteral("186");
        QTest::newRow("+ alone") << QStringLiteral("+") << QString();
        QTest::newRow("86 alone") << QStringLiteral("86") << QStringLiteral("86");
        QTest::newRow("0 alone") << QStringLiteral("０") << QStringLiteral("0");
    }
    // The rule over text, and the same rule over the UTF-8 bytes a database
    // hands to its function.
    void digits()
    {
        QFETCH(QString, typed);
        QFETCH(QString, digits);
        QCOMPARE(numberDigits(typed), digits);
        const QByteArray utf8 = typed.toUtf8();
        QCOMPARE(QString::fromLatin1(numberDigitsUtf8(utf8.constData(), utf8.size())), digits);
    }

    // A broken UTF-8 sequence counts for nothing; the digits round it stay.
    void brokenUtf8()
    {
        const QByteArray text("13\xe4\xb8" "9\xff" "1", 7);
        QCOMPARE(numberDigitsUtf8(text.constData(), text.size()), QByteArray("1391"));
    }

    // Numbers are the same when their digits are; text without digits is
    // compared as it is.
    void sameNumbers()
    {
        QVERIFY(sameNumber(QStringLiteral("+86 138-1234-5678"), QStringLiteral("13812345678")));
        QVERIFY(sameNumber(QStringLiteral("0086 571 8765 4321"), QStringLiteral("(0571)87654321")));
        QVERIFY(!sameNumber(QStringLiteral("057187654321"), QStringLiteral("87654321")));
        QVERIFY(sameNumber(QStringLiteral("未知"), QStringLiteral("未知")));
        QVERIFY(!sameNumber(QStringLiteral("未知"), QStringLiteral("保密")));
        QVERIFY(!sameNumber(QStringLiteral("未知"), QStringLiteral("1")));
    }

    // What a caller is looked up by: the digits without the area code.
    void lookupNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("looked");
        QTest::newRow("three-digit code") << QStringLiteral("010-1234 5678") << QStringLiteral("12345678");
        QTest::newRow("four-digit code") << QStringLiteral("(0571) 8765-4321") << QStringLiteral("87654321");
        QTest::newRow("+86 fixed") << QStringLiteral("+86 21 6666 5555") << QStringLiteral("66665555");
        QTest::newRow("mobile") << QStringLiteral("+86 139 1234 5678") << QStringLiteral("13912345678");
        QTest::newRow("local") << QStringLiteral("8765-4321") << QStringLiteral("87654321");
        QTest::newRow("nothing") << QStringLiteral("未知") << QString();
    }
    void lookupNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(QString, looked);
        QCOMPARE(lookupNumber(typed), looked);
    }
};

QTEST_APPLESS_MAIN(TestNumberDigits)
#include "test_numberdigits.moc"
