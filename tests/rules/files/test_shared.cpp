#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/statements/query.h"
#include "rules/statements/statementtext.h"
#include "rules/calls/randomgen.h"
#include "rules/files/textfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class TestShared : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString path(const QString& name) const { return dir_.filePath(name); }
    void writeRaw(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readRaw(const QString& name)
    {
        QFile f(path(name));
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }

private slots:
    void randomSequences_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("below 27316") << 27316 << QList<int>{0, 857, 23520, 5533, 7455};
        QTest::newRow("below 10") << 10 << QList<int>{0, 0, 8, 2, 2, 6, 3, 1};
    }
    void randomSequences()
    {
        QFETCH(int, n);
        QFETCH(QList<int>, expected);
        RandomGen gen;
        QList<int> got;
        for (qsizetype i = 0; i < expected.size(); ++i)
            got << gen.below(n);
        QCOMPARE(got, expected);
    }

    void randomSeedCarriesTheState()
    {
        RandomGen a;
        a.below(10);
        a.below(10);
        QCOMPARE(a.seed(), 1u * 134775813u + 1u);  // two steps from 0

        RandomGen b(a.seed());
        RandomGen c;
        c.setSeed(a.seed());
        const int next = a.below(27316);
        QCOMPARE(next, 23520);
        QCOMPARE(b.below(27316), next);
        QCOMPARE(c.below(27316), next);
    }

    void randomStaysInRange()
    {
        RandomGen gen(0xFFFFFFFFu);
        for (int i = 0; i < 1000; ++i) {
            QCOMPARE(gen.below(1), 0);
            const int big = gen.below(std::numeric_limits<int>::max());
            QVERIFY(big >= 0 && big < std::numeric_limits<int>::max());
        }
    }

    void programRandomIsOneSharedGenerator()
    {
        QCOMPARE(&programRandom(), &programRandom());
        programRandom().setSeed(0);
        QCOMPARE(programRandom().below(27316), 0);
        QCOMPARE(programRandom().below(27316), 857);
    }

    void gbkConversion()
    {
        QCOMPARE(toGbk(QStringLiteral("中文")), QByteArray("\xD6\xD0\xCE\xC4"));
        QCOMPARE(fromGbk(QByteArray("\xD6\xD0\xCE\xC4")), QStringLiteral("中文"));
        QCOMPARE(toGbk(QStringLiteral("ab 12")), QByteArray("ab 12"));
        // Length in bytes is what fixed-width fields count.
        QCOMPARE(toGbk(QStringLiteral("来电a")).size(), 5);
        // Not in GBK: one '?' per character, the rest still converted.
        QCOMPARE(toGbk(QStringLiteral("a한b😀中")), QByteArray("a?b?\xD6\xD0"));
        // Broken GBK input is not lost silently and does not swallow what follows.
        QCOMPARE(fromGbk(QByteArray("a\xFF" "b")), QStringLiteral("a\uFFFDb"));
        QCOMPARE(fromGbk(QByteArray("a\xD6")), QStringLiteral("a\uFFFD"));
    }

    void writeExactBytes()
    {
        writeTextLines(path("w.txt"), {QStringLiteral("甲"), QStringLiteral("ab"), QString()});
        QCOMPARE(readRaw("w.txt"), QByteArray("\xBC\xD7\r\nab\r\n\r\n"));

        writeTextLines(path("empty.txt"), {});
        QCOMPARE(readRaw("empty.txt"), QByteArray());

        // Rewriting replaces the old content entirely.
        writeTextLines(path("w.txt"), {QStringLiteral("x")});
        QCOMPARE(readRaw("w.txt"), QByteArray("x\r\n"));
    }

    void writeThenReadRoundTrip()
    {
        const QStringList lines{QStringLiteral("客户数据"), QString(), QStringLiteral("  张三  "),
                                QStringLiteral("\t010-62345678"), QStringLiteral("北京市海淀区")};
        writeTextLines(path("rt.txt"), lines);
        QCOMPARE(readTextLines(path("rt.txt")), lines);
    }

    void readLineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing") << QByteArray() << QStringList{};
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << QStringList{"a", "b"};
        QTest::newRow("lone lf") << QByteArray("a\nb\n") << QStringList{"a", "b"};
        QTest::newRow("no final break") << QByteArray("a\r\nb") << QStringList{"a", "b"};
        QTest::newRow("mixed") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
        QTest::newRow("lf then cr is two breaks")
            << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
        QTest::newRow("empty middle line") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
        QTest::newRow("empty last line") << QByteArray("a\r\n\r\n") << QStringList{"a", ""};
        QTest::newRow("only a break") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("not trimmed") << QByteArray(" x \r\n\t\r\n  ") << QStringList{" x ", "\t", "  "};
        QTest::newRow("gbk") << QByteArray("\xD6\xD0\xCE\xC4\r\n\xBC\xD7")
                             << QStringList{QStringLiteral("中文"), QStringLiteral("甲")};
        QTest::newRow("utf-8 with byte-order mark")
            << QByteArray("\xEF\xBB\xBF" "13900001111\r\n\xE4\xB8\xAD\r\n")
            << QStringList{"13900001111", QStringLiteral("中")};
    }
    void readLineEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        writeRaw("r.txt", bytes);
        QCOMPARE(readTextLines(path("r.txt")), expected);
    }

    // A failure without a reason still reaches the operator in words.
    void aFailureWithoutReasonIsToldInWords()
    {
        QStringList told;
        errorreport::setSink([&](const QString& text) { told << text; });
        QVERIFY(!guarded([] { throw std::runtime_error(""); }));
        QVERIFY(!guarded([] { throw std::runtime_error("磁盘已满"); }));
        errorreport::setSink({});
        QCOMPARE(told.size(), 2);
        QVERIFY(!told[0].trimmed().isEmpty());
        QCOMPARE(told[1], QStringLiteral("磁盘已满"));
    }

    void fileErrors()
    {
        const QString missing = path("no-such-file.txt");
        try {
            readTextLines(missing);
            QFAIL("reading a missing file must throw");
        } catch (const FileError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("无法打开")), qPrintable(e.message()));
            QVERIFY(e.message().contains(QStringLiteral("no-such-file.txt")));
        }
        QVERIFY_THROWS_EXCEPTION(FileError, writeTextLines(path("no-dir/x.txt"), {"a"}));
        // A file is written beside the old one and renamed into place: the
        // old file is never truncated, whoever still has it open reads it whole.
        writeTextLines(path("set.txt"), {QStringLiteral("旧")});
        QFile old(path("set.txt"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        writeTextLines(path("set.txt"), {QStringLiteral("新的一行")});
        QCOMPARE(old.readAll(), toGbk(QStringLiteral("旧")) + "\r\n");
        QCOMPARE(readTextLines(path("set.txt")), QStringList{QStringLiteral("新的一行")});
        QCOMPARE(QDir(path("")).entryList(QStringList{"set.txt*"}, QDir::Files | QDir::Hidden).size(), 1);
        // It is a std::runtime_error, so the general error report shows it.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, readTextLines(missing));
    }

    void statementsFromPartsBindValuesAndQuoteNames()
    {
        Query q = Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true);
        QCOMPARE(q.render().sql, QStringLiteral("select * from \"客户数据\" order by ID desc"));
        q.columns = {QStringLiteral("ID"), QStringLiteral("所在 部门")};
        q.conditions = {{QStringLiteral("所在 部门"), QStringLiteral("like"), QStringLiteral("%1'%")},
                        {QStringLiteral("ID"), QStringLiteral(">"), 5}};
        const BoundStatement st = q.render();
        QCOMPARE(st.sql, QStringLiteral("select ID, \"所在 部门\" from \"客户数据\" where \"所在 部门\" like ? "
                                        "and ID > ? order by ID desc"));
        QCOMPARE(st.values, (QVariantList{QStringLiteral("%1'%"), 5}));
        // Written in, a value keeps its quotes doubled and its "%1" as typed.
        QCOMPARE(q.unordered().text(), QStringLiteral("select ID, \"所在 部门\" from \"客户数据\" where "
                                                      "\"所在 部门\" like '%1''%' and ID > 5"));
    }

    // A plain ASCII name goes in bare, so that a server folds ID and EMAIL to
    // the id and email it created; keywords and every other name are quoted.
    void namesQuotedOnlyWhereABareNameWouldBeReadOtherwise()
    {
        for (const char* bare : {"ID", "email", "QQ", "msn", "col_2", "_x"})
            QCOMPARE(quotedIdentifier(QString::fromLatin1(bare)), QString::fromLatin1(bare));
        QCOMPARE(quotedIdentifier(QStringLiteral("order")), QStringLiteral("\"order\""));
        QCOMPARE(quotedIdentifier(QStringLiteral("User")), QStringLiteral("\"User\""));
        QCOMPARE(quotedIdentifier(QStringLiteral("2nd")), QStringLiteral("\"2nd\""));
        QCOMPARE(quotedIdentifier(QStringLiteral("a-b")), QStringLiteral("\"a-b\""));
        QCOMPARE(quotedIdentifier(QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
        QCOMPARE(quotedIdentifier(QStringLiteral("联系人")), QStringLiteral("\"联系人\""));
        QCOMPARE(quotedIdentifier(QString()), QStringLiteral("\"\""));
    }

    void programFolderEndsWithSlash()
    {
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath() + "/");
        setProgramFolder(QStringLiteral("/tmp/prog"));
        QCOMPARE(programFolder(), QStringLiteral("/tmp/prog/"));
        setProgramFolder(QStringLiteral("/tmp/prog2/"));
        QCOMPARE(programFolder(), QStringLiteral("/tmp/prog2/"));
        setProgramFolder(QString());
        QCOMPARE(programFolder(), QCoreApplication::applicationDirPath() + "/");
    }
};

QTEST_GUILESS_MAIN(TestShared)
#include "test_shared.moc"
