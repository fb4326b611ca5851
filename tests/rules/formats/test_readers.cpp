// The table readers over real files: workbooks made by LibreOffice, the
// sample Access databases, text files in UTF-8 and GBK, damaged files, and
// hostile files made here.
#include <zip.h>
#include <zlib.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "testdb.h"
#include "rules/formats/exportfile.h"
#include "rules/formats/readers.h"
#include "rules/formats/tablereader.h"
#include "rules/formats/xlswriter.h"

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

// Resident memory of this process: now, and at its peak since resetPeak().
long statusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(strlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

// A zip archive made entry by entry; an entry's content may come in pieces,
// so that a part of hundreds of MB never sits in memory.
class ZipWriter {
public:
    explicit ZipWriter(const QString& path) : zf_(zipOpen64(QFile::encodeName(path).constData(), 0)) {}
    ~ZipWriter() { zipClose(zf_, nullptr); }

    void add(const char* name, const std::function<bool(QByteArray*)>& next)
    {
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zf_, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1, 1);
        QByteArray chunk;
        while (next(&chunk))
            zipWriteInFileInZip(zf_, chunk.constData(), unsigned(chunk.size()));
        zipCloseFileInZip(zf_);
    }
    void add(const char* name, const QByteArray& content)
    {
        bool done = false;
        add(name, [&](QByteArray* chunk) {
            *chunk = content;
            return !std::exchange(done, true);
        });
    }
    // Stored as it is, with a CRC that does not match it.
    void addWithBadCrc(const char* name, const QByteArray& content)
    {
        zip_fileinfo info{};
        zipOpenNewFileInZip2(zf_, name, &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1);
        zipWriteInFileInZip(zf_, content.constData(), unsigned(content.size()));
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(content.constData()), uInt(content.size()));
        zipCloseFileInZipRaw(zf_, uLong(content.size()), crc ^ 0x5A5A);
    }

private:
    zipFile zf_;
};

// A workbook with one sheet "表1": its sheet part and shared texts as given.
struct XlsxParts {
    std::function<bool(QByteArray*)> sheet;
    std::function<bool(QByteArray*)> strings;  // none when empty
    bool badSheetCrc = false;
    bool badStringsCrc = false;
};

void writeXlsx(const QString& path, const XlsxParts& parts)
{
    ZipWriter z(path);
    z.add("[Content_Types].xml", QByteArray("<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                                            "package/2006/content-types\"/>"));
    QByteArray rels = "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                      "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                      "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    if (parts.strings)
        rels += "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                "relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    z.add("xl/_rels/workbook.xml.rels", rels + "</Relationships>");
    z.add("xl/workbook.xml",
          QByteArray("<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                     "main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                     "<sheets><sheet name=\"表1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"));
    auto whole = [](const std::function<bool(QByteArray*)>& next) {
        QByteArray all, chunk;
        while (next(&chunk))
            all += chunk;
        return all;
    };
    if (parts.badSheetCrc)
        z.addWithBadCrc("xl/worksheets/sheet1.xml", whole(parts.sheet));
    else
        z.add("xl/worksheets/sheet1.xml", parts.sheet);
    if (parts.strings) {
        if (parts.badStringsCrc)
            z.addWithBadCrc("xl/sharedStrings.xml", whole(parts.strings));
        else
            z.add("xl/sharedStrings.xml", parts.strings);
    }
}

// Pieces one after the other, then `repeat` times the middle piece.
std::function<bool(QByteArray*)> pieces(QByteArray head, QByteArray middle, qint64 repeat, QByteArray tail)
{
    auto step = std::make_shared<qint64>(-1);
    return [=](QByteArray* chunk) {
        const qint64 k = (*step)++;
        if (k < 0)
            *chunk = head;
        else if (k < repeat)
            *chunk = middle;
        else if (k == repeat)
            *chunk = tail;
        else
            return false;
        return true;
    };
}
std::function<bool(QByteArray*)> text(const QByteArray& t) { return pieces(t, {}, 0, {}); }

const QByteArray kSheetHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<worksheet xmlns=\"http://schemas.openxmlformats.org/"
    "spreadsheetml/2006/main\"><sheetData>";
const QByteArray kSheetTail = "</sheetData></worksheet>";

QByteArray inlineCell(const char* ref, const QByteArray& t)
{
    return QByteArray("<c r=\"") + ref + "\" t=\"inlineStr\"><is><t>" + t + "</t></is></c>";
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
        bad << writeFile(dir, "half%1.xls", xls.left(xls.size() / 2))
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

    // Whitespace between the tags of an inline string is layout (Gnumeric
    // writes it so); _xHHHH_ stands for a character, _x005F_ for "_".
    void xlsxTextAsExcelReadsIt()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("gnumeric.xlsx");
        writeXlsx(file, {text(kSheetHead +
                              "\n  <row r=\"1\">\n    <c r=\"A1\" t=\"inlineStr\">\n      <is>\n        <t>联系人</t>\n"
                              "      </is>\n    </c>\n    <c r=\"B1\" t=\"inlineStr\">\n      <is>\n"
                              "        <r><t>事</t></r>\n        <r><t xml:space=\"preserve\">项 </t></r>\n"
                              "      </is>\n    </c>\n    <c r=\"C1\" t=\"s\">\n      <v>0</v>\n    </c>\n  </row>\n"
                              "  <row r=\"2\">\n    " +
                              inlineCell("A2", "张_x000D_\n三") + "\n    " + inlineCell("B2", "a_x005F_x000D_b") +
                              "\n    <c r=\"C2\" t=\"s\">\n      <v>1</v>\n    </c>\n  </row>\n" + kSheetTail),
                         text("<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                              "<si>\n  <t>备注</t>\n  <rPh sb=\"0\" eb=\"1\"><t>ビコウ</t></rPh>\n</si>"
                              "<si><t>两_x000D_\n行_x0009_</t></si></sst>")});
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->columnNames("表1$"), (QStringList{"联系人", "事项 ", "备注"}));
        const auto rows = allRows(*r, "表1$");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][0].toString(), QStringLiteral("张\r\n三"));
        QCOMPARE(rows[0][1].toString(), QStringLiteral("a_x000D_b"));
        QCOMPARE(rows[0][2].toString(), QStringLiteral("两\r\n行\t"));

        // The program's own export writes a line break's CR as _x000D_.
        const QString own = dir.filePath("own.xlsx");
        auto w = exportfile::makeWriter(exportfile::Format::Xlsx);
        QVERIFY2(w->open(own, &error), qPrintable(error));
        w->beginSheet("客户", {"联系人", "事项"});
        w->addRow({"王五", "第一行\r\n第二行"});
        QVERIFY2(w->finish(&error), qPrintable(error));
        r = openTableReader(own, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(allRows(*r, "客户$").value(0).value(1).toString(), QStringLiteral("第一行\r\n第二行"));
    }

    // An entry whose CRC does not match its content is damaged, even when
    // the content is sound XML.
    void xlsxBadCrc()
    {
        QTemporaryDir dir;
        const QByteArray sheet = kSheetHead + "<row r=\"1\">" + inlineCell("A1", "联系人") + "</row><row r=\"2\">" +
                                 inlineCell("A2", "张三") + "</row>" + kSheetTail;
        const QString badSheet = dir.filePath("sheet.xlsx");
        writeXlsx(badSheet, {text(sheet), {}, true, false});
        QString error;
        auto r = openTableReader(badSheet, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->rowCount("表1$"), -1);
        QVERIFY2(r->error().contains("已损坏"), qPrintable(r->error()));
        bool ok = true;
        allRows(*r, "表1$", &ok);
        QVERIFY(!ok);

        const QString badStrings = dir.filePath("strings.xlsx");
        writeXlsx(badStrings, {text(kSheetHead + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + kSheetTail),
                               text("<sst><si><t>联系人</t></si></sst>"), false, true});
        QVERIFY(!openTableReader(badStrings, &error));
        QVERIFY2(error.contains("已损坏"), qPrintable(error));
    }

    // A cell naming a shared text the file does not hold (one past the last,
    // below the first, not a number) makes the sheet a damaged file.
    void xlsxSharedTextOutOfRange_data()
    {
        QTest::addColumn<QByteArray>("index");
        QTest::newRow("one past the last") << QByteArray("2");
        QTest::newRow("far past") << QByteArray("7");
        QTest::newRow("negative") << QByteArray("-1");
        QTest::newRow("not a number") << QByteArray("x");
    }
    void xlsxSharedTextOutOfRange()
    {
        QFETCH(QByteArray, index);
        QTemporaryDir dir;
        const QString file = dir.filePath("index.xlsx");
        const QByteArray strings = "<sst><si><t>联系人</t></si><si><t>张三</t></si></sst>";
        writeXlsx(file, {text(kSheetHead + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                                           "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c></row>"
                                           "<row r=\"3\"><c r=\"A3\" t=\"s\"><v>" +
                              index + "</v></c></row>" + kSheetTail),
                         text(strings)});
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->rowCount("表1$"), -1);
        QVERIFY2(r->error().contains("已损坏"), qPrintable(r->error()));
        bool ok = true;
        allRows(*r, "表1$", &ok);
        QVERIFY(!ok);

        // The last text itself is read.
        const QString sound = dir.filePath("sound.xlsx");
        writeXlsx(sound, {text(kSheetHead + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
                                            "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c></row>" + kSheetTail),
                          text(strings)});
        r = openTableReader(sound, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->columnNames("表1$"), QStringList{"联系人"});
        QCOMPARE(allRows(*r, "表1$").value(0).value(0).toString(), QStringLiteral("张三"));
    }

    // Files past Excel's limits are refused quickly, in bounded memory, with
    // a message naming the limit.
    void xlsxLimits()
    {
        QTemporaryDir dir;
        // A small sheet claiming row 2,000,000,000.
        const QString farRow = dir.filePath("row.xlsx");
        writeXlsx(farRow, {text(kSheetHead + "<row r=\"1\">" + inlineCell("A1", "联系人") + "</row><row r=\"2\">" +
                                inlineCell("A2", "张三") + "</row><row r=\"2000000000\">" +
                                inlineCell("A2000000000", "李四") + "</row>" + kSheetTail), {}});
        QString error;
        auto r = openTableReader(farRow, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->rowCount("表1$"), -1);
        QVERIFY2(r->error().contains("1048576") && r->error().contains("2000000000"), qPrintable(r->error()));
        bool ok = true;
        QVERIFY(allRows(*r, "表1$", &ok).isEmpty());
        QVERIFY(!ok);

        // Rows up to the last one Excel has are read.
        const QString lastRow = dir.filePath("last.xlsx");
        writeXlsx(lastRow, {text(kSheetHead + "<row r=\"1\">" + inlineCell("A1", "联系人") + "</row><row r=\"1048576\">" +
                                 inlineCell("A1048576", "张三") + "</row>" + kSheetTail), {}});
        r = openTableReader(lastRow, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->rowCount("表1$"), 1048575);

        // A cell of 200 MB (a few hundred KB in the file).
        const QString bigCell = dir.filePath("cell.xlsx");
        writeXlsx(bigCell, {pieces(kSheetHead + "<row r=\"1\">" + inlineCell("A1", "联系人") +
                                       "</row><row r=\"2\"><c r=\"A2\" t=\"inlineStr\"><is><t>",
                                   QByteArray(1 << 20, 'a'), 200, "</t></is></c></row>" + kSheetTail), {}});
        // 120 M characters of shared texts in 4 M texts, and one of 200 MB.
        const QString manyTexts = dir.filePath("texts.xlsx");
        writeXlsx(manyTexts, {text(kSheetHead + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + kSheetTail),
                              pieces("<sst>", (QByteArray("<si><t>") + QByteArray(30, 'b') + "</t></si>").repeated(1000),
                                     4000, "</sst>")});
        const QString oneText = dir.filePath("text.xlsx");
        writeXlsx(oneText, {text(kSheetHead + "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>" + kSheetTail),
                            pieces("<sst><si><t>", QByteArray(1 << 20, 'c'), 200, "</t></si></sst>")});

        const bool measured = resetPeak();
        const long before = statusKb("VmRSS:");
        r = openTableReader(bigCell, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->rowCount("表1$"), -1);
        QVERIFY2(r->error().contains("32767") && r->error().contains("第2行"), qPrintable(r->error()));
        r.reset();
        QVERIFY(!openTableReader(manyTexts, &error));
        QVERIFY2(error.contains("128 MB"), qPrintable(error));
        QVERIFY(!openTableReader(oneText, &error));
        QVERIFY2(error.contains("32767"), qPrintable(error));
        // The shared texts are held in 128 MB at most; nothing else of these
        // files is held whole.
        if (measured)
            QVERIFY2(statusKb("VmHWM:") - before < 200 * 1024,
                     qPrintable(QStringLiteral("peak grew by %1 KB").arg(statusKb("VmHWM:") - before)));
    }

    // A trailing column with data but no heading is a column (named as
    // Excel names it); one with neither is none.
    void xlsColumnWithoutHeading()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("book.xls");
        xls::Sheet sheet;
        sheet.name = QStringLiteral("客户");
        sheet.rows << QVariantList{"联系人", QVariant(), "电话", QVariant()}
                   << QVariantList{"张三", "中间", "1", "末尾"} << QVariantList{"李四", QVariant(), "2", QVariant()};
        xls::Sheet empty;
        empty.name = QStringLiteral("空列");
        empty.rows << QVariantList{"联系人", QVariant()} << QVariantList{"张三", QVariant()};
        QString error;
        QVERIFY2(xls::writeWorkbook(file, {sheet, empty}, &error), qPrintable(error));
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->columnNames("客户$"), (QStringList{"联系人", "F2", "电话", "F4"}));
        const auto rows = allRows(*r, "客户$");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][3].toString(), QStringLiteral("末尾"));
        QCOMPARE(rows[0][1].toString(), QStringLiteral("中间"));
        QCOMPARE(r->columnNames("空列$"), QStringList{"联系人"});
    }

    // An .xls whose long text freexl cannot follow is not said to have a
    // password; one with a password is.
    void xlsLongText()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("long.xls");
        xls::Sheet sheet;
        sheet.name = QStringLiteral("客户");
        sheet.rows << QVariantList{"联系人", "事项"} << QVariantList{"张三", QString(20000, QLatin1Char('x'))};
        QString error;
        QVERIFY2(xls::writeWorkbook(file, {sheet}, &error), qPrintable(error));
        auto r = openTableReader(file, &error);
        if (r)
            QSKIP("this freexl reads long texts");
        QVERIFY2(!error.contains("密码") && error.contains(".xlsx"), qPrintable(error));
        QVERIFY(!openTableReader(fixture(QStringLiteral("password.xls")), &error));
        QVERIFY2(error.contains("密码"), qPrintable(error));
    }

    // Day 0 of Excel and Access is 1899-12-30; days before it count back,
    // with the time of day a positive fraction.
    void serialDates()
    {
        QCOMPARE(readers::fromSerialDate(0.0), QVariant(QDate(1899, 12, 30)));
        QCOMPARE(readers::fromSerialDate(1.0), QVariant(QDate(1899, 12, 31)));
        QCOMPARE(readers::fromSerialDate(-1.0), QVariant(QDate(1899, 12, 29)));
        QCOMPARE(readers::fromSerialDate(0.5), QVariant(QTime(12, 0)));
        QCOMPARE(readers::fromSerialDate(-1.25), QVariant(QDateTime(QDate(1899, 12, 29), QTime(6, 0))));
        QCOMPARE(readers::fromSerialDate(44532.75), QVariant(QDateTime(QDate(2021, 12, 2), QTime(18, 0))));
        QCOMPARE(readers::fromSerialDate(2.9999999999), QVariant(QDate(1900, 1, 2)));
    }

    // UTF-8 with a bad byte stays UTF-8, the byte replaced, and says so with
    // its line; an unclosed quote is reported with the line it opens on.
    // Customers written to the end of a text file read back as they were:
    // quotes doubled inside a quoted field, separators and line breaks kept
    // inside it, so no column shifts.
    void csvAppendedRowsReadBackWhole()
    {
        QTemporaryDir dir;
        const QString file = writeFile(dir, "list.csv", "联系人,公司名称,事项\r\n张三,甲公司,无\r\n");
        QString error;
        {
            auto w = openTableReader(file, &error);
            QVERIFY2(w, qPrintable(error));
            const QList<QVariantList> rows = {
                {QStringLiteral("李\"四\""), QStringLiteral("乙,丙公司"), QStringLiteral("第一行\n第二行")},
                {QStringLiteral("\"\""), QStringLiteral("a\"b,c"), QStringLiteral("末")}};
            QVERIFY2(w->appendRows("list.csv", rows, &error), qPrintable(error));
        }
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        const auto rows = allRows(*r, "list.csv");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1], (QVariantList{QStringLiteral("李\"四\""), QStringLiteral("乙,丙公司"),
                                        QStringLiteral("第一行\n第二行")}));
        QCOMPARE(rows[2], (QVariantList{QStringLiteral("\"\""), QStringLiteral("a\"b,c"), QStringLiteral("末")}));
    }

    // The rows a text file holds and the count told before they are read
    // agree, through blank lines, line breaks of every kind inside and
    // outside quotes, doubled quotes, quotes inside a field, empty fields
    // and a last line without its break; an unclosed quote is reported at
    // the line it opens on, counted past the breaks inside earlier quotes.
    void csvRecordsAndTheirCount()
    {
        QTemporaryDir dir;
        const QByteArray text = "a,b\r\n\r\n1,\"x\r\ny\"\r\n\n2,\"q\"\"r\"s\r3,t\"u\n\"\"\r\n,\n 4,5";
        QString error;
        auto r = openTableReader(writeFile(dir, "rows.csv", text), &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->columnNames("rows.csv"), (QStringList{"a", "b"}));
        const auto rows = allRows(*r, "rows.csv");
        QCOMPARE(r->rowCount("rows.csv"), rows.size());
        QCOMPARE(rows, (QList<QVariantList>{{"1", "x\r\ny"},
                                             {"2", "q\"rs"},
                                             {"3", "t\"u"},
                                             {QVariant(), QVariant()},
                                             {QVariant(), QVariant()},
                                             {" 4", "5"}}));

        const QByteArray unclosed = "a\r\n\"x\ry\"\r\nb,\"open\nmore\n";
        QVERIFY(!openTableReader(writeFile(dir, "open.csv", unclosed), &error));
        QVERIFY2(error.contains("第4行"), qPrintable(error));
    }

    void csvFaults()
    {
        QTemporaryDir dir;
        QByteArray utf8 = QStringLiteral("联系人,电话,备注\r\n张三,1,第一位客户\r\n李四,2,坏").toUtf8();
        utf8 += '\xB5';
        utf8 += QStringLiteral("字节\r\n王五,3,正常\r\n").toUtf8();
        QString error;
        auto r = openTableReader(writeFile(dir, "bad.csv", utf8), &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->columnNames("bad.csv"), (QStringList{"联系人", "电话", "备注"}));
        const auto rows = allRows(*r, "bad.csv");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1][2].toString(), QStringLiteral("坏\uFFFD字节"));
        QCOMPARE(rows[2][0].toString(), QStringLiteral("王五"));
        QVERIFY2(r->warning().contains("UTF-8") && r->warning().contains("第3行"), qPrintable(r->warning()));
        // Sound files have nothing to say.
        r = openTableReader(fixture("gbk.csv"), &error);
        QVERIFY(r && r->warning().isEmpty());

        // A quote opens a field only at its start; one never closed stops the
        // file from being read.
        const QByteArray quotes = QStringLiteral("联系人,备注\r\n张三,5'11\"高\r\n李四,\"两\r\n行\"\r\n王五,\"没有结束\r\n赵六,1\r\n")
                                      .toUtf8();
        QVERIFY(!openTableReader(writeFile(dir, "quote.csv", quotes), &error));
        QVERIFY2(error.contains("第5行") && error.contains("引号"), qPrintable(error));
        r = openTableReader(writeFile(dir, "quote2.csv", quotes.left(quotes.indexOf("王五"))), &error);
        QVERIFY2(r, qPrintable(error));
        const auto quoted = allRows(*r, "quote2.csv");
        QCOMPARE(quoted.size(), 2);
        QCOMPARE(quoted[0][1].toString(), QStringLiteral("5'11\"高"));
        QCOMPARE(quoted[1][1].toString(), QStringLiteral("两\r\n行"));

        // A text file is held whole while it is read: past 100 MB it is refused.
        QFile big(dir.filePath("big.csv"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize((100 << 20) + 1));
        big.close();
        QVERIFY(!openTableReader(big.fileName(), &error));
        QVERIFY2(error.contains("100 MB"), qPrintable(error));
    }

    // A database of this program under .mdb (a backup, another desk's
    // web.mdb) reads as an Access file does: its tables, not SQLite's own
    // or the caller lookup's index.
    void ownDatabase()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("备份 web.mdb");
        testutil::makeDatabase(file);
        testutil::addCustomers(file, 3);
        testutil::execute(file, "create virtual table 客户号码 using fts5(手机, 电话, 宅电, content='客户数据', "
                                "content_rowid='ID', tokenize='trigram')");
        testutil::execute(file, "update 客户数据 set 事项 = 'a\"b' where ID = 2");
        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->tableNames(), (QStringList{"客户数据", "来电数据", "字典"}));
        const QStringList cols = r->columnNames("客户数据");
        QCOMPARE(cols.size(), 18);
        QCOMPARE(cols.first(), QStringLiteral("ID"));
        QCOMPARE(r->rowCount("客户数据"), 3);
        const auto rows = allRows(*r, "客户数据");
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0][0].typeId(), QMetaType::LongLong);
        QCOMPARE(rows[0][1].toString(), QStringLiteral("客户1"));
        QCOMPARE(rows[1][cols.indexOf("事项")].toString(), QStringLiteral("a\"b"));
        QVERIFY(rows[0][cols.indexOf("QQ")].isNull());
        QVERIFY(!r->readRows("没有", [](const QVariantList&) { return true; }));
        QString why;
        QVERIFY(!r->appendRows("客户数据", {{1}}, &why));
        QVERIFY(why.contains("不能"));

        // A damaged one is named so.
        const QByteArray bytes = readAll(file);
        QVERIFY(!openTableReader(writeFile(dir, "half.mdb", bytes.left(100)), &error));
        QVERIFY2(error.contains("损坏"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestReaders)
#include "test_readers.moc"
