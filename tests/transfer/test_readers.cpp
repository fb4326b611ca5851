// The table readers over real files: workbooks made by LibreOffice, the
// sample Access databases, text files in UTF-8 and GBK, and damaged files.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "transfer/tablereader.h"

namespace {

QString fixture(const QString& name) { return QStringLiteral(TRANSFER_FIXTURES "/") + name; }
QString accessFixture(const QString& name) { return QStringLiteral(ACCESS_FIXTURES "/") + name; }

QList<QVariantList> allRows(TableReader& r, const QString& table, bool* ok = nullptr)
{
    QList<QVariantList> rows;
    const bool good = r.readRows(table, [&](const QVariantList& row) {
        rows << row;
        return true;
    });
    if (ok)
        *ok = good;
    return rows;
}

// Writes the first `bytes` bytes of a file (all when negative) or a text.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

}  // namespace

class TestReaders : public QObject {
    Q_OBJECT
private slots:
    void workbook_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << fixture(QStringLiteral("book.xls"));
        QTest::newRow("xlsx") << fixture(QStringLiteral("book.xlsx"));
    }

    // Both kinds of workbook give the same sheets, names, counts and typed values.
    void workbook()
    {
        QFETCH(QString, file);
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->tableNames(), (QStringList{"客户资料$", "空表$", "宽 表$"}));
        QCOMPARE(r->columnNames("客户资料$"),
                 (QStringList{"联系人", "电话", "手机", "公司名称", "地址", "email", "邮编", "建档日期", "备注"}));
        QCOMPARE(r->rowCount("客户资料$"), 5);
        const auto rows = allRows(*r, "客户资料$");
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0][0].toString(), QStringLiteral("张三"));
        QCOMPARE(rows[0][1].toString(), QStringLiteral("010-88886666"));
        QCOMPARE(rows[0][2].toDouble(), 13800138000.0);  // a number, not a text
        QVERIFY(rows[0][2].typeId() != QMetaType::QString);
        QCOMPARE(rows[0][7].toDate(), QDate(2023, 5, 17));
        QVERIFY(rows[1][1].isNull());  // empty cell
        QVERIFY(rows[2][0].isNull());
        QCOMPARE(rows[2][8].toString(), QStringLiteral("只有备注"));
        QCOMPARE(rows[4][2].toDouble(), 2.5);
        for (const auto& row : rows)
            QCOMPARE(row.size(), 9);

        QCOMPARE(r->rowCount("空表$"), 0);
        QVERIFY(allRows(*r, "空表$").isEmpty());

        const QStringList wide = r->columnNames("宽 表$");
        QCOMPARE(wide.size(), 75);
        QCOMPARE(wide.last(), QStringLiteral("列75"));
        const auto wideRows = allRows(*r, "宽 表$");
        QCOMPARE(wideRows.size(), 2);
        QCOMPARE(wideRows[1][74].toString(), QStringLiteral("乙75"));

        // Stopping early hands out no further rows.
        int seen = 0;
        QVERIFY(r->readRows("客户资料$", [&](const QVariantList&) { return ++seen < 2; }));
        QCOMPARE(seen, 2);
        QVERIFY(!r->readRows("没有$", [](const QVariantList&) { return true; }));
        QVERIFY(!r->error().isEmpty());
    }

    void csvEncodings()
    {
        for (const QString& name : {QStringLiteral("utf8.csv"), QStringLiteral("gbk.csv")}) {
            QString error;
            auto r = openTableReader(fixture(name), &error);
            QVERIFY2(r, qPrintable(error));
            QCOMPARE(r->tableNames(), QStringList{name});
            QCOMPARE(r->columnNames(name), (QStringList{"联系人", "电话", "备注"}));
            QCOMPARE(r->rowCount(name), 3);
            const auto rows = allRows(*r, name);
            QCOMPARE(rows.size(), 3);
            QCOMPARE(rows[0][2].toString(), QStringLiteral("带,逗号"));
            QCOMPARE(rows[1][0].toString(), QStringLiteral("李\"四"));
            QVERIFY(rows[1][1].isNull());
            QCOMPARE(rows[1][2].toString(), QStringLiteral("两\r\n行"));
            QCOMPARE(rows[2][0].toString(), QStringLiteral("王五"));
        }
    }

    void accessJet4()
    {
        const QString file = accessFixture(QStringLiteral("DateTestDatabase.mdb"));
        if (!QFile::exists(file))
            QSKIP("the sample Access databases (shared/fixtures beside the repository) are absent");
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->tableNames(), QStringList{"DateTest"});  // no system tables
        QCOMPARE(r->columnNames("DateTest"),
                 (QStringList{"IDCol", "DateTimeCol", "DateCol", "TimeCol", "LongTextCol", "ShortTextCol"}));
        QCOMPARE(r->rowCount("DateTest"), 6);
        const auto rows = allRows(*r, "DateTest");
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows[0][0].typeId(), QMetaType::LongLong);
        QCOMPARE(rows[0][0].toLongLong(), 1);
        QCOMPARE(rows[0][1].toDate(), QDate(2021, 12, 2));
        QCOMPARE(rows[1][1].toDate().year(), 9999);
        QVERIFY(rows[2][1].toDate().year() < 1900);
        QVERIFY(rows[3][1].toDate().year() < 1000);
        QCOMPARE(rows[0][4].toString(), QStringLiteral("Hello"));
        QCOMPARE(rows[5][4].toString(), QStringLiteral("New line\r\nin field"));
    }

    void accessAce()
    {
        const QString file = accessFixture(QStringLiteral("ASampleDatabase.accdb"));
        if (!QFile::exists(file))
            QSKIP("the sample Access databases (shared/fixtures beside the repository) are absent");
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->tableNames(), QStringList{"Asset Items"});
        const QStringList cols = r->columnNames("Asset Items");
        QCOMPARE(cols.size(), 13);
        QCOMPARE(cols.first(), QStringLiteral("Asset No"));
        QCOMPARE(r->rowCount("Asset Items"), 65);
        const auto rows = allRows(*r, "Asset Items");
        QCOMPARE(rows.size(), 65);
        QCOMPARE(rows[0][0].toString(), QStringLiteral("30050"));
        QCOMPARE(rows[0][7].toDate(), QDate(1997, 9, 2));
        QCOMPARE(rows[0][8].toDouble(), 1995.5);
        QCOMPARE(rows[0][9].toLongLong(), 12);
        QVERIFY(rows[0][12].isNull());
    }

    // Damaged, disguised and missing files: a Chinese message, no reader.
    void badFiles()
    {
        QTemporaryDir dir;
        QStringList bad;
        const QByteArray xls = readAll(fixture(QStringLiteral("book.xls")));
        const QByteArray xlsx = readAll(fixture(QStringLiteral("book.xlsx")));
        bad << writeFile(dir, "half.xls", xls.left(xls.size() / 2))
            << writeFile(dir, "head.xls", xls.left(600))
            << writeFile(dir, "text.xls", "联系人,电话\r\n张三,1\r\n")
            << writeFile(dir, "empty.xls", "")
            << writeFile(dir, "half.xlsx", xlsx.left(xlsx.size() / 2))
            << writeFile(dir, "text.xlsx", "not a workbook")
            << writeFile(dir, "text.mdb", "not a database at all, just words\r\n")
            << writeFile(dir, "nul.csv", QByteArray("a,b\0\0\1\2", 8))
            << dir.filePath("missing.xls") << dir.filePath("book.doc");
        const QString mdb = accessFixture(QStringLiteral("DateTestDatabase.mdb"));
        if (QFile::exists(mdb)) {
            const QByteArray bytes = readAll(mdb);
            bad << writeFile(dir, "half.mdb", bytes.left(bytes.size() / 2 + 100))
                << writeFile(dir, "page.mdb", bytes.left(4096))
                << writeFile(dir, "pages.mdb", bytes.left(20 * 4096));
        }
        for (const QString& path : bad) {
            QString error;
            auto r = openTableReader(path, &error);
            if (r) {
                // Opened after all: reading must then fail cleanly, not crash.
                bool ok = true;
                for (const QString& t : r->tableNames())
                    allRows(*r, t, &ok);
                QVERIFY2(!ok || r->tableNames().isEmpty(), qPrintable(path));
                continue;
            }
            QVERIFY2(!error.isEmpty(), qPrintable(path));
            QVERIFY2(error.contains(QDir::toNativeSeparators(path)) || error.contains("类型"), qPrintable(error));
        }
        // A workbook with an opening password (made by LibreOffice) is named so.
        QString pwError;
        QVERIFY(!openTableReader(fixture(QStringLiteral("password.xls")), &pwError));
        QVERIFY2(pwError.contains("密码"), qPrintable(pwError));

        // A workbook under the wrong extension is named for what it is.
        QString error;
        QVERIFY(!openTableReader(writeFile(dir, "new.xls", xlsx), &error));
        QVERIFY2(error.contains(".xlsx"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestReaders)
#include "test_readers.moc"
