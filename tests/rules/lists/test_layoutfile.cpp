// The layout file format, the width rule and the list search statements.

#include <QRandomGenerator>
#include <QtTest>

#include "rules/lists/layoutfile.h"
#include "rules/lists/listsearch.h"

using layoutfile::Column;

namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(QByteArray(text)); }

QByteArray name(const char* n) { return char(qstrlen(n)) + QByteArray(n); }

// The file of the two example columns, assembled field by field.
QByteArray exampleFile()
{
    QByteArray f("TPF0");
    f += char(15) + QByteArray("TColumnsWrapper");
    f += char(0);
    f += name("Columns") + hex("0e");
    // ID, width 50
    f += hex("01") + name("Expanded") + hex("08") + name("FieldName") + hex("06") + name("ID") +
         name("Width") + hex("0232") + name("Visible") + hex("09") + hex("00");
    // 联系人, no width
    f += hex("01") + name("Expanded") + hex("08") + name("FieldName") +
         hex("12030000005480fb7cba4e") + name("Visible") + hex("09") + hex("00");
    f += hex("000000");
    return f;
}

const QVector<Column> kExample = {{QStringLiteral("ID"), 50}, {QStringLiteral("联系人"), -1}};

}  // namespace

class TestLayoutFile : public QObject {
    Q_OBJECT
private slots:
    void wholeFileMatchesFieldByField()
    {
        QCOMPARE(layoutfile::write(kExample), exampleFile());
        QVector<Column> back;
        QString error;
        QVERIFY2(layoutfile::read(exampleFile(), &back, &error), qPrintable(error));
        QCOMPARE(back, kExample);
    }

    void emptyLayoutIs33Bytes()
    {
        const QByteArray f = layoutfile::write({});
        QCOMPARE(f.size(), 33);
        QCOMPARE(f, QByteArray("TPF0\x0fTColumnsWrapper\x00\x07"
                               "Columns\x0e\x00\x00\x00",
                               33));
        QVector<Column> back{{QStringLiteral("x"), 1}};
        QVERIFY(layoutfile::read(f, &back, nullptr));
        QVERIFY(back.isEmpty());
    }

    void stringTags_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("ascii") << "ID" << hex("06024944");
        QTest::newRow("ascii 256") << QString(256, QLatin1Char('a'))
                                   << hex("0c00010000") + QByteArray(256, 'a');
        QTest::newRow("chinese") << "分类1" << hex("120300000006527b7c3100");
        QTest::newRow("mostly ascii") << "Name名" << hex("1407000000") + QByteArray("Name名");
        QTest::newRow("empty") << "" << hex("1200000000");
    }
    void stringTags()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, encoded);
        QCOMPARE(layoutfile::encodeString(text), encoded);
        // Each form reads back as the same name.
        const QVector<Column> cols{{text, -1}};
        QVector<Column> back;
        QVERIFY(layoutfile::read(layoutfile::write(cols), &back, nullptr));
        QCOMPARE(back, cols);
    }

    void smallestIntegerTag()
    {
        QCOMPARE(layoutfile::encodeInteger(127), hex("027f"));
        QCOMPARE(layoutfile::encodeInteger(-128), hex("0280"));
        QCOMPARE(layoutfile::encodeInteger(128), hex("038000"));
        QCOMPARE(layoutfile::encodeInteger(-32768), hex("030080"));
        QCOMPARE(layoutfile::encodeInteger(32768), hex("0400800000"));
        const QVector<Column> cols{{QStringLiteral("a"), 0}, {QStringLiteral("b"), 300},
                                   {QStringLiteral("c"), 70000}};
        QVector<Column> back;
        QVERIFY(layoutfile::read(layoutfile::write(cols), &back, nullptr));
        QCOMPARE(back, cols);
    }

    void shortStringReadAsGbk()
    {
        // 0x06 "联系" in GBK bytes (c1aa cfb5)
        QByteArray f = exampleFile();
        const QByteArray wide = hex("12030000005480fb7cba4e");
        f.replace(wide, hex("0604c1aacfb5"));
        QVector<Column> back;
        QVERIFY(layoutfile::read(f, &back, nullptr));
        QCOMPARE(back[1].fieldName, QStringLiteral("联系"));
    }

    void everyTruncationFails()
    {
        const QByteArray f = exampleFile();
        for (int n = 0; n < f.size(); ++n) {
            QVector<Column> back{{QStringLiteral("keep"), 7}};
            QString error;
            QVERIFY2(!layoutfile::read(f.left(n), &back, &error), qPrintable(QString::number(n)));
            QVERIFY(!error.isEmpty());
            QCOMPARE(back.size(), 1);  // untouched
        }
        QVERIFY(!layoutfile::read(f + '\0', nullptr, nullptr));  // bytes after the end
    }

    void faultsAreErrors()
    {
        QByteArray f = exampleFile();
        f[0] = 'X';
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
        f = exampleFile();
        f.replace("Width", "Wodth");  // unknown property
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
        f = exampleFile();
        f.replace(hex("0232"), hex("0a32"));  // unknown value tag
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
        // An absurd length is refused without allocating it.
        f = exampleFile();
        f.replace(hex("1203000000"), hex("12ffffff7f"));
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
        f.replace(hex("12ffffff7f"), hex("14ffffffff"));
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
        // An item is its property list and nothing else: no index, in any
        // integer form, stands before it.
        for (const char* index : {"0200", "03ff00", "0400000000"}) {
            f = exampleFile();
            f.insert(30, hex(index));
            QVERIFY2(!layoutfile::read(f, nullptr, nullptr), index);
        }
        f = exampleFile();
        const qsizetype second = f.indexOf(hex("01") + name("Expanded"), 31);
        QVERIFY(second > 31);
        f.insert(second, hex("0201"));
        QVERIFY(!layoutfile::read(f, nullptr, nullptr));
    }

    void mutatedFilesNeverCrash()
    {
        QRandomGenerator rng(20261208);
        const QByteArray base = layoutfile::write(
            {{QStringLiteral("ID"), 50}, {QStringLiteral("联系人"), -1}, {QStringLiteral("Name名"), 300},
             {QString(300, QLatin1Char('z')), 70000}});
        int accepted = 0;
        for (int i = 0; i < 5000; ++i) {
            QByteArray f = base;
            const int edits = 1 + int(rng.bounded(4));
            for (int e = 0; e < edits; ++e) {
                const int at = int(rng.bounded(quint32(f.size())));
                switch (rng.bounded(3)) {
                case 0: f[at] = char(rng.bounded(256)); break;
                case 1: f.remove(at, 1 + int(rng.bounded(4))); break;
                default: f.insert(at, char(rng.bounded(256))); break;
                }
            }
            QVector<Column> back;
            QString error;
            if (layoutfile::read(f, &back, &error))
                ++accepted;
            else
                QVERIFY(back.isEmpty() && !error.isEmpty());
        }
        QVERIFY(accepted < 5000);
    }

    void fittedWidths()
    {
        using gridwidths::fitted;
        QCOMPARE(gridwidths::limit(300, 3), 100);
        QCOMPARE(gridwidths::limit(300, 2), 150);
        QCOMPARE(gridwidths::limit(5, 2), 2);  // 2.5 goes to the even 2
        QCOMPARE(gridwidths::limit(7, 2), 4);  // 3.5 goes to the even 4
        QCOMPARE(fitted(QStringLiteral("欧阳小明"), QStringLiteral("姓名"), 100), 64);
        QCOMPARE(fitted(QString(20, QLatin1Char('x')), QStringLiteral("QQ"), 100), 100);
        QCOMPARE(fitted(QString(20, QLatin1Char('x')), QStringLiteral("QQ"), 150), 150);
        QCOMPARE(fitted(QStringLiteral("a"), QStringLiteral("b"), 100), 32);
        QCOMPARE(fitted(QString(), QStringLiteral("公司名称"), 100), 64);  // the name decides
    }

    void searchStatements()
    {
        using namespace listsearch;
        QCOMPARE(fieldSearch(QStringLiteral("来电数据"), QStringLiteral("QQ"), QStringLiteral("8888")),
                 QStringLiteral("select * from 来电数据 where QQ like '%8888%'"));
        // A telephone column: the text as typed, or its digits.
        QCOMPARE(fieldSearch(QStringLiteral("来电数据"), QStringLiteral("电话"), QStringLiteral("88-8'8")),
                 QStringLiteral("select * from 来电数据 where (电话 like '%88-8''8%' or phone_digits(电话) like '%8888%')"));
        QCOMPARE(fieldSearch(QStringLiteral("来电数据"), QStringLiteral("电话"), QStringLiteral("转")),
                 QStringLiteral("select * from 来电数据 where 电话 like '%转%'"));
        QCOMPARE(fieldSearch(QStringLiteral("客户数据"), QStringLiteral("联系人"), QStringLiteral("O'B_%")),
                 QStringLiteral("select * from 客户数据 where 联系人 like '%O''B_%%'"));
        QCOMPARE(dateSearch(2008, 3, 1), QStringLiteral("select * from 来电数据 where 日期='2008-3-1'"));
        QCOMPARE(dayText(2008, 12, 31), QStringLiteral("2008-12-31"));

        int i = 99;
        QCOMPARE(fieldChoiceLines(-1), QStringList{QStringLiteral("-1")});
        QVERIFY(parseFieldChoice({QStringLiteral("3"), QStringLiteral("x")}, &i));
        QCOMPARE(i, 3);
        QVERIFY(!parseFieldChoice({}, &i));
        QVERIFY(!parseFieldChoice({QStringLiteral("")}, &i));
        QVERIFY(!parseFieldChoice({QStringLiteral("two")}, &i));
        QCOMPARE(i, 3);
    }
};

QTEST_GUILESS_MAIN(TestLayoutFile)
#include "test_layoutfile.moc"
