// The .xls writer, read back with freexl, with Gnumeric's converter (an
// independent reader: scripts/setup.sh installs it) and, for the flags of
// text cells, byte by byte.

#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include "rules/formats/xlswriter.h"
#include "rules/formats/xlsread.h"

namespace {

quint16 le16(const QByteArray& b, qsizetype at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 le32(const QByteArray& b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }

struct TextCell {
    bool wide;  // the high-byte flag: two bytes a character
    QString text;
};

// The text cells stored outside the shared table (LABEL records) of a
// workbook written by this writer, whose workbook stream lies in one run of
// sectors.
QList<TextCell> labelCells(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray file = f.readAll();
    const qsizetype dir = 512 + qsizetype(le32(file, 48)) * 512;
    const qsizetype start = 512 + qsizetype(le32(file, dir + 128 + 116)) * 512;
    const QByteArray stream = file.mid(start, le32(file, dir + 128 + 120));
    QList<TextCell> cells;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const quint16 type = le16(stream, at), length = le16(stream, at + 2);
        if (type == 0 && length == 0)
            break;  // the padding after the last sheet
        if (type == 0x0204) {
            const QByteArray d = stream.mid(at + 4, length);
            const quint16 n = le16(d, 6);
            const bool wide = d[8] & 1;
            cells.append({wide, wide ? QString::fromUtf16(reinterpret_cast<const char16_t*>(d.constData() + 9), n)
                                     : QString::fromLatin1(d.constData() + 9, n)});
        }
        at += 4 + length;
    }
    return cells;
}

}  // namespace

class TestXlsWriter : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void cellsComeBackAsWritten();
    void manyStringsCrossRecordBoundaries();
    void textRowsShareTheirStrings();
    void textsPastTheSharedTableKeepTheirCells();
    void lettersPastTheSharedTableAreStoredWide();
    void rowsPastTheSheetLimitContinue();
    void emptyWorkbooksAreValid();
    void failureIsReported();
    void gnumericReadsTheSameCells();
};

void TestXlsWriter::cellsComeBackAsWritten()
{
    const QString longAscii = QString(300, QLatin1Char('x')) + QStringLiteral("end");
    QString longChinese;
    for (int i = 0; i < 6000; ++i)  // 12,000 bytes: split over two records
        longChinese += QChar(0x4E00 + i % 500);
    xls::Sheet s{QStringLiteral("客户数据"),
                 {{QStringLiteral("联系人"), QStringLiteral("电话"), QStringLiteral("事项")},
                  {QStringLiteral("张三"), QStringLiteral("010-12345678"), QVariant()},
                  {QString(), QStringLiteral("Ünïcödé"), longAscii},
                  {QStringLiteral("李四"), 42.5, longChinese},
                  {QStringLiteral("张三"), qint64(7), QStringLiteral("张三")}}};
    xls::Sheet second{QStringLiteral("a/b:c"), {{QStringLiteral("x")}}};
    QString error;
    QVERIFY2(xls::writeWorkbook(file("a.xls"), {s, second}, &error), qPrintable(error));

    const auto read = xlsread::readXls(file("a.xls"));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].name, QStringLiteral("客户数据"));
    QCOMPARE(read[1].name, QStringLiteral("a_b_c"));  // characters a sheet name cannot hold
    QCOMPARE(read[0].rows.size(), 5);
    QCOMPARE(read[0].rows[0], (QStringList{"联系人", "电话", "事项"}));
    QCOMPARE(read[0].rows[1], (QStringList{"张三", "010-12345678", ""}));
    QCOMPARE(read[0].rows[2], (QStringList{"", "Ünïcödé", longAscii}));
    QCOMPARE(read[0].rows[3], (QStringList{"李四", "42.5", longChinese}));
    QCOMPARE(read[0].rows[4], (QStringList{"张三", "7", "张三"}));
    QCOMPARE(read[1].rows, (QList<QStringList>{{"x"}}));
}

void TestXlsWriter::manyStringsCrossRecordBoundaries()
{
    // Thousands of distinct texts of odd lengths, wide and narrow mixed, so
    // that strings and headers fall on every kind of record edge.
    xls::Sheet s{QStringLiteral("S"), {{QStringLiteral("a"), QStringLiteral("b")}}};
    for (int i = 0; i < 6000; ++i) {
        QString a = QString::number(i) + QString(i % 37, QLatin1Char('q'));
        QString b = QStringLiteral("客") + QString(i % 23, QChar(0x5BA2)) + QString::number(i);
        s.rows.append({a, b});
    }
    QString error;
    QVERIFY2(xls::writeWorkbook(file("many.xls"), {s}, &error), qPrintable(error));
    const auto read = xlsread::readXls(file("many.xls"));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].rows.size(), s.rows.size());
    for (int r = 0; r < s.rows.size(); ++r)
        QCOMPARE(read[0].rows[r], (QStringList{s.rows[r][0].toString(), s.rows[r][1].toString()}));
}

void TestXlsWriter::textRowsShareTheirStrings()
{
    // Rows of texts as the export writes them: a text new to the table twice
    // in one row, texts seen rows before, the table growing in the middle of
    // a row, and long texts (one over 8,224 bytes) between short ones.
    xls::WorkbookWriter w;
    w.beginSheet(QStringLiteral("客户"), QVariantList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                                     QStringLiteral("d")});
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i) {
        const QString fresh = QStringLiteral("客户%1").arg(i);
        QString c = QString::number(i % 40);
        if (i % 500 == 7)
            c = QString(5000 + i, QChar(0x4E00 + i % 300));
        rows.append({fresh, fresh, c, i % 3 ? QStringLiteral("q%1").arg(i % 11) : QString()});
    }
    for (const QStringList& r : rows)
        w.addTextRow(r);
    QString error;
    QVERIFY2(w.save(file("text.xls"), &error), qPrintable(error));
    // (freexl 1.0.6 fails on several texts this long; Gnumeric reads them.)
    const QStringList read = xlsread::readByGnumeric(file("text.xls"), file("text.csv")).split(QLatin1Char('\n'));
    QCOMPARE(read.size(), rows.size() + 1);
    QCOMPARE(read[0], QStringLiteral("a,b,c,d"));
    for (qsizetype r = 0; r < rows.size(); ++r)
        QCOMPARE(read[r + 1], rows[r].join(QLatin1Char(',')));

    // Each distinct text once in the table: its count of cells and of texts.
    QFile f(file("text.xls"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const qsizetype sst = bytes.indexOf(QByteArray::fromHex("fc00"));
    QVERIFY(sst > 0);
    QSet<QString> distinct{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
    qint64 cells = 4;
    for (const QStringList& r : rows)
        for (const QString& t : r)
            if (!t.isEmpty()) {
                distinct.insert(t);
                ++cells;
            }
    QCOMPARE(le32(bytes, sst + 4), quint32(cells));
    QCOMPARE(le32(bytes, sst + 8), quint32(distinct.size()));
}

void TestXlsWriter::textsPastTheSharedTableKeepTheirCells()
{
    // With room for three shared texts the others stand in their cells
    // (all but the long one, which the table takes all the same).
    xls::WorkbookWriter w;
    w.setSharedStringLimit(3);
    const QString longText = QString(300, QChar(0x5BA2));
    const QList<QStringList> rows{{"a", "b", "c"}, {"a", "张三", "d"}, {longText, "c", "Ü"}, {"李四", "李四", ""}};
    w.beginSheet(QStringLiteral("S"), QVariantList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    for (qsizetype r = 1; r < rows.size(); ++r)
        w.addTextRow(rows[r]);
    QString error;
    QVERIFY2(w.save(file("label.xls"), &error), qPrintable(error));
    const auto read = xlsread::readXls(file("label.xls"));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].rows, rows);
}

void TestXlsWriter::rowsPastTheSheetLimitContinue()
{
    // 70,000 rows: a second sheet with the header again, and a file large
    // enough (> 7 MB) to need the extra FAT index sectors.  (freexl 1.0.6
    // gives up on workbooks over about 25 MB, which Gnumeric still reads,
    // so the rows stay narrow here.)
    const int columns = 10, data = 70000;
    xls::WorkbookWriter w;
    QVariantList header;
    for (int c = 0; c < columns; ++c)
        header.append(QStringLiteral("列%1").arg(c));
    w.beginSheet(QStringLiteral("客户"), header);
    for (int r = 0; r < data; ++r) {
        QVariantList row;
        for (int c = 0; c < columns; ++c)
            row.append(QStringLiteral("%1-%2").arg(r).arg(c));
        w.addRow(row);
    }
    QCOMPARE(w.sheetCount(), 2);
    QString error;
    QVERIFY2(w.save(file("big.xls"), &error), qPrintable(error));
    QVERIFY(QFileInfo(file("big.xls")).size() > 109 * 128 * 512);

    const auto read = xlsread::readXls(file("big.xls"));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[0].name, QStringLiteral("客户"));
    QCOMPARE(read[1].name, QStringLiteral("客户(2)"));
    QCOMPARE(read[0].rows.size(), xls::kMaxRows);
    QCOMPARE(read[1].rows.size(), 1 + data - (xls::kMaxRows - 1));
    QCOMPARE(read[1].rows[0].first(), QStringLiteral("列0"));
    QCOMPARE(read[0].rows.last().last(), QStringLiteral("65534-9"));
    QCOMPARE(read[1].rows[1].first(), QStringLiteral("65535-0"));
    QCOMPARE(read[1].rows.last().last(), QStringLiteral("69999-9"));
}

void TestXlsWriter::emptyWorkbooksAreValid()
{
    QString error;
    QVERIFY2(xls::writeWorkbook(file("none.xls"), {}, &error), qPrintable(error));
    auto read = xlsread::readXls(file("none.xls"));
    QCOMPARE(read.size(), 1);
    QVERIFY(read[0].rows.isEmpty());

    // An empty column list: rows without cells.
    QVERIFY(xls::writeWorkbook(file("nocols.xls"), {{QStringLiteral("S"), {{}, {}, {}}}}, &error));
    read = xlsread::readXls(file("nocols.xls"));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].columns, 0);
}

void TestXlsWriter::failureIsReported()
{
    QString error;
    QVERIFY(!xls::writeWorkbook(file("no/such/folder/x.xls"), {{QStringLiteral("S"), {{1.0}}}}, &error));
    QVERIFY(error.contains(QStringLiteral("x.xls")));

    QVariantList wide;
    for (int c = 0; c <= xls::kMaxColumns; ++c)
        wide.append(c);
    error.clear();
    QVERIFY(!xls::writeWorkbook(file("wide.xls"), {{QStringLiteral("S"), {wide}}}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(file("wide.xls")));
}

void TestXlsWriter::lettersPastTheSharedTableAreStoredWide()
{
    // Past the shared table a text stands in its cell.  One-byte characters
    // there are read in the workbook's code page by some readers (Gnumeric:
    // "Ünïcödé" becomes "躰颿鰀"), so letters past ASCII go in two bytes.
    xls::WorkbookWriter w;
    w.setSharedStringLimit(1);
    w.beginSheet(QStringLiteral("S"), QVariantList{QStringLiteral("head")});
    const QStringList texts{QStringLiteral("Ünïcödé"), QStringLiteral("plain"), QStringLiteral("张三"),
                            QStringLiteral("café ÿ")};
    for (const QString& t : texts)
        w.addTextRow({t});
    QString error;
    QVERIFY2(w.save(file("latin.xls"), &error), qPrintable(error));

    const QList<TextCell> cells = labelCells(file("latin.xls"));
    QCOMPARE(cells.size(), texts.size());
    for (qsizetype i = 0; i < cells.size(); ++i) {
        QCOMPARE(cells[i].text, texts[i]);
        bool ascii = true;
        for (QChar c : texts[i])
            ascii = ascii && c.unicode() < 0x80;
        QVERIFY2(cells[i].wide == !ascii, qPrintable(texts[i]));
    }
    QCOMPARE(xlsread::readXls(file("latin.xls"))[0].rows,
             (QList<QStringList>{{"head"}, {texts[0]}, {texts[1]}, {texts[2]}, {texts[3]}}));
}

void TestXlsWriter::gnumericReadsTheSameCells()
{
    // Latin letters both in the shared table and, past its end, in their
    // cells; Chinese texts and plain ones as well.
    xls::WorkbookWriter w;
    w.setSharedStringLimit(4);
    w.beginSheet(QStringLiteral("客户"), QVariantList{QStringLiteral("联系人"), QStringLiteral("地址")});
    w.addTextRow({QStringLiteral("Ünïcödé"), QStringLiteral("王五")});
    w.addTextRow({QStringLiteral("王五"), QStringLiteral("北京市海淀区")});
    w.addTextRow({QString(), QStringLiteral("plain")});
    w.addTextRow({QStringLiteral("Ärger"), QStringLiteral("Ünïcödé")});
    QString error;
    QVERIFY2(w.save(file("g.xls"), &error), qPrintable(error));
    QCOMPARE(xlsread::readByGnumeric(file("g.xls"), file("g.csv")),
             QStringLiteral("联系人,地址\nÜnïcödé,王五\n王五,北京市海淀区\n,plain\nÄrger,Ünïcödé"));
}

QTEST_GUILESS_MAIN(TestXlsWriter)
#include "test_xlswriter.moc"
