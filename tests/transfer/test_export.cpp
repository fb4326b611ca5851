// The export: field selection window, one or several workbooks, the three
// file kinds, failures.  Workbooks are read back with freexl (.xls) or by
// unzipping them (.xlsx).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

#include "app/message.h"
#include "db/datam.h"
#include "testutil.h"
#include "transfer/excelexport.h"
#include "transfer/exportfile.h"
#include "transfer/select_fieldname.h"
#include "xlsread.h"

namespace {

// Acts on the field selection window once it is up.
void onFieldWindow(std::function<void(TdaoChu_fieldw&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* w = qobject_cast<TdaoChu_fieldw*>(QApplication::activeModalWidget());
        if (!w) {
            onFieldWindow(act);
            return;
        }
        act(*w);
    });
}

// Picks the named fields in order, optionally ticks the limit, and returns.
void pick(const QStringList& fields, std::optional<int> limit = std::nullopt)
{
    onFieldWindow([fields, limit](TdaoChu_fieldw& w) {
        for (const QString& f : fields) {
            const auto found = w.ListBox1->findItems(f, Qt::MatchFixedString);
            w.ListBox1->setCurrentItem(found.first());
            w.Button1Click();
        }
        if (limit) {
            w.CheckBox1->setChecked(true);
            w.SpinEdit1->setValue(*limit);
        }
        w.Button6->click();
    });
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT
private:
    QString folder, db;
    std::unique_ptr<TDataModule1> dm;
    std::unique_ptr<QWidget> owner;
    QComboBox* outList = nullptr;
    std::unique_ptr<ExcelExport> ex;
    QString fileName;  // what the save dialog answers
    QString filter;
    QStringList messages;

    // A fresh program folder with `customers` customers, lists open.
    void start(int customers)
    {
        ex.reset();
        owner.reset();
        dm.reset();
        folder = testutil::makeProgramFolder();
        db = folder + QStringLiteral("data/web.mdb");
        if (customers)
            testutil::addCustomers(db, customers);
        dm = std::make_unique<TDataModule1>();
        owner = std::make_unique<QWidget>();
        outList = new QComboBox(owner.get());
        ex = std::make_unique<ExcelExport>(*dm, outList, owner.get());
        ex->setFileChooser([this](QWidget*, const QString&, const QString&, QString* selected) {
            *selected = filter;
            return fileName;
        });
        filter.clear();
        dm->kehutable.setCommandText(QStringLiteral("select * from 客户数据 order by id desc"));
        dm->kehutable.open();
        dm->laidianTel.setCommandText(QStringLiteral("select * from 来电数据 order by id desc"));
        dm->laidianTel.open();
    }
    QString file(const QString& name) const { return folder + name; }
    QStringList itemsOfCombo() const
    {
        QStringList r;
        for (int i = 0; i < outList->count(); ++i)
            r << outList->itemText(i);
        return r;
    }
    QStringList filesIn() const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        setMessageSink([this](const QString& m) { messages << m; });
    }
    void init() { messages.clear(); }

    void fieldWindowEditsListAndLimit();
    void oneWorkbookHoldsEveryRecordAsText();
    void limitSpreadsRecordsOverNumberedWorkbooks();
    void rowsPastSheetLimitContinueOnNextSheet();
    void emptyColumnListAndEmptyList();
    void failureLeavesNoFileAndShowsNotice();
    void xlsxAndCsv();
    void callsExportToo();
};

void TestExport::fieldWindowEditsListAndLimit()
{
    int limit = 5;
    TdaoChu_fieldw w({QStringLiteral("ID"), QStringLiteral("联系人"), QStringLiteral("EMAIL")}, limit);
    QCOMPARE(w.windowTitle(), QStringLiteral("选择导出字段"));
    QCOMPARE(w.size(), QSize(428, 390));
    QVERIFY(!w.CheckBox1->isChecked());
    QVERIFY(!w.SpinEdit1->isEnabled());

    w.Button1Click();  // nothing selected
    QCOMPARE(messages, QStringList{QStringLiteral("请在左边列表中选择一个字段！")});
    w.ListBox1->setCurrentRow(2);
    w.Button1Click();
    w.Button1Click();  // refused: already there
    emit w.ListBox1->itemDoubleClicked(w.ListBox1->item(0));
    QCOMPARE(w.chosenFields(), (QStringList{"EMAIL"}));
    w.ListBox1->setCurrentRow(0);
    emit w.ListBox1->itemDoubleClicked(w.ListBox1->item(0));
    QCOMPARE(w.chosenFields(), (QStringList{"EMAIL", "ID"}));

    w.ListBox2->setCurrentRow(-1);
    w.Button4Click();
    QCOMPARE(messages.last(), QStringLiteral("请在右边的列表中选择一个字段！"));
    w.ListBox2->setCurrentRow(0);
    w.Button4Click();
    QCOMPARE(w.chosenFields(), (QStringList{"ID"}));
    w.Button7Click();
    QCOMPARE(w.chosenFields(), (QStringList{"ID", "联系人", "EMAIL"}));
    w.ListBox2->setCurrentRow(1);
    w.ListBox2DblClick();
    QCOMPARE(w.chosenFields(), (QStringList{"ID", "EMAIL"}));
    w.Button8Click();
    QVERIFY(w.chosenFields().isEmpty());

    // 返回 without the tick keeps the limit; with it the spin box's number,
    // negative ones too, goes in.
    w.SpinEdit1->setValue(3);
    w.Button6Click();
    QCOMPARE(limit, 5);
    w.CheckBox1->setChecked(true);
    QVERIFY(w.SpinEdit1->isEnabled());
    w.SpinEdit1->setValue(-2);
    w.Button6Click();
    QCOMPARE(limit, -2);
}

void TestExport::oneWorkbookHoldsEveryRecordAsText()
{
    start(3);
    const QString longText = QString(400, QChar(0x4E8B)) + QStringLiteral("末");
    testutil::execute(db, QStringLiteral("update 客户数据 set 事项 = '%1', 地址 = '北京市''朝阳区' where id = 2")
                              .arg(longText));
    dm->kehutable.moveTo(2);  // the export starts from the first record anyway
    fileName = file(QStringLiteral("kh"));  // typed without an extension
    pick({QStringLiteral("事项"), QStringLiteral("联系人"), QStringLiteral("id"), QStringLiteral("地址")});
    ex->N4Click();

    QCOMPARE(filesIn(), QStringList{QStringLiteral("kh.xls")});
    const auto read = xlsread::readXls(file(QStringLiteral("kh.xls")));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].name, QStringLiteral("客户数据"));
    const QList<QStringList> expected{{"事项", "联系人", "ID", "地址"},
                                      {"", "客户3", "3", ""},
                                      {longText, "客户2", "2", "北京市'朝阳区"},
                                      {"", "客户1", "1", ""}};
    QCOMPARE(read[0].rows, expected);
    QCOMPARE(itemsOfCombo(), (QStringList{"事项", "联系人", "ID", "地址"}));
    QVERIFY(!dm->kehutable.controlsDisabled());
    QCOMPARE(dm->kehutable.recNo(), 3);  // moved past the records written
    QVERIFY(messages.isEmpty());         // no message on success
}

void TestExport::limitSpreadsRecordsOverNumberedWorkbooks()
{
    start(25000);
    // Capitals: the numbered names still land beside the chosen one.
    fileName = file(QStringLiteral("KH.XLS"));
    pick({QStringLiteral("联系人"), QStringLiteral("手机")}, 1);
    ex->N4Click();
    QCOMPARE(dm->exportFileLimit, 1);
    QCOMPARE(filesIn(), (QStringList{"KH1.xls", "KH2.xls", "KH3.xls"}));
    const QList<int> sizes{10000, 10000, 5000};
    int next = 25000;  // newest first
    for (int k = 0; k < 3; ++k) {
        const auto read = xlsread::readXls(file(QStringLiteral("KH%1.xls").arg(k + 1)));
        QCOMPARE(read.size(), 1);
        QCOMPARE(read[0].rows.size(), sizes[k] + 1);
        QCOMPARE(read[0].rows[0], (QStringList{"联系人", "手机"}));
        QCOMPARE(read[0].rows[1][0], QStringLiteral("客户%1").arg(next));
        next -= sizes[k];
        QCOMPARE(read[0].rows.last()[0], QStringLiteral("客户%1").arg(next + 1));
    }

    // The limit outlives the window: the next export, box unticked, uses it.
    fileName = file(QStringLiteral("again.xls"));
    pick({QStringLiteral("联系人")});
    ex->N4Click();
    QCOMPARE(filesIn().filter(QStringLiteral("again")), (QStringList{"again1.xls", "again2.xls", "again3.xls"}));

    // A negative limit counts as none: one workbook under the chosen name.
    fileName = file(QStringLiteral("all.xls"));
    pick({QStringLiteral("联系人")}, -1);
    ex->N4Click();
    QCOMPARE(filesIn().filter(QStringLiteral("all")), QStringList{QStringLiteral("all.xls")});
    QCOMPARE(xlsread::readXls(file(QStringLiteral("all.xls")))[0].rows.size(), 25001);
}

void TestExport::rowsPastSheetLimitContinueOnNextSheet()
{
    start(70000);
    fileName = file(QStringLiteral("big.xls"));
    pick({QStringLiteral("联系人")});
    ex->N4Click();
    const auto read = xlsread::readXls(fileName);
    QCOMPARE(read.size(), 2);
    QCOMPARE(read[1].name, QStringLiteral("客户数据(2)"));
    QCOMPARE(read[0].rows.size(), 65536);
    QCOMPARE(read[1].rows.size(), 1 + 70000 - 65535);
    QCOMPARE(read[1].rows[0][0], QStringLiteral("联系人"));
    QCOMPARE(read[0].rows.last()[0], QStringLiteral("客户%1").arg(70000 - 65534));
    QCOMPARE(read[1].rows[1][0], QStringLiteral("客户%1").arg(70000 - 65535));
    QCOMPARE(read[1].rows.last()[0], QStringLiteral("客户1"));
}

void TestExport::emptyColumnListAndEmptyList()
{
    start(3);
    // No fields: every record walked, a workbook without cells.
    fileName = file(QStringLiteral("none.xls"));
    pick({});
    ex->N4Click();
    auto read = xlsread::readXls(fileName);
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].columns, 0);
    QCOMPARE(dm->kehutable.recNo(), 3);

    // An empty list: the header only; with a limit, no workbook and no word.
    testutil::execute(db, QStringLiteral("delete from 客户数据"));
    dm->kehutable.close();
    dm->kehutable.open();
    fileName = file(QStringLiteral("empty.xls"));
    pick({QStringLiteral("联系人")});
    ex->N4Click();
    read = xlsread::readXls(fileName);
    QCOMPARE(read[0].rows, (QList<QStringList>{{"联系人"}}));
    fileName = file(QStringLiteral("limited.xls"));
    pick({QStringLiteral("联系人")}, 1);
    ex->N4Click();
    QCOMPARE(filesIn(), (QStringList{"empty.xls", "none.xls"}));
    QVERIFY(messages.isEmpty());
}

void TestExport::failureLeavesNoFileAndShowsNotice()
{
    start(3);
    // The chosen name is a folder: the workbook cannot take its place.
    QDir(folder).mkdir(QStringLiteral("kh.xls"));
    fileName = file(QStringLiteral("kh.xls"));
    pick({QStringLiteral("联系人")});
    QString notice;
    testutil::whenModal(QStringLiteral("确定"), &notice);
    ex->N4Click();
    QCOMPARE(notice, ExcelExport::failureText());
    QVERIFY(filesIn().isEmpty());  // no half-written or temporary file left

    // A folder that does not exist.
    fileName = file(QStringLiteral("no/such/kh.xls"));
    pick({QStringLiteral("联系人")});
    notice.clear();
    testutil::whenModal(QStringLiteral("确定"), &notice);
    ex->N4Click();
    QCOMPARE(notice, ExcelExport::failureText());

    // An existing workbook is replaced whole.
    QFile old(file(QStringLiteral("old.xls")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    fileName = old.fileName();
    pick({QStringLiteral("联系人")});
    ex->N4Click();
    QCOMPARE(xlsread::readXls(fileName)[0].rows.size(), 4);
}

void TestExport::xlsxAndCsv()
{
    start(2);
    testutil::execute(db, QStringLiteral("update 客户数据 set 地址 = 'a,\"b\"' where id = 1"));
    fileName = file(QStringLiteral("kh.XLSX"));
    pick({QStringLiteral("联系人"), QStringLiteral("地址")}, 0);
    ex->N4Click();
    auto read = xlsread::readXlsx(fileName);
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].name, QStringLiteral("客户数据"));
    QCOMPARE(read[0].rows, (QList<QStringList>{{"联系人", "地址"}, {"客户2", ""}, {"客户1", "a,\"b\""}}));

    // Typed without extension with the CSV type chosen.
    fileName = file(QStringLiteral("kh"));
    filter = QStringLiteral("CSV 文件，UTF-8(*.csv)");
    pick({QStringLiteral("联系人"), QStringLiteral("地址")});
    ex->N4Click();
    QFile csv(file(QStringLiteral("kh.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QStringLiteral("\xFEFF联系人,地址\r\n客户2,\r\n客户1,\"a,\"\"b\"\"\"\r\n").toUtf8());
}

void TestExport::callsExportToo()
{
    start(0);
    testutil::execute(db, QStringLiteral("insert into 来电数据 (电话, 日期) values ('010-1234', '2026-1-2')"));
    dm->laidianTel.close();
    dm->laidianTel.open();
    fileName = file(QStringLiteral("ld.xls"));
    QStringList offered;
    onFieldWindow([&offered](TdaoChu_fieldw& w) {
        for (int i = 0; i < w.ListBox1->count(); ++i)
            offered << w.ListBox1->item(i)->text();
        w.Button7Click();
        w.close();  // by the title bar: the list is taken all the same
    });
    ex->exportCalls();
    QCOMPARE(offered, dm->laidianTel.fieldNames());
    const auto read = xlsread::readXls(fileName);
    QCOMPARE(read[0].name, QStringLiteral("来电数据"));
    QCOMPARE(read[0].rows.size(), 2);
    QCOMPARE(read[0].rows[0], dm->laidianTel.fieldNames());
    QCOMPARE(read[0].rows[1].mid(0, 4), (QStringList{"1", "010-1234", "", "2026-1-2"}));
}

QTEST_MAIN(TestExport)
#include "test_export.moc"
