// The import windows and their two runs over real workbooks and databases.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>

#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "ui/kit/statusbar.h"
#include "rules/files/textfile.h"
#include "data/module/datamodule.h"
#include "ui/kit/workwindow.h"
#include "testutil.h"
#include "data/numbers/numberindex.h"
#include "rules/transfer/fieldmapping.h"
#include "data/transfer/importrun.h"
#include "data/transfer/importsource.h"
#include "ui/transfer/accessimportwindow.h"
#include "ui/transfer/excelimportwindow.h"
#include "ui/transfer/importmenu.h"
#include "ui/transfer/importwindow.h"
#include "rules/formats/tablereader.h"

namespace {

QString fixture(const QString& name) { return QStringLiteral(TRANSFER_FIXTURES "/") + name; }
QString accessFixture(const QString& name) { return QStringLiteral(ACCESS_FIXTURES "/") + name; }

// Customers as stored, oldest first: one "联系人|电话|手机|..." line each
// for the fields asked.
QStringList customers(DataModule& dm, const QString& fields)
{
    QStringList out;
    QSqlQuery q(dm.connection.database());
    q.exec(QStringLiteral("select %1 from 客户数据 order by id").arg(fields));
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < q.record().count(); ++i)
            row << q.value(i).toString();
        out << row.join(QLatin1Char('|'));
    }
    return out;
}

void select(ImportWindow& w, const QString& table)
{
    const auto items = testutil::named<QListWidget>(&w, QStringLiteral("tableList"))->findItems(table, Qt::MatchExactly);
    QVERIFY2(!items.isEmpty(), qPrintable(table));
    testutil::named<QListWidget>(&w, QStringLiteral("tableList"))->setCurrentItem(items.first());
}

// Presses "导入数据" and waits until the run (on its own thread) has ended.
void importAndWait(ImportWindow& w)
{
    testutil::named<QPushButton>(&w, QStringLiteral("importButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 60000);
}

// Presses "导出数据" and waits until the reverse run has ended.
void exportAndWait(ImportWindow& w)
{
    testutil::named<QPushButton>(&w, QStringLiteral("exportButton"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isRunning(), 60000);
}

// Answers the next message box with the button of that caption once it is
// up, keeping its text.
void answer(const QString& button, QString* text)
{
    QTimer::singleShot(10, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answer(button, text);
            return;
        }
        *text = box->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == button)
                b->click();
    });
}

QLineEdit* mappingBox(const ImportWindow& w, int i)
{
    return testutil::named<QLineEdit>(&w, QStringLiteral("mappingNumber/") + QString::number(i));
}

QLabel* mappingLabel(const ImportWindow& w, int i)
{
    return testutil::named<QLabel>(&w, QStringLiteral("mappingColumn/") + QString::number(i));
}

QLabel* standardLabel(const ImportWindow& w, int i)
{
    return testutil::named<QLabel>(&w, QStringLiteral("standardField/") + QString::number(i));
}

QStringList boxes(const ImportWindow& w)
{
    QStringList n;
    for (int i = 0; i < w.mappingCount(); ++i)
        n << mappingBox(w, i)->text();
    return n;
}

// The caller lookup's index after a run: its triggers all there and its
// rows those of the table; the contacts of the customers found through it.
QStringList numbersInIndex(DataModule& dm, const QString& part)
{
    QSqlDatabase db = dm.connection.database();
    if (!numberindex::isComplete(db))
        return {QStringLiteral("index incomplete")};
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("insert into 客户号码(客户号码, rank) values ('integrity-check', 1)")))
        return {q.lastError().text()};
    QStringList out;
    q.exec(QStringLiteral("select 联系人 from 客户数据 where ID in (select rowid from 客户号码 "
                          "where 客户号码 match '\"%1\"') order by ID").arg(part));
    while (q.next())
        out << q.value(0).toString();
    return out;
}

}  // namespace

class TestImport : public QObject {
    Q_OBJECT
    QString db_;
    QStringList messages_, errors_;
    std::unique_ptr<DataModule> dm_;

    std::unique_ptr<ImportWindow> window(ImportWindow::Variant v, const QString& file)
    {
        ImportConnection& c = v == ImportWindow::Variant::Excel ? dm_->excelFile : dm_->accessFile;
        c.close();
        c.setFile(file);
        c.open();
        if (v == ImportWindow::Variant::Excel)
            return std::make_unique<ExcelImportWindow>(*dm_);
        return std::make_unique<AccessImportWindow>(*dm_);
    }

private slots:
    void init()
    {
        db_ = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        messages_.clear();
        errors_.clear();
        setMessageSink([this](const QString& m) { messages_ << m; });
        errorreport::setSink([this](const QString& m) { errors_ << m; });
        dm_ = std::make_unique<DataModule>();
        dm_->customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm_->customerTable.open();
    }
    void cleanup()
    {
        dm_.reset();
        setMessageSink({});
        errorreport::setSink({});
    }

    void mappingRules()
    {
        const QStringList fields{"ID", "联系人", "Email", "adodataset7", "序号", "电话"};
        QCOMPARE(mapping::standardFields(fields, "序号"), (QStringList{"ID", "联系人", "Email", "电话"}));
        QCOMPARE(mapping::standardFields(fields, "id"), (QStringList{"联系人", "Email", "序号", "电话"}));
        // By name without regard to case; unknown columns 0; the first match counts.
        QCOMPARE(mapping::prefilledNumbers({"EMAIL", "备注", "电话", "email"}, {"联系人", "Email", "电话"}),
                 (QStringList{"2", "0", "3", "2"}));
        QStringList wide;
        for (int i = 0; i < 75; ++i)
            wide << QStringLiteral("列%1").arg(i);
        QCOMPARE(mapping::prefilledNumbers(wide, {"列70"}).size(), 60);
        QVERIFY(!mapping::anyMapped({"0", "0"}));
        QVERIFY(mapping::anyMapped({"0", "00"}));
        QCOMPARE(mapping::firstInvalid({"0", "3", "17"}, 17), -1);
        for (const QString bad : {"00", "-1", "18", "99", "a", "", " 1", "05"})
            QCOMPARE(mapping::firstInvalid({"1", bad}, 17), 1);
        QCOMPARE(mapping::valueText(13800138000.0), QStringLiteral("13800138000"));
        QCOMPARE(mapping::valueText(2.5), QStringLiteral("2.5"));
        QCOMPARE(mapping::valueText(QDate(2023, 5, 7)), QStringLiteral("2023-5-7"));
        QCOMPARE(mapping::valueText(QDateTime(QDate(2023, 5, 7), QTime(8, 5, 9))), QStringLiteral("2023-5-7 8:05:09"));
        QCOMPARE(mapping::valueText(QVariant()), QString());
    }

    void windowAndMapping()
    {
        auto w = window(ImportWindow::Variant::Excel, fixture("book.xls"));
        QCOMPARE(w->windowTitle(), QStringLiteral("导入Excel数据文件"));
        QCOMPARE(w->standardFields().size(), 18);  // ID is a target in the Excel window
        QCOMPARE(w->standardFields().first(), QStringLiteral("ID"));
        QCOMPARE(w->standardFields().size(), 18);
        QCOMPARE(standardLabel(*w, 1)->pos(), QPoint(48, 26 + 18));
        QCOMPARE(testutil::named<QListWidget>(w.get(), QStringLiteral("tableList"))->count(), 3);
        QVERIFY(!testutil::named<QTableView>(w.get(), QStringLiteral("previewGrid"))->isEnabled());
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("0"));

        select(*w, "客户资料$");
        QVERIFY(testutil::named<QTableView>(w.get(), QStringLiteral("previewGrid"))->isEnabled());
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("5"));
        QCOMPARE(testutil::named<QTableView>(w.get(), QStringLiteral("previewGrid"))->model()->rowCount(), 5);
        // 联系人 电话 手机 公司名称 地址 email 邮编 建档日期 备注
        QCOMPARE(boxes(*w), (QStringList{"2", "3", "4", "6", "7", "8", "16", "0", "0"}));
        QCOMPARE(mappingLabel(*w, 5)->text(), QStringLiteral("email"));
        QCOMPARE(mappingBox(*w, 1)->geometry(), QRect(20, 26 + 18, 18, 16));
        QCOMPARE(mappingBox(*w, 0)->maxLength(), 2);

        // Another table: fresh rows, typed numbers gone; 60 rows at most.
        mappingBox(*w, 0)->setText("5");
        select(*w, "宽 表$");
        QCOMPARE(w->mappingCount(), 60);
        QCOMPARE(boxes(*w), QStringList(60, "0"));
        select(*w, "客户资料$");
        QCOMPARE(mappingBox(*w, 0)->text(), QStringLiteral("2"));

        auto a = window(ImportWindow::Variant::Access, fixture("book.xls"));
        QCOMPARE(a->windowTitle(), QStringLiteral("导入ACCESS数据文件"));
        QCOMPARE(a->standardFields().size(), 17);  // no ID in the Access window
        QCOMPARE(standardLabel(*a, 1)->pos(), QPoint(48, 26 + 16));
    }

    // Refused runs: a message each, nothing stored.
    void refusals()
    {
        auto w = window(ImportWindow::Variant::Excel, fixture("book.xls"));
        testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->click();
        testutil::named<QPushButton>(w.get(), QStringLiteral("exportButton"))->click();
        QCOMPARE(messages_, QStringList(2, "请先选择表文件！"));
        messages_.clear();

        select(*w, "宽 表$");
        testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->click();
        testutil::named<QPushButton>(w.get(), QStringLiteral("exportButton"))->click();
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(messages_[0], QStringLiteral("导入数据项目没有填写对应号码！\r在对应号中填入左边的数据库标准项目中的项目名称前面的序号"));
        QCOMPARE(messages_[1], messages_[0]);

        for (const QString bad : {"00", "-1", "99", "a"}) {
            messages_.clear();
            mappingBox(*w, 2)->setText("2");
            mappingBox(*w, 3)->setText(bad);
            testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->click();
            QCOMPARE(messages_.size(), 1);
            QVERIFY2(messages_[0].contains("第4行") && messages_[0].contains("列4") &&
                         messages_[0].contains(QStringLiteral("“%1”").arg(bad)),
                     qPrintable(messages_[0]));
        }
        QVERIFY(customers(*dm_, "联系人").isEmpty());
        QVERIFY(errors_.isEmpty());
    }

    void importRun_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("xls") << fixture("book.xls");
        QTest::newRow("xlsx") << fixture("book.xlsx");
    }

    void importRun()
    {
        QFETCH(QString, file);
        auto w = window(ImportWindow::Variant::Excel, file);
        select(*w, "客户资料$");
        mappingBox(*w, 4)->setText("6");   // 地址 to 公司名称 as well: the later non-empty one wins
        mappingBox(*w, 7)->setText("17");  // 建档日期 to 事项
        importAndWait(*w);
        QCOMPARE(errors_, QStringList());
        // Five rows gone through, four stored: the closing message counts
        // what was stored.
        QCOMPARE(messages_, QStringList{"共完成4条数据导入完成"});
        QCOMPARE(testutil::named<StatusBar>(w.get(), QStringLiteral("statusBar"))->panelText(1), QStringLiteral("已经完成导入数据：5条"));
        // The row whose mapped cells are all empty adds nothing.
        QCOMPARE(customers(*dm_, "联系人, 电话, 手机, 公司名称, 地址, EMAIL, 邮编, 事项"),
                 (QStringList{"张三|010-88886666|13800138000|北京市海淀区中关村大街1号||zs@example.com|100080|2023-5-17",
                              "李四||13912345678|上海明月公司||ls@example.com|200000|2024-1-2",
                              "王五|0755-12345678|13700001111|深圳市南山区||ww@example.com|518000|2022-12-31",
                              "赵六||2.5|||||"}));
        // The caller lookup finds them.
        QCOMPARE(numbersInIndex(*dm_, "139"), QStringList{"李四"});
        QCOMPARE(numbersInIndex(*dm_, "1380013"), QStringList{"张三"});
        // The customer list shows them, newest first.
        QCOMPARE(dm_->customerTable.recordCount(), 4);
        QCOMPARE(dm_->customerTable.text("联系人"), QStringLiteral("赵六"));

        // An empty sheet imports nothing and says 0.
        messages_.clear();
        select(*w, "空表$");
        QCOMPARE(w->mappingCount(), 0);
        testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->click();
        QCOMPARE(messages_, QStringList{mapping::noMappingMessage()});
    }

    // A workbook damaged past its first rows is found out when its sheet is
    // opened: the sheet stays closed and no run starts.
    void damagedWorkbook()
    {
        auto w = window(ImportWindow::Variant::Excel, fixture("damaged.xlsx"));
        select(*w, "long$");
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains("损坏"), qPrintable(errors_[0]));
        testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->click();
        QCOMPARE(messages_, QStringList{"请先选择表文件！"});
    }

    // A file that breaks in the middle of a run: nothing half-read is kept.
    void readFailureWhileRunning()
    {
        struct Breaking : TableReader {
            QStringList tableNames() override { return {"t"}; }
            QStringList columnNames(const QString&) override { return {"联系人"}; }
            qint64 rowCount(const QString&) override { return 5; }
            bool readRows(const QString&, const std::function<bool(const QVariantList&)>& row) override
            {
                const bool breaks = calls++ > 0;
                for (int i = 1; i <= 5; ++i) {
                    if (breaks && i == 4)
                        return false;  // the preview is read first and is sound
                    if (!row({QStringLiteral("客户%1").arg(i)}))
                        return true;
                }
                return true;
            }
            QString error() const override { return QStringLiteral("文件已损坏"); }
            int calls = 0;
        };
        dm_->excelFile.openWith(std::make_unique<Breaking>());
        ExcelImportWindow w(*dm_);
        select(w, "t");
        QCOMPARE(errors_, QStringList());
        QCOMPARE(boxes(w), QStringList{"2"});
        importAndWait(w);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains("文件已损坏") && errors_[0].contains("没有导入任何数据"), qPrintable(errors_[0]));
        QVERIFY(customers(*dm_, "联系人").isEmpty());
        QCOMPARE(dm_->customerTable.recordCount(), 0);
        QCOMPARE(numbersInIndex(*dm_, "139"), QStringList());  // and its triggers are back
    }

    // A list still being counted holds the database with its reading: the
    // run waits for the count before it writes.
    void runWaitsForCounts()
    {
        struct OneRow : TableReader {
            QStringList tableNames() override { return {"t"}; }
            QStringList columnNames(const QString&) override { return {"联系人"}; }
            qint64 rowCount(const QString&) override { return 1; }
            bool readRows(const QString&, const std::function<bool(const QVariantList&)>& row) override
            {
                row({QStringLiteral("新客户")});
                return true;
            }
            QString error() const override { return {}; }
        };
        testutil::addCustomers(db_, DataSet::kFirstKeys + 100);
        dm_->customerTable.close();
        dm_->customerTable.setStatement(WrittenStatement::ordered(QStringLiteral("select * from 客户数据 where ID > 0"), QStringLiteral(" order by id desc"), QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm_->customerTable.open();
        QVERIFY(dm_->customerTable.countPending());
        ImportConnection& conn = dm_->excelFile;
        conn.openWith(std::make_unique<OneRow>());
        ImportDataSet ds(&conn, QStringLiteral("t"));
        ds.setCommandText(QStringLiteral("select * from [t]"));
        ds.open();
        const RunOutcome out = importRows(dm_->connection, QStringLiteral("客户数据"), ds, QStringList{"联系人"},
                                          QStringList{"1"}, {});
        QVERIFY(!dm_->customerTable.countPending());
        QVERIFY2(out.finished, qPrintable(out.error));
        QCOMPARE(out.stored, 1);
    }

    // A record that cannot be stored stops the run there; those before stay.
    void storeFailure()
    {
        auto w = window(ImportWindow::Variant::Excel, fixture("book.xls"));
        select(*w, "客户资料$");
        mappingBox(*w, 2)->setText("1");  // 手机 into ID: 2.5 in the last row is no record number
        importAndWait(*w);
        QVERIFY(messages_.isEmpty());  // no closing message
        QCOMPARE(errors_.size(), 1);
        QVERIFY2(errors_[0].contains("第5行") && errors_[0].contains("3条"), qPrintable(errors_[0]));
        QCOMPARE(customers(*dm_, "ID, 联系人"),
                 (QStringList{"13700001111|王五", "13800138000|张三", "13912345678|李四"}));
        QCOMPARE(numbersInIndex(*dm_, "12345678"), QStringList{"王五"});  // keys of their own: through the triggers
        QVERIFY(testutil::named<QPushButton>(w.get(), QStringLiteral("importButton"))->isEnabled());
        QCOMPARE(dm_->customerTable.recordCount(), 3);
    }

    void reverseRun_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << QStringLiteral("book.xls");
        QTest::newRow("xlsx") << QStringLiteral("book.xlsx");
    }

    // The customer list goes to the end of the sheet; the workbook is
    // written anew with every sheet and still reads back.
    void reverseRun()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString file = dir.filePath(name);
        QVERIFY(QFile::copy(fixture(name), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        testutil::addCustomers(db_, 3);
        dm_->customerTable.close();
        dm_->customerTable.open();

        auto w = window(ImportWindow::Variant::Excel, file);
        select(*w, "客户资料$");
        exportAndWait(*w);
        QCOMPARE(errors_, QStringList());
        QCOMPARE(messages_, QStringList{"共完成3条数据导出完成"});
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("8"));
        QCOMPARE(mappingBox(*w, 0)->text(), QStringLiteral("2"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});

        QString error;
        auto r = openTableReader(file, &error);
        QVERIFY2(r, qPrintable(error));
        QCOMPARE(r->tableNames(), (QStringList{"客户资料$", "空表$", "宽 表$"}));
        QList<QVariantList> rows;
        r->readRows("客户资料$", [&](const QVariantList& row) {
            rows << row;
            return true;
        });
        QCOMPARE(rows.size(), 8);
        QCOMPARE(rows[0][0].toString(), QStringLiteral("张三"));
        QCOMPARE(rows[0][2].toLongLong(), 13800138000);  // numbers stay numbers
        // Newest first, as the list shows them; unmapped columns empty.
        QCOMPARE(rows[5][0].toString(), QStringLiteral("客户3"));
        QCOMPARE(rows[5][2].toString(), QStringLiteral("13900000003"));
        QCOMPARE(rows[7][0].toString(), QStringLiteral("客户1"));
        QVERIFY(rows[7][8].isNull());
        QCOMPARE(r->columnNames("宽 表$").size(), 75);
        QCOMPARE(r->rowCount("宽 表$"), 2);

        // An empty customer list appends nothing.
        messages_.clear();
        dm_->customerTable.setStatement(WrittenStatement::of(QStringLiteral("select * from 客户数据 where 1 = 0"), QStringLiteral("客户数据")));
        dm_->customerTable.open();
        exportAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成0条数据导出完成"});
    }

    void accessImport()
    {
        const QString file = accessFixture("DateTestDatabase.mdb");
        if (!QFile::exists(file))
            QSKIP("the sample Access databases (shared/fixtures beside the repository) are absent");
        const QByteArray before = [&] {
            QFile f(file);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        auto w = window(ImportWindow::Variant::Access, file);
        QCOMPARE(testutil::named<QListWidget>(w.get(), QStringLiteral("tableList"))->count(), 1);
        select(*w, "DateTest");
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("6"));
        QCOMPARE(boxes(*w), QStringList(6, "0"));
        // Access window: 联系人 is 1, 事项 16, 答复 17.
        mappingBox(*w, 5)->setText("1");
        mappingBox(*w, 2)->setText("16");
        mappingBox(*w, 4)->setText("17");
        importAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成6条数据导入完成"});
        const QStringList rows = customers(*dm_, "联系人, 事项, 答复");
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows[0], QStringLiteral("Hello|2021-12-2|Hello"));
        QVERIFY(rows[1].startsWith("Year 1999|9999-"));

        // The reverse run cannot write an Access file: it says so.
        messages_.clear();
        testutil::named<QPushButton>(w.get(), QStringLiteral("exportButton"))->click();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].contains("不能"));
        QFile f(file);
        f.open(QIODevice::ReadOnly);
        QVERIFY(f.readAll() == before);
    }

    // The table name with a space opens (the table list names only tables
    // that exist).
    void accessSpacedName()
    {
        const QString file = accessFixture("ASampleDatabase.accdb");
        if (!QFile::exists(file))
            QSKIP("the sample Access databases (shared/fixtures beside the repository) are absent");
        auto w = window(ImportWindow::Variant::Access, file);
        select(*w, "Asset Items");
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("65"));
        QCOMPARE(w->mappingCount(), 13);
        QVERIFY(errors_.isEmpty());
    }

    // A text file in GBK: long texts are stored whole, nothing cut off.
    void csvLongText()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("客户.csv");
        const QString longText = QString(5000, QChar(0x5BA2));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(toGbk(QStringLiteral("联系人,事项\r\n王五,") + longText + QStringLiteral("\r\n")));
        f.close();
        auto w = window(ImportWindow::Variant::Excel, file);
        select(*w, "客户.csv");
        QCOMPARE(boxes(*w), (QStringList{"2", "17"}));
        importAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成1条数据导入完成"});
        QCOMPARE(customers(*dm_, "联系人, 事项"), QStringList{QStringLiteral("王五|") + longText});

        // The reverse run writes the file anew in its own encoding.
        messages_.clear();
        exportAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成1条数据导出完成"});
        QFile back(file);
        back.open(QIODevice::ReadOnly);
        QCOMPARE(fromGbk(back.readAll()), QStringLiteral("联系人,事项\r\n王五,") + longText +
                                              QStringLiteral("\r\n王五,") + longText + QStringLiteral("\r\n"));
    }

    // A cell of a million characters: the grid and the mapping rows show
    // Excel's 32,767 at most; the import stores the whole value.
    void previewCutsLongCells()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("long.csv");
        const QString heading(100000, QLatin1Char('h'));
        const QString cell(1000000, QChar(0x5BA2));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write((QStringLiteral("联系人,") + heading + QStringLiteral("\r\n张三,") + cell + QStringLiteral("\r\n")).toUtf8());
        f.close();
        auto w = window(ImportWindow::Variant::Excel, file);
        select(*w, "long.csv");
        const QAbstractItemModel* grid = testutil::named<QTableView>(w.get(), QStringLiteral("previewGrid"))->model();
        const QString shown = grid->data(grid->index(0, 1)).toString();
        QCOMPARE(shown.size(), 32767);
        QVERIFY(shown.startsWith(cell.left(100)) && shown.endsWith(QChar(0x2026)));
        QCOMPARE(grid->headerData(1, Qt::Horizontal).toString().size(), 32767);
        QCOMPARE(mappingLabel(*w, 1)->text().size(), 32767);
        mappingBox(*w, 1)->setText("17");
        importAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成1条数据导入完成"});
        QCOMPARE(customers(*dm_, "length(事项)"), QStringList{"1000000"});
    }

    // The rows are read and stored on a thread of their own while the
    // window goes on; "停止" in the progress window ends the run and nothing
    // is stored.
    void runsBesideTheWindow()
    {
        struct Slow : TableReader {
            QStringList tableNames() override { return {"t"}; }
            QStringList columnNames(const QString&) override { return {"联系人"}; }
            qint64 rowCount(const QString&) override { return 20000; }
            bool readRows(const QString&, const std::function<bool(const QVariantList&)>& row) override
            {
                const bool preview = QThread::currentThread() == qApp->thread();
                if (!preview)
                    thread = QThread::currentThread();
                for (int i = 1; i <= (preview ? 3 : 20000); ++i) {
                    if (!row({QStringLiteral("客户%1").arg(i)}))
                        return true;
                    if (!preview) {
                        ++handed;
                        if (slowly)
                            QThread::msleep(1);
                    }
                }
                return true;
            }
            QString error() const override { return {}; }
            std::atomic<QThread*> thread{nullptr};
            std::atomic_int handed{0};
            std::atomic_bool slowly{true};
        };
        auto reader = std::make_unique<Slow>();
        Slow& slow = *reader;
        dm_->excelFile.openWith(std::move(reader));
        ExcelImportWindow w(*dm_);
        select(w, "t");
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(5);
        testutil::named<QPushButton>(&w, QStringLiteral("importButton"))->click();
        QVERIFY(w.isRunning());
        QVERIFY(!testutil::named<QPushButton>(&w, QStringLiteral("backButton"))->isEnabled());
        QVERIFY(dm_->connection.writesHeld());  // a call arriving now keeps its row until the end
        QTRY_VERIFY(slow.handed > 200);
        QVERIFY(slow.thread.load() && slow.thread.load() != qApp->thread());
        QVERIFY(ticks > 0);
        QTRY_VERIFY(testutil::named<StatusBar>(&w, QStringLiteral("statusBar"))->panelText(1).startsWith(QStringLiteral("已经完成导入数据：")));
        // Another connection reads the table meanwhile: nothing is there yet.
        QSqlQuery q(dm_->connection.database());
        QVERIFY(q.exec("select count(*) from 客户数据") && q.next());
        QCOMPARE(q.value(0).toInt(), 0);
        q.finish();
        // Escape and the close box do not end the window in the middle of it.
        QVERIFY(!w.close());
        QTRY_VERIFY(currentWorkWindow() && currentWorkWindow()->isVisible());
        QVERIFY(currentWorkWindow()->stopOffered());
        currentWorkWindow()->pressStop();
        QTRY_VERIFY(!w.isRunning());
        QVERIFY(slow.handed < 20000);
        QCOMPARE(messages_, QStringList{"导入已停止，没有导入任何数据。"});
        QVERIFY(errors_.isEmpty());
        QVERIFY(customers(*dm_, "联系人").isEmpty());
        QVERIFY(!dm_->connection.writesHeld());
        QVERIFY(testutil::named<QPushButton>(&w, QStringLiteral("backButton"))->isEnabled() && testutil::named<QPushButton>(&w, QStringLiteral("importButton"))->isEnabled());

        // Run to its end.
        messages_.clear();
        slow.slowly = false;
        importAndWait(w);
        QCOMPARE(messages_, QStringList{"共完成20000条数据导入完成"});
        QCOMPARE(dm_->customerTable.recordCount(), 20000);
    }

    // The reverse run reads the customer list and writes the file on a
    // thread of its own.
    void reverseRunBesideTheWindow()
    {
        struct Target : TableReader {
            QStringList tableNames() override { return {"t"}; }
            QStringList columnNames(const QString&) override { return {"名字", "备注"}; }
            qint64 rowCount(const QString&) override { return 0; }
            bool readRows(const QString&, const std::function<bool(const QVariantList&)>&) override { return true; }
            QString error() const override { return {}; }
            bool appendRows(const QString& table, const QList<QVariantList>& rows, QString*) override
            {
                *thread = QThread::currentThread();
                *written = rows;
                return table == "t";
            }
            QThread** thread;
            QList<QVariantList>* written;
        };
        testutil::addCustomers(db_, 3);
        dm_->customerTable.close();
        dm_->customerTable.open();
        QThread* thread = nullptr;
        QList<QVariantList> written;
        auto reader = std::make_unique<Target>();
        reader->thread = &thread;
        reader->written = &written;
        dm_->excelFile.openWith(std::move(reader));
        ExcelImportWindow w(*dm_);
        select(w, "t");
        mappingBox(w, 0)->setText("2");
        exportAndWait(w);
        QCOMPARE(messages_, QStringList{"共完成3条数据导出完成"});
        QVERIFY(thread && thread != qApp->thread());
        QCOMPARE(written.size(), 3);
        QCOMPARE(written[0], (QVariantList{QStringLiteral("客户3"), QVariant()}));
        QCOMPARE(written[2][0].toString(), QStringLiteral("客户1"));
    }

    // Importing the same rows twice: the ID already there is named, nothing
    // is stored, and the rows can then be left out or stored as new ones.
    void existingIds()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("ids.csv");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("ID,联系人,手机\r\n7,张三,13800000001\r\n,王五,13800000003\r\n9,李四,13800000002\r\n").toUtf8());
        f.close();
        auto w = window(ImportWindow::Variant::Excel, file);
        select(*w, "ids.csv");
        QCOMPARE(boxes(*w), (QStringList{"1", "2", "4"}));
        importAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成3条数据导入完成"});
        const QStringList once = customers(*dm_, "ID, 联系人");
        QCOMPARE(once, (QStringList{"7|张三", "8|王五", "9|李四"}));

        QString question;
        messages_.clear();
        answer("取消", &question);
        importAndWait(*w);
        QVERIFY2(question.contains("第1行") && question.contains("“7”") && question.contains("已经存在"),
                 qPrintable(question));
        QVERIFY(messages_.isEmpty() && errors_.isEmpty());
        QCOMPARE(customers(*dm_, "ID, 联系人"), once);

        answer("跳过这些行", &question);
        importAndWait(*w);
        // One row stored, two left out: counted as one.
        QCOMPARE(messages_, QStringList{"共完成1条数据导入完成\r其中2行的ID已经存在，没有导入。"});
        QCOMPARE(customers(*dm_, "ID, 联系人"), (once + QStringList{"10|王五"}));

        messages_.clear();
        answer("作为新客户导入", &question);
        importAndWait(*w);
        QCOMPARE(messages_, QStringList{"共完成3条数据导入完成\r其中2行的ID已经存在，已作为新客户导入（使用新的ID）。"});
        QCOMPARE(customers(*dm_, "ID, 联系人"),
                 (once + QStringList{"10|王五", "11|张三", "12|王五", "13|李四"}));
        QCOMPARE(numbersInIndex(*dm_, "13800000002"), (QStringList{"李四", "李四"}));
        QVERIFY(errors_.isEmpty());
    }

    // A database of this program (a backup, another desk's web.mdb) opens in
    // the Access window: its tables, the mapping by name, new IDs.
    void ownDatabaseImport()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("其他电脑的web.mdb");
        testutil::makeDatabase(file);
        testutil::addCustomers(file, 3);
        auto w = window(ImportWindow::Variant::Access, file);
        QCOMPARE(testutil::named<QListWidget>(w.get(), QStringLiteral("tableList"))->count(), 3);
        select(*w, "客户数据");
        QCOMPARE(testutil::named<QLineEdit>(w.get(), QStringLiteral("recordCount"))->text(), QStringLiteral("3"));
        QStringList expected{"0"};
        for (int i = 1; i <= 17; ++i)
            expected << QString::number(i);
        QCOMPARE(boxes(*w), expected);
        importAndWait(*w);
        importAndWait(*w);
        QCOMPARE(messages_, QStringList(2, "共完成3条数据导入完成"));
        QCOMPARE(customers(*dm_, "ID, 联系人, 手机"),
                 (QStringList{"1|客户1|13900000001", "2|客户2|13900000002", "3|客户3|13900000003",
                              "4|客户1|13900000001", "5|客户2|13900000002", "6|客户3|13900000003"}));
    }

    // A file that cannot be read opens no window.
    // A workbook whose name or folder holds ';', '\\' or spaces opens like
    // any other.
    void oddFileNames()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("客户 资料\\2024;旧"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + QStringLiteral("/客户;2024 年.csv");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(toGbk(QStringLiteral("联系人,电话\r\n王五,88886666\r\n")));
        f.close();
        testutil::whenModal(QString());
        QVERIFY(showImportWindow(*dm_, nullptr, ImportWindow::Variant::Excel, file));
        QCOMPARE(errors_, QStringList());
        QCOMPARE(dm_->excelFile.fileName(), file);
        QVERIFY(dm_->excelFile.isConnected());
        QCOMPARE(dm_->excelFile.tableNames().size(), 1);
    }

    void unreadableFile()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("text.xls");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("联系人,电话\r\n");
        f.close();
        QVERIFY(!showImportWindow(*dm_, nullptr, ImportWindow::Variant::Excel, file));
        QCOMPARE(errors_.size(), 1);
        QVERIFY(!dm_->excelFile.isConnected());
    }
};

QTEST_MAIN(TestImport)
#include "test_import.moc"
