// The .xlsx writer of the export, read back by the program's own reader, by
// the unzipped parts as XML, and by Gnumeric's converter (an independent
// reader).

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include "rules/formats/exportfile.h"
#include "rules/formats/tablereader.h"
#include "rules/formats/xlsread.h"
#include "rules/formats/xlsxbook.h"
#include "rules/transfer/spareprocessor.h"

namespace {

// Every table of the workbook through the program's reader: its name
// (without the "$") and its rows, the header first, each cell as text.
QList<QPair<QString, QList<QStringList>>> readBack(const QString& path)
{
    QList<QPair<QString, QList<QStringList>>> out;
    QString error;
    const auto reader = openTableReader(path, &error);
    if (!reader) {
        QTest::qFail(qPrintable(error), __FILE__, __LINE__);
        return out;
    }
    for (const QString& table : reader->tableNames()) {
        QList<QStringList> rows{reader->columnNames(table)};
        const bool ok = reader->readRows(table, [&rows](const QVariantList& r) {
            QStringList row;
            for (const QVariant& v : r)
                row << v.toString();
            rows << row;
            return true;
        });
        if (!ok)
            QTest::qFail(qPrintable(reader->error()), __FILE__, __LINE__);
        out.append({table.chopped(1), rows});
    }
    return out;
}

bool writeRows(const QString& path, const QString& sheet, const QStringList& header, const QList<QStringList>& rows,
               QString* error)
{
    const auto w = exportfile::makeWriter(exportfile::Format::Xlsx);
    if (!w->open(path, error))
        return false;
    w->beginSheet(sheet, header);
    for (const QStringList& r : rows)
        w->addRow(r);
    return w->finish(error);
}

QByteArray escaped(const QString& s)
{
    QByteArray b;
    xlsx::appendCellText(b, s);
    return b;
}

}  // namespace

class TestXlsxBook : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void cleanup() { spareprocessor::pretend(std::nullopt); }
    void textsThatXmlCannotCarryAsTheyAre();
    void cellsComeBackAsWritten_data();
    void cellsComeBackAsWritten();
    void gnumericReadsTheSameCells();
    void sheetNamesAWorksheetCanCarry();
    void rowsPastTheSheetLimitContinue();
    void failuresAreReported();
};

void TestXlsxBook::textsThatXmlCannotCarryAsTheyAre()
{
    QCOMPARE(escaped(QStringLiteral("a<b>&c\"'")), QByteArray("a&lt;b&gt;&amp;c\"'"));
    QCOMPARE(escaped(QStringLiteral("]]>")), QByteArray("]]&gt;"));
    // Tab and line feed stay; a carriage return would come back as a line
    // feed, the other control characters are no XML at all.
    QCOMPARE(escaped(QStringLiteral("a\tb\nc\rd")), QByteArray("a\tb\nc_x000D_d"));
    QCOMPARE(escaped(QString(QChar(0)) + QChar(0x1F) + QChar(0x0B)), QByteArray("_x0000__x001F__x000B_"));
    QCOMPARE(escaped(QString(QChar(0xFFFE))), QByteArray("_xFFFE_"));
    // A text that reads like an escape is guarded; others are not.
    QCOMPARE(escaped(QStringLiteral("_x0041_")), QByteArray("_x005F_x0041_"));
    QCOMPARE(escaped(QStringLiteral("_x00g1_ _x004 _X0041_ a_b")), QByteArray("_x00g1_ _x004 _X0041_ a_b"));
    QCOMPARE(escaped(QStringLiteral("张三 é 😀")), QStringLiteral("张三 é 😀").toUtf8());
    // Half a character outside the basic plane is no text: replaced.
    QCOMPARE(escaped(QString(QChar(0xD83D)) + QLatin1Char('x')), QByteArray("\xEF\xBF\xBDx"));
    QCOMPARE(escaped(QString(QChar(0xDE00))), QByteArray("\xEF\xBF\xBD"));

    // Texts as a database file holds them (UTF-8) come out as their
    // QString would; bytes that are no UTF-8 as Qt reads them.
    const QList<QByteArray> bytes{
        "a<b>&c\"'", "a\tb\nc\rd", QByteArray("\0\x1F\x0B\x7F", 4), "_x0041_", "_x00g1_ _x004 a_b_x0041",
        "\xE5\xBC\xA0\xE4\xB8\x89 \xC3\xA9 \xF0\x9F\x98\x80",  // 张三 é 😀
        "\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD",                         // U+FFFE, U+FFFF, U+FFFD
        "\xEF\xBB\xBFa",                                                 // a leading byte order mark
        "\xC3(", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80x", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",
        "\x80", "ab\xE5\xBC", "\xF0\x9F\x98", "\xFF\xFE"};
    for (const QByteArray& b : bytes) {
        QByteArray fromBytes;
        xlsx::appendCellText(fromBytes, QByteArrayView(b));
        QCOMPARE(fromBytes, escaped(QString::fromUtf8(b)));
    }
}

// Deflated on a thread of its own (a processor to spare) and as the XML
// comes (a busy machine).
void TestXlsxBook::cellsComeBackAsWritten_data()
{
    QTest::addColumn<bool>("spare");
    QTest::newRow("spare processor") << true;
    QTest::newRow("busy machine") << false;
}

void TestXlsxBook::cellsComeBackAsWritten()
{
    QFETCH(bool, spare);
    spareprocessor::pretend(spare);
    QString longText;
    for (int i = 0; i < exportfile::kCellTextLimit; ++i)
        longText += QChar(0x4E00 + i % 500);
    const QStringList header{"联系人", "电话", "备注"};
    const QList<QStringList> rows{
        {"张三", "010-12345678", "<b>&amp;</b> \"q\""},
        {"", "0012", "a\r\nb\tc"},
        {"  前后有空格 ", "\x01\x1F控制", "_x0041_ 与 _x"},
        {"😀", "", longText},
        {"", "", ""},  // a row without cells
        {"最后", "1e5", "=1+1"},
    };
    // Enough rows after them for the XML to go to the zip in several pieces.
    QList<QStringList> all = rows;
    for (int i = 0; i < 60000; ++i)
        all.append({QStringLiteral("客户%1").arg(i), QString::number(i), QString(i % 50, QLatin1Char('x'))});
    QString error;
    QVERIFY2(writeRows(file("a.xlsx"), QStringLiteral("客户数据"), header, all, &error), qPrintable(error));

    const auto read = readBack(file("a.xlsx"));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].first, QStringLiteral("客户数据"));
    QList<QStringList> want{header};
    want << all;
    QCOMPARE(read[0].second.size(), want.size());
    for (qsizetype r = 0; r < want.size(); ++r)
        QCOMPARE(read[0].second[r], want[r]);

    // Every part is well-formed XML.
    const auto raw = xlsread::readXlsx(file("a.xlsx"));
    QCOMPARE(raw.size(), 1);
    QCOMPARE(raw[0].rows.size(), want.size());
    QCOMPARE(raw[0].rows[1], (QStringList{"张三", "010-12345678", "<b>&amp;</b> \"q\""}));
    QCOMPARE(raw[0].rows[4][2].size(), exportfile::kCellTextLimit);
}

void TestXlsxBook::gnumericReadsTheSameCells()
{
    // (Gnumeric takes _xHHHH_ escapes as they stand, unlike Excel: none here.)
    QString error;
    QVERIFY2(writeRows(file("g.xlsx"), QStringLiteral("客户"), {"联系人", "地址"},
                       {{"Ünïcödé", "王五"}, {"", "a<b&c"}, {" x ", "😀"}, {"1,5", "x_y"}}, &error),
             qPrintable(error));
    QCOMPARE(xlsread::readByGnumeric(file("g.xlsx"), file("g.csv")),
             QStringLiteral("联系人,地址\nÜnïcödé,王五\n,a<b&c\n\" x \",😀\n\"1,5\",x_y"));
}

void TestXlsxBook::sheetNamesAWorksheetCanCarry()
{
    QCOMPARE(xlsx::sheetNameFor(QStringLiteral("a[b]:c*d?e/f\\g\th")), QStringLiteral("a_b__c_d_e_f_g_h"));
    QCOMPARE(xlsx::sheetNameFor(QStringLiteral("''x'")), QStringLiteral("x"));
    const QString emoji = QStringLiteral("😀");
    QCOMPARE(xlsx::sheetNameFor(QString(30, QLatin1Char('a')) + emoji), QString(30, QLatin1Char('a')));
    QCOMPARE(xlsx::sheetNameFor(QString(29, QLatin1Char('a')) + emoji + QLatin1Char('b')),
             QString(29, QLatin1Char('a')) + emoji);

    // A name used before (in any case) and no name at all become Sheet<n>.
    xlsx::BookWriter w;
    QString error;
    QVERIFY(w.open(file("names.xlsx"), &error));
    for (const QString& name : {QStringLiteral("客户"), QStringLiteral("A&B"), QStringLiteral("a&b"), QString()}) {
        w.beginSheet(name);
        w.addRow({name});
    }
    QVERIFY2(w.finish(&error), qPrintable(error));
    QStringList names;
    for (const auto& t : readBack(file("names.xlsx")))
        names << t.first;
    QCOMPARE(names, (QStringList{"客户", "A&B", "Sheet3", "Sheet4"}));
}

void TestXlsxBook::rowsPastTheSheetLimitContinue()
{
    // One row past a full worksheet: a second one, named after the first,
    // with the header again.
    const auto w = exportfile::makeWriter(exportfile::Format::Xlsx);
    QString error;
    QVERIFY(w->open(file("big.xlsx"), &error));
    w->beginSheet(QString(31, QLatin1Char('k')), {QStringLiteral("号")});
    const qint64 rows = xlsx::BookWriter::kMaxRows;  // with the header, one more than a sheet holds
    QStringList row{QString()};
    for (qint64 r = 0; r < rows; ++r) {
        row[0] = QString::number(r);
        w->addRow(row);
    }
    QVERIFY2(w->finish(&error), qPrintable(error));
    const auto read = readBack(file("big.xlsx"));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].first, QString(31, QLatin1Char('k')));
    QCOMPARE(read[1].first, QString(28, QLatin1Char('k')) + QStringLiteral("(2)"));
    QCOMPARE(read[0].second.size(), xlsx::BookWriter::kMaxRows);
    QCOMPARE(read[0].second.last(), QStringList{QString::number(rows - 2)});
    QCOMPARE(read[1].second, (QList<QStringList>{{QStringLiteral("号")}, {QString::number(rows - 1)}}));
}

void TestXlsxBook::failuresAreReported()
{
    QString error;
    auto w = exportfile::makeWriter(exportfile::Format::Xlsx);
    QVERIFY(!w->open(file("no/such/folder/x.xlsx"), &error));
    QVERIFY(error.contains(QStringLiteral("x.xlsx")));

    error.clear();
    w = exportfile::makeWriter(exportfile::Format::Xlsx);
    QVERIFY(w->open(file("wide.xlsx"), &error));
    w->beginSheet(QStringLiteral("S"), {});
    w->addRow(QStringList(xlsx::BookWriter::kMaxColumns + 1, QStringLiteral("x")));
    QVERIFY(!w->finish(&error));
    QVERIFY2(error.contains(QStringLiteral("16384")) && error.contains(QStringLiteral("wide.xlsx")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestXlsxBook)
#include "test_xlsxbook.moc"
