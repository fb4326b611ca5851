// Every feature of a desk, feature by feature through the main window, on
// the shared server and on the desk's own file alike: the dictionary, both
// lists with their searches, the category tree, import and export,
// clearing, 存为新客户, the call statistics, printing and the grids'
// captions.  Each checks what the operator sees and what the database holds.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "data/transfer/importrun.h"
#include "data/transfer/importsource.h"
#include "rules/errors/errorreport.h"
#include "rules/files/textfile.h"
#include "rules/calls/callrules.h"
#include "rules/lists/layoutfile.h"
#include "rules/formats/xlsread.h"
#include "ui/kit/dbgrid.h"
#include "ui/kit/message.h"
#include "ui/kit/updownbox.h"
#include "ui/calls/callstatisticswindow.h"
#include "ui/lists/customerlist.h"
#include "ui/maintenance/maintenance.h"
#include "ui/kit/dbcontrols.h"
#include "ui/records/dictionary.h"
#include "ui/records/dictionarywindow.h"
#include "ui/records/recordprinting.h"
#include "ui/transfer/accessimportwindow.h"
#include "ui/transfer/excelexport.h"
#include "ui/transfer/excelimportwindow.h"
#include "ui/transfer/exportfieldswindow.h"
#include "ui/transfer/importwindow.h"
#include "testpg.h"
#include "testutil.h"

using testutil::named;
using testutil::whenModal;

namespace {

QString transferFixture(const QString& name) { return QStringLiteral(TRANSFER_FIXTURES "/") + name; }
QString accessFixture(const QString& name) { return QStringLiteral(ACCESS_FIXTURES "/") + name; }

// The values of a field down the list, once the list is read to its end.
QStringList column(DataSet& ds, const QString& field)
{
    if (!testutil::readThrough(ds))
        return {QStringLiteral("the list was not read to its end")};
    QStringList r;
    for (int i = 0; i < ds.rowCount(); ++i)
        r << ds.rowValue(i, ds.fieldIndex(field)).toString();
    return r;
}

QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList r;
    for (int i = 0; i < box->count(); ++i)
        r << box->itemText(i);
    return r;
}

}  // namespace

class TestServerFeatures : public QObject {
    Q_OBJECT
    std::unique_ptr<testutil::PrivatePostgres> server_;
    std::unique_ptr<testutil::MainFixture> f_;
    QString folder_;
    QStringList messages_, reports_;
    int databases_ = 0;

    DataModule& dm() { return *f_->dm; }
    MainWindow& w() { return **f_; }

    bool onServer() const
    {
        QFETCH_GLOBAL(bool, server);
        return server;
    }
    // The main window over a fresh database (of the server, or the program
    // folder's own file) holding what `rows` stores first.
    void openDesk(const QStringList& rows = {})
    {
        f_ = std::make_unique<testutil::MainFixture>();
        if (onServer()) {
            const QString name = QStringLiteral("功能") + QString::number(++databases_);
            QVERIFY(server_->createDatabase(name));
            dm().setDatabaseLocation(DatabaseLocation::ofUri(server_->uri(name)));
        }
        dm().connection.open();
        for (const QString& r : rows)
            sql(r);
        w().activate();
        QVERIFY(dm().customerTable.isActive() && dm().callTable.isActive());
    }
    void sql(const QString& statement)
    {
        QSqlQuery q(dm().connection.database());
        QVERIFY2(q.exec(statement), qPrintable(statement + QLatin1Char('\n') + q.lastError().text()));
    }
    // The rows the server holds, one "a|b|…" line each.
    QStringList held(const QString& statement)
    {
        QStringList out;
        QSqlQuery q(dm().connection.database());
        if (!q.exec(statement))
            return {q.lastError().text()};
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            out << row.join(QLatin1Char('|'));
        }
        return out;
    }
    QStringList search(const QString& list, const QString& field, const QString& text)
    {
        auto* box = named<QComboBox>(&w(), list + QStringLiteral("SearchField"));
        box->setCurrentIndex(box->findText(field, Qt::MatchFixedString));
        if (box->currentIndex() < 0)
            return {QStringLiteral("no field ") + field};
        named<QLineEdit>(&w(), list + QStringLiteral("SearchText"))->setText(text);
        named<QPushButton>(&w(), list + QStringLiteral("SearchButton"))->click();
        DataSet& ds = list == QLatin1String("customer") ? dm().customerTable : dm().callTable;
        return sorted(column(ds, QStringLiteral("联系人")));
    }
    // The customer the caller lookup finds for a number ("" for none).
    QString caller(const QString& number)
    {
        DataSet found(&dm().connection, QStringLiteral("testCaller"));
        found.setStatement(WrittenStatement::of(dm().connection.hasNumberIndex() ? indexedLookupStatement(number)
                                                                                 : digitsLookupStatement(number),
                                                QStringLiteral("客户数据")));
        found.open();
        if (!testutil::readThrough(found))
            return QStringLiteral("the lookup was not read to its end");
        return found.eof() ? QString() : found.text(QStringLiteral("联系人"));
    }
    bool runMaintenance(void (Maintenance::*handler)())
    {
        Maintenance& m = *w().maintenance();
        QSignalSpy ended(&m, &Maintenance::workEnded);
        (m.*handler)();
        return !m.work() || ended.wait(60000);
    }
    std::unique_ptr<ImportWindow> importWindow(ImportWindow::Variant v, const QString& file)
    {
        ImportConnection& c = v == ImportWindow::Variant::Excel ? dm().excelFile : dm().accessFile;
        c.close();
        c.setFile(file);
        c.open();
        if (v == ImportWindow::Variant::Excel)
            return std::make_unique<ExcelImportWindow>(dm());
        return std::make_unique<AccessImportWindow>(dm());
    }
    // Selects the table, sets the mapping's numbers where given and imports.
    void importTable(ImportWindow& iw, const QString& table, const QStringList& numbers = {})
    {
        auto* tables = named<QListWidget>(&iw, QStringLiteral("tableList"));
        const auto items = tables->findItems(table, Qt::MatchExactly);
        QVERIFY2(!items.isEmpty(), qPrintable(table));
        tables->setCurrentItem(items.first());
        for (int i = 0; i < numbers.size(); ++i)
            named<QLineEdit>(&iw, QStringLiteral("mappingNumber/") + QString::number(i))->setText(numbers[i]);
        named<QPushButton>(&iw, QStringLiteral("importButton"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!iw.isRunning(), 60000);
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<bool>("server");
        QTest::newRow("server") << true;
        QTest::newRow("file") << false;
    }
    void initTestCase()
    {
        server_ = std::make_unique<testutil::PrivatePostgres>();
        QVERIFY2(server_->error().isEmpty(), qPrintable(server_->error()));
    }
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        messages_.clear();
        reports_.clear();
        setMessageSink([this](const QString& t) { messages_ << t; });
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        f_.reset();
        setMessageSink({});
        errorreport::setSink({});
        QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
    }

    // The card's choice lists come from the server's dictionary, and an item
    // stored in the editor is on the server and in the list.
    void dictionaryListsAndNewItems()
    {
        openDesk({QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '销售部'), ('分类1', '批发'),"
                                 " ('职务', '经理'), ('其他', '不显示')"),
                  QStringLiteral("insert into 客户数据 (联系人, 分类1) values ('甲', '零售')")});
        auto* category = named<QComboBox>(&w(), QStringLiteral("category1Field"));
        QCOMPARE(itemsOf(category), QStringList{"批发"});
        QCOMPARE(itemsOf(named<QComboBox>(&w(), QStringLiteral("departmentField"))), QStringList{"销售部"});
        QCOMPARE(category->currentText(), QStringLiteral("零售"));
        // A double click opens the editor on the field's item; 添加 and 保存
        // store the new value under that item.
        int shown = -1;
        QTimer::singleShot(0, [&] {
            auto* editor = qobject_cast<DictionaryWindow*>(QApplication::activeModalWidget());
            QVERIFY(editor);
            QVERIFY(testutil::readThrough(dm().dictionaryTable));
            shown = named<DBGrid>(editor, QStringLiteral("valueGrid"))->model()->rowCount();
            named<QPushButton>(editor, QStringLiteral("addButton"))->click();
            dm().dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("代理"));
            named<QPushButton>(editor, QStringLiteral("saveButton"))->click();
            named<QPushButton>(editor, QStringLiteral("backButton"))->click();
        });
        emit static_cast<DBComboBox*>(category)->doubleClicked();
        QCOMPARE(shown, 1);
        QCOMPARE(held(QStringLiteral("select 项目, 内容 from 字典 where 项目 = '分类1' order by id")),
                 (QStringList{"分类1|批发", "分类1|代理"}));
        QCOMPARE(itemsOf(category), (QStringList{"批发", "代理"}));
        // A value chosen from the list is stored with the customer.
        const int at = category->findText(QStringLiteral("代理"));
        category->showPopup();
        category->setCurrentIndex(at);
        emit category->textActivated(QStringLiteral("代理"));
        category->hidePopup();
        dm().customerTable.post();
        QCOMPARE(held(QStringLiteral("select 分类1 from 客户数据")), QStringList{"代理"});
    }

    // The field search of both lists, the phone fields by their digits, the
    // key and the Latin names the server keeps in lower case.
    void fieldSearchesOfBothLists()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人, 手机, 电话, 分类2, EMAIL, QQ) values "
                                 "('甲', '+86 138-1234-5678', null, 'O''Brien', 'Jia@Example.com', '10001'),"
                                 "('乙', null, '(0571) 8765-4321', '华东', 'yi@example.com', '20002'),"
                                 "('丙', null, null, '华东', null, null)"),
                  QStringLiteral("insert into 来电数据 (电话, 联系人, 日期, 时间, EMAIL) values "
                                 "('075588881234', 'O''Brien', '2008-7-5', '9:01:00', 'ob@example.com'),"
                                 "('02166660000', '王', '2008-7-5', '17:30:00', null),"
                                 "('075512345678', null, '2008-7-6', '8:00:00', null)")});
        QCOMPARE(search("customer", "分类2", "O'B"), QStringList{"甲"});
        QCOMPARE(search("customer", "分类2", "华"), (QStringList{"丙", "乙"}));
        QCOMPARE(search("customer", "手机", "13812345678"), QStringList{"甲"});
        QCOMPARE(search("customer", "电话", "057187654321"), QStringList{"乙"});
        QCOMPARE(search("customer", "EMAIL", "example"), (QStringList{"乙", "甲"}));
        QCOMPARE(search("customer", "QQ", "0002"), QStringList{"乙"});
        // The key is a number: part of it finds it as on the desk's own file.
        QCOMPARE(search("customer", "ID", "2"), QStringList{"乙"});
        QCOMPARE(search("call", "电话", "0755"), (QStringList{"", "O'Brien"}));
        QCOMPARE(search("call", "联系人", "O'B"), QStringList{"O'Brien"});
        QCOMPARE(search("call", "EMAIL", "ob@"), QStringList{"O'Brien"});
        QCOMPARE(search("call", "联系人", "_"), (QStringList{"O'Brien", "王"}));
    }

    void callListDateSearch()
    {
        openDesk({QStringLiteral("insert into 来电数据 (电话, 日期, 时间) values "
                                 "('1', '2008-7-5', '9:01:00'), ('2', '2008-7-5', '17:30:00'),"
                                 "('3', '2008-7-6', '8:00:00'), ('4', '2008-12-15', '8:00:00')")});
        DataSet& calls = dm().callTable;
        named<UpDownBox>(&w(), QStringLiteral("callYearBox"))->setValue(2008);
        named<UpDownBox>(&w(), QStringLiteral("callMonthBox"))->setValue(7);
        named<UpDownBox>(&w(), QStringLiteral("callDayBox"))->setValue(4);
        named<UpDownBox>(&w(), QStringLiteral("callDayBox"))->stepBy(1);
        QCOMPARE(sorted(column(calls, QStringLiteral("电话"))), (QStringList{"1", "2"}));
        named<UpDownBox>(&w(), QStringLiteral("callMonthBox"))->stepBy(5);
        named<UpDownBox>(&w(), QStringLiteral("callDayBox"))->setValue(14);
        named<UpDownBox>(&w(), QStringLiteral("callDayBox"))->stepBy(1);
        QCOMPARE(column(calls, QStringLiteral("电话")), QStringList{"4"});
    }

    // The tree is rebuilt from the server's customers, and a click on a
    // node lists that node's customers.
    void categoryTreeRebuildAndSearch()
    {
        writeTextLines(CustomerList::searchListPath(), {QStringLiteral("分类1"), QStringLiteral("分类2")});
        openDesk({QStringLiteral("insert into 客户数据 (联系人, 分类1, 分类2) values "
                                 "('c1','零售','华南'), ('c2','批发','华东'), ('c3','零售','华东'),"
                                 "('c4','零售','华南'), ('c5','',null)")});
        QVERIFY(w().customerList()->rebuildTreeNow({QStringLiteral("分类1"), QStringLiteral("分类2")}));
        QCOMPARE(w().customerList()->treeNodes().size(), 5);  // 零售 华南 华东, 批发 华东
        auto* tree = named<QTreeView>(&w(), QStringLiteral("categoryTree"));
        QModelIndex retail;
        for (int i = 0; i < tree->model()->rowCount(); ++i)
            if (tree->model()->index(i, 0).data().toString() == QStringLiteral("零售"))
                retail = tree->model()->index(i, 0);
        QVERIFY(retail.isValid());
        tree->setCurrentIndex(retail);
        w().customerList()->searchTreeNode();
        QCOMPARE(sorted(column(dm().customerTable, QStringLiteral("联系人"))), (QStringList{"c1", "c3", "c4"}));
    }

    // A workbook's and an Access file's rows go to the server's customers
    // (on the bulk path: the rows bring no keys), and the caller lookup
    // finds them; calls are imported the same way.
    void importIntoCustomersAndCalls_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("rows");
        const int excel = int(ImportWindow::Variant::Excel), access = int(ImportWindow::Variant::Access);
        QTest::newRow("xls") << excel << transferFixture("book.xls") << "客户资料$" << 4;
        QTest::newRow("xlsx") << excel << transferFixture("book.xlsx") << "客户资料$" << 4;
        QTest::newRow("access") << access << accessFixture("DateTestDatabase.mdb") << "DateTest" << 6;
    }
    void importIntoCustomersAndCalls()
    {
        QFETCH(int, variant);
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(int, rows);
        if (!QFile::exists(file))
            QSKIP("the sample Access databases (shared/fixtures beside the repository) are absent");
        openDesk();
        auto iw = importWindow(ImportWindow::Variant(variant), file);
        // Access window: 联系人 is 1.
        importTable(*iw, table,
                    variant == int(ImportWindow::Variant::Access) ? QStringList{"0", "0", "0", "0", "0", "1"}
                                                                  : QStringList{});
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].startsWith(QStringLiteral("共完成")), qPrintable(messages_[0]));
        QCOMPARE(held(QStringLiteral("select count(*) from 客户数据")), QStringList{QString::number(rows)});
        QCOMPARE(dm().customerTable.recordCount(), rows);
        if (variant == int(ImportWindow::Variant::Excel)) {
            QCOMPARE(held(QStringLiteral("select 联系人, email from 客户数据 where 手机 = '13912345678'")),
                     QStringList{"李四|ls@example.com"});
            QCOMPARE(caller(QStringLiteral("13912345678")), QStringLiteral("李四"));
        }
        // The calls take rows the same way.
        ImportDataSet& source = variant == int(ImportWindow::Variant::Excel) ? dm().excelTable : dm().accessTable;
        QVERIFY(source.isActive());
        const RunOutcome out = importRows(dm().connection, QStringLiteral("来电数据"), source,
                                          {QStringLiteral("联系人")}, {QStringLiteral("1")}, {});
        QVERIFY2(out.error.isEmpty(), qPrintable(out.error));
        QCOMPARE(held(QStringLiteral("select count(*) from 来电数据")), QStringList{QString::number(out.stored)});
        QVERIFY(out.stored > 0);
    }

    // The import window's 导出数据: the customer list goes to the end of the
    // sheet, newest first.
    void customerListOntoAWorkbook()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人, 手机, EMAIL) values ('甲', '13900000001', 'a@x.cn'),"
                                 " ('乙', '13900000002', null)")});
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("book.xlsx"));
        QVERIFY(QFile::copy(transferFixture(QStringLiteral("book.xlsx")), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        auto iw = importWindow(ImportWindow::Variant::Excel, file);
        auto* tables = named<QListWidget>(iw.get(), QStringLiteral("tableList"));
        tables->setCurrentItem(tables->findItems(QStringLiteral("客户资料$"), Qt::MatchExactly).value(0));
        named<QPushButton>(iw.get(), QStringLiteral("exportButton"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(!iw->isRunning(), 60000);
        QCOMPARE(messages_, QStringList{"共完成2条数据导出完成"});
        iw.reset();
        const QList<xlsread::SheetCells> sheets = xlsread::readXlsx(file);
        QVERIFY(!sheets.isEmpty());
        const QList<QStringList>& rows = sheets[0].rows;
        QCOMPARE(rows.value(rows.size() - 2).value(0), QStringLiteral("乙"));
        QCOMPARE(rows.value(rows.size() - 1).value(0), QStringLiteral("甲"));
        QVERIFY(rows.last().contains(QStringLiteral("a@x.cn")));
    }

    // Rows bringing their own keys, then customers stored without: the
    // server gives each new customer a key past the imported ones.
    void importedKeysThenNewCustomers()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人) values ('原有')")});
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("ids.csv"));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write(QStringLiteral("ID,联系人\r\n7,张三\r\n,王五\r\n9,李四\r\n").toUtf8());
        csv.close();
        auto iw = importWindow(ImportWindow::Variant::Excel, file);
        importTable(*iw, QStringLiteral("ids.csv"));
        QCOMPARE(messages_, QStringList{"共完成3条数据导入完成"});
        QCOMPARE(held(QStringLiteral("select id, 联系人 from 客户数据 order by id")),
                 (QStringList{"1|原有", "7|张三", "8|王五", "9|李四"}));
        DataSet& kh = dm().customerTable;
        kh.append();
        kh.setValue(QStringLiteral("联系人"), QStringLiteral("新来的"));
        kh.post();
        QCOMPARE(held(QStringLiteral("select id from 客户数据 where 联系人 = '新来的'")), QStringList{"10"});
    }

    // Both lists go to .xls and .xlsx as the grid shows them.
    void exportBothLists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << QStringLiteral("列表.xls");
        QTest::newRow("xlsx") << QStringLiteral("列表.xlsx");
    }
    void exportBothLists()
    {
        QFETCH(QString, name);
        openDesk({QStringLiteral("insert into 客户数据 (联系人, EMAIL) values ('甲', 'a@x.cn'), ('乙', null)"),
                  QStringLiteral("insert into 来电数据 (电话, 联系人) values ('075588881234', '丙')")});
        ExcelExport& ex = *w().excelExport();
        const QString target = folder_ + name;
        ex.setFileChooser([&](QWidget*, const QString&, const QString& filters, QString* selected) {
            for (const QString& f : filters.split(QStringLiteral(";;")))
                if (f.contains(QStringLiteral("*.") + QFileInfo(target).suffix() + QLatin1Char(')')))
                    *selected = f;
            return target;
        });
        for (const bool calls : {false, true}) {
            QFile::remove(target);
            QSignalSpy ended(&ex, &ExcelExport::ended);
            QTimer::singleShot(0, [] {
                auto* fields = qobject_cast<ExportFieldsWindow*>(QApplication::activeModalWidget());
                QVERIFY(fields);
                fields->addAllFields();
                named<QPushButton>(fields, QStringLiteral("backButton"))->click();
            });
            calls ? ex.exportCalls() : ex.exportCustomers();
            QVERIFY(!ex.running() || ended.wait(60000));
            QVERIFY2(reports_.isEmpty(), qPrintable(reports_.join('\n')));
            const QList<xlsread::SheetCells> sheets =
                name.endsWith(QStringLiteral(".xlsx")) ? xlsread::readXlsx(target) : xlsread::readXls(target);
            QCOMPARE(sheets.size(), 1);
            const QList<QStringList>& cells = sheets[0].rows;
            QCOMPARE(cells.size(), calls ? 2 : 3);
            const int contact = int(cells[0].indexOf(QStringLiteral("联系人")));
            QVERIFY(contact >= 0);
            QCOMPARE(cells[1][contact], calls ? QStringLiteral("丙") : QStringLiteral("乙"));
            // The header spells the names as the desk's own file does.
            QVERIFY2(cells[0].contains(QStringLiteral("EMAIL")), qPrintable(cells[0].join(',')));
        }
    }

    void clearingCustomersAndCalls()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人) values ('甲'), ('乙')"),
                  QStringLiteral("insert into 来电数据 (电话) values ('1')"),
                  QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '销售部')")});
        whenModal(QStringLiteral("是"));
        QVERIFY(runMaintenance(&Maintenance::clearCustomers));
        QCOMPARE(held(QStringLiteral("select count(*) from 客户数据")), QStringList{"0"});
        QVERIFY2(w().panelText(MainWindow::MessagePanel).startsWith(QStringLiteral("已清空客户数据。")),
                 qPrintable(w().panelText(MainWindow::MessagePanel)));
        QCOMPARE(held(QStringLiteral("select count(*) from 来电数据")), QStringList{"1"});
        QCOMPARE(dm().customerTable.recordCount(), 0);
        whenModal(QStringLiteral("是"));
        QVERIFY(runMaintenance(&Maintenance::clearCalls));
        QCOMPARE(held(QStringLiteral("select count(*) from 来电数据")), QStringList{"0"});
        QCOMPARE(held(QStringLiteral("select count(*) from 字典")), QStringList{"1"});
        QCOMPARE(dm().callTable.recordCount(), 0);
        // The server keeps its own backups; the file is copied before each clearing.
        QCOMPARE(Maintenance::clearingBackups().size(), onServer() ? 0 : 2);
    }

    void saveCallAsNewCustomer()
    {
        openDesk({QStringLiteral("insert into 来电数据 (电话, 手机, 联系人, 公司名称, EMAIL, QQ, 日期) values "
                                 "('075588881234', '13900001111', '王先生', '明月公司', 'w@x.cn', '123', '2026-12-1')")});
        w().setCardSource(&dm().callSource);
        dm().callTable.first();
        named<QPushButton>(&w(), QStringLiteral("saveAsCustomerButton"))->click();
        QCOMPARE(held(QStringLiteral("select 联系人, 公司名称, 电话, 手机, email, qq from 客户数据")),
                 QStringList{"王先生|明月公司|075588881234|13900001111|w@x.cn|123"});
        QCOMPARE(w().panelText(MainWindow::MessagePanel), QStringLiteral("已存为新客户：王先生 明月公司"));
        QCOMPARE(caller(QStringLiteral("13900001111")), QStringLiteral("王先生"));
    }

    void callStatisticsFigures()
    {
        openDesk({QStringLiteral(
            "insert into 来电数据 (手机, 电话, 日期, 时间, 联系人) values "
            "('13900001111', null, '2026-12-1', '9:05:00', '张三'),"
            "('13900001111', null, '2026-12-1', '09:45:00', '张三'),"
            "('', '057163010428', '2026-12-3', '14:00:00', null),"
            "('13900001111', null, '2026-12-7', '23:59:59', '张三'),"
            "(null, '057163010428', '2026-11-20', '10:00:00', null)")});
        CallStatisticsWindow sw(&dm().connection);
        sw.setRange(QDate(2026, 12, 1), QDate(2026, 12, 7));
        QSignalSpy computed(&sw, &CallStatisticsWindow::computed);
        sw.compute();
        QTRY_COMPARE(computed.count(), 1);
        const CallStatistics& s = sw.statistics();
        QCOMPARE(s.total, qint64(4));
        QCOMPARE(s.known, qint64(3));
        QCOMPARE(s.perPeriod, (QVector<qint64>{2, 0, 1, 0, 0, 0, 1}));
        QCOMPARE(s.perHour[9], qint64(2));
        QCOMPARE(s.perHour[14], qint64(1));
        QCOMPARE(s.perHour[23], qint64(1));
        QCOMPARE(s.frequentNumbers.size(), 2);
        QCOMPARE(s.frequentNumbers[0].number, QStringLiteral("13900001111"));
        QCOMPARE(s.frequentNumbers[0].calls, qint64(3));
        QCOMPARE(s.frequentNumbers[1].number, QStringLiteral("057163010428"));
    }

    // The list printed as the grid shows it, its columns spelt as on the
    // desk's own file.
    void printingTheList()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人, EMAIL) values ('甲', 'a@x.cn'), ('乙', 'b@x.cn')")});
        const PrintedList list = listToPrint(QStringLiteral("客户列表"), dm().customerTable,
                                             {QStringLiteral("联系人"), QStringLiteral("EMAIL")}, 25);
        QCOMPARE(list.totalRows, 2);
        QCOMPARE(list.rows[0], (QStringList{"乙", "b@x.cn"}));
        QVERIFY2(w().listColumnsToPrint().contains(QStringLiteral("EMAIL")),
                 qPrintable(w().listColumnsToPrint().join(',')));
        // 打印客户资料 from the window, to a PDF file.
        const QString pdf = folder_ + QStringLiteral("客户资料.pdf");
        auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        QSignalSpy ended(&w(), &MainWindow::printingEnded);
        w().printRecordsTo(printer);
        QVERIFY(ended.wait(30000));
        QVERIFY(ended.first().first().toBool());
        QFile printed(pdf);
        QVERIFY(printed.open(QIODevice::ReadOnly));
        QVERIFY(printed.readAll().startsWith("%PDF"));
    }

    // The grids, the search fields and a saved layout spell the columns as
    // the desk's own file does (ID, EMAIL, QQ, MSN), not as the server
    // folds them.
    void columnNamesAsTheProgramSpellsThem()
    {
        openDesk({QStringLiteral("insert into 客户数据 (联系人) values ('甲')")});
        const QStringList fields = dm().customerTable.fieldNames();
        for (const char* name : {"ID", "EMAIL", "QQ", "MSN"})
            QVERIFY2(fields.contains(QString::fromLatin1(name)), qPrintable(fields.join(',')));
        QVERIFY(itemsOf(named<QComboBox>(&w(), QStringLiteral("callSearchField"))).contains(QStringLiteral("EMAIL")));
        auto* grid = named<DBGrid>(&w(), QStringLiteral("customerGrid"));
        QStringList captions;
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            captions << grid->model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(captions.contains(QStringLiteral("EMAIL")) && captions.contains(QStringLiteral("ID")),
                 qPrintable(captions.join(',')));
        named<QPushButton>(&w(), QStringLiteral("customerSaveLayoutButton"))->click();
        QStringList saved;
        for (const GridColumn& c : grid->columnLayout())
            saved << c.fieldName;
        QVERIFY2(saved.contains(QStringLiteral("EMAIL")), qPrintable(saved.join(',')));
        // The file another desk reads holds them so too.
        QFile file(CustomerList::gridLayoutPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVector<layoutfile::Column> written;
        QString error;
        QVERIFY2(layoutfile::read(file.readAll(), &written, &error), qPrintable(error));
        QStringList names;
        for (const layoutfile::Column& c : written)
            names << c.fieldName;
        QVERIFY2(names.contains(QStringLiteral("EMAIL")) && names.contains(QStringLiteral("ID")), qPrintable(names.join(',')));
    }
};

QTEST_MAIN(TestServerFeatures)
#include "test_serverfeatures.moc"
