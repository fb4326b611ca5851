// The export: field selection window, one or several workbooks, the three
// file kinds, failures, and the long work that writes them while calls keep
// arriving.  Workbooks are read back with freexl (.xls) or by unzipping
// them (.xlsx).

#include <QLineEdit>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>

#include "ui/calls/announcement.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "rules/files/paths.h"
#include "ui/calls/callhandling.h"
#include "rules/calls/callrules.h"
#include "data/work/backgroundwork.h"
#include "data/module/datamodule.h"
#include "ui/kit/windowquestions.h"
#include "ui/kit/workwindow.h"
#include "testutil.h"
#include "ui/transfer/excelexport.h"
#include "rules/formats/exportfile.h"
#include "data/transfer/exportrows.h"
#include "ui/transfer/exportfieldswindow.h"
#include "rules/formats/xlsread.h"

namespace {

// Acts on the field selection window once it is up.
void onFieldWindow(std::function<void(ExportFieldsWindow&)> act)
{
    QTimer::singleShot(0, [act] {
        auto* w = qobject_cast<ExportFieldsWindow*>(QApplication::activeModalWidget());
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
    onFieldWindow([fields, limit](ExportFieldsWindow& w) {
        for (const QString& f : fields) {
            auto* all = testutil::named<QListWidget>(&w, QStringLiteral("allFields"));
            all->setCurrentItem(all->findItems(f, Qt::MatchFixedString).first());
            w.addField();
        }
        if (limit) {
            testutil::named<QCheckBox>(&w, QStringLiteral("limitBox"))->setChecked(true);
            testutil::named<QSpinBox>(&w, QStringLiteral("limitNumber"))->setValue(*limit);
        }
        testutil::named<QPushButton>(&w, QStringLiteral("backButton"))->click();
    });
}

// A progress window of any kind on the screen.
bool progressWindowShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && (qobject_cast<WorkWindow*>(w) || qobject_cast<QProgressDialog*>(w)))
            return true;
    return false;
}

// A progress window that is up, or one that would come up by itself a moment
// later: work whose window is still on its way, a progress dialog not yet
// shown.
bool progressWindowShownOrComing()
{
    if (progressWindowShown() || currentWorkWindow())
        return true;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QProgressDialog*>(w))
            return true;
    return false;
}

qint64 scalar(const QString& file, const QString& sql)
{
    const QVariant v = testutil::valueOf(file, sql);
    return v.isValid() ? v.toLongLong() : -1;
}

// The worker's side of an export, run here on a connection of the test.
struct OwnConnection {
    explicit OwnConnection(const QString& file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("worker"));
        db.setDatabaseName(file);
        db.open();
        DatabaseEngine::of(db).prepareSession(db);
    }
    ~OwnConnection() { QSqlDatabase::removeDatabase(QStringLiteral("worker")); }
    QSqlDatabase db() const { return QSqlDatabase::database(QStringLiteral("worker")); }
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT
private:
    QString folder, db;
    std::unique_ptr<DataModule> dm;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<WindowQuestions> questions;  // the data module's notices, in windows
    std::unique_ptr<ExcelExport> ex;
    QString fileName;  // what the save dialog answers
    QString filter;
    QStringList messages;
    QStringList reports;  // the general error report
    // Called in the middle of a report, while its message box would be up.
    std::function<void()> whileReported;

    // A fresh program folder with `customers` customers, lists open.
    void start(int customers)
    {
        ex.reset();
        questions.reset();
        owner.reset();
        dm.reset();
        folder = testutil::makeProgramFolder();
        db = folder + QStringLiteral("data/web.mdb");
        if (customers)
            testutil::addCustomers(db, customers);
        dm = std::make_unique<DataModule>();
        owner = std::make_unique<QWidget>();
        questions = std::make_unique<WindowQuestions>(*dm, owner.get());
        dm->setQuestions(questions.get());
        ex = std::make_unique<ExcelExport>(*dm, owner.get());
        ex->setFileChooser([this](QWidget*, const QString&, const QString&, QString* selected) {
            *selected = filter;
            return fileName;
        });
        filter.clear();
        dm->customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm->customerTable.open();
        dm->callTable.setQuery(Query::ordered(QStringLiteral("来电数据"), QStringLiteral("ID"), true));
        dm->callTable.open();
        // A large list's first open builds the lookup's index; an export
        // would be refused meanwhile.
        QVERIFY(dm->connection.waitForIndexBuild(60000));
    }
    QString file(const QString& name) const { return folder + name; }
    QStringList filesIn() const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Runs one export to its end (exportCustomers by default); false when it did
    // not end in time.
    bool exportNow(std::function<void()> begin = {})
    {
        QSignalSpy ended(ex.get(), &ExcelExport::ended);
        begin ? begin() : ex->exportCustomers();
        return !ex->running() || ended.wait(120000);
    }

private slots:
    void initTestCase()
    {
        setMessageSink([this](const QString& m) { messages << m; });
        errorreport::setSink([this](const QString& m) {
            reports << m;
            if (whileReported)
                whileReported();
        });
    }
    void init()
    {
        messages.clear();
        reports.clear();
        whileReported = nullptr;
    }
    void cleanup()
    {
        QVERIFY(!BackgroundWork::anyRunning());
        QTRY_VERIFY(!currentWorkWindow());
    }

    void fieldWindowEditsListAndLimit();
    void oneWorkbookHoldsEveryRecordAsText();
    void limitSpreadsRecordsOverNumberedWorkbooks();
    void rowsPastSheetLimitContinueOnNextSheet();
    void emptyColumnListAndEmptyList();
    void failuresAreToldWithNoProgressWindowLeft();
    void xlsxAndCsv();
    void callsExportToo();
    void callsArriveWhileALargeListIsExported();
    void aStoppedExportLeavesNoFile();
    void stopsAndFailuresOfSomeWorkbooks();
    void longTextsAreCutAndCounted();
};

void TestExport::fieldWindowEditsListAndLimit()
{
    ExportFieldsWindow w({QStringLiteral("ID"), QStringLiteral("联系人"), QStringLiteral("EMAIL")}, 5);
    auto* all = testutil::named<QListWidget>(&w, QStringLiteral("allFields"));
    auto* chosen = testutil::named<QListWidget>(&w, QStringLiteral("chosenFields"));
    auto* limitBox = testutil::named<QCheckBox>(&w, QStringLiteral("limitBox"));
    auto* limitNumber = testutil::named<QSpinBox>(&w, QStringLiteral("limitNumber"));
    QCOMPARE(w.windowTitle(), QStringLiteral("选择导出字段"));
    QCOMPARE(w.size(), QSize(428, 390));
    QVERIFY(!limitBox->isChecked());
    QVERIFY(!limitNumber->isEnabled());

    w.addField();  // nothing selected
    QCOMPARE(messages, QStringList{QStringLiteral("请在左边列表中选择一个字段！")});
    all->setCurrentRow(2);
    w.addField();
    w.addField();  // refused: already there
    emit all->itemDoubleClicked(all->item(0));
    QCOMPARE(w.chosenFields(), (QStringList{"EMAIL"}));
    all->setCurrentRow(0);
    emit all->itemDoubleClicked(all->item(0));
    QCOMPARE(w.chosenFields(), (QStringList{"EMAIL", "ID"}));

    chosen->setCurrentRow(-1);
    w.removeField();
    QCOMPARE(messages.last(), QStringLiteral("请在右边的列表中选择一个字段！"));
    chosen->setCurrentRow(0);
    w.removeField();
    QCOMPARE(w.chosenFields(), (QStringList{"ID"}));
    w.addAllFields();
    QCOMPARE(w.chosenFields(), (QStringList{"ID", "联系人", "EMAIL"}));
    chosen->setCurrentRow(1);
    w.removeClicked();
    QCOMPARE(w.chosenFields(), (QStringList{"ID", "EMAIL"}));
    w.removeAllFields();
    QVERIFY(w.chosenFields().isEmpty());

    // 返回 without the tick keeps the limit; with it the spin box's number,
    // negative ones too, goes in.
    limitNumber->setValue(3);
    w.goBack();
    QCOMPARE(w.limit(), 5);
    limitBox->setChecked(true);
    QVERIFY(limitNumber->isEnabled());
    limitNumber->setValue(-2);
    w.goBack();
    QCOMPARE(w.limit(), -2);
}

void TestExport::oneWorkbookHoldsEveryRecordAsText()
{
    start(3);
    const QString longText = QString(400, QChar(0x4E8B)) + QStringLiteral("末");
    testutil::execute(db, QStringLiteral("update 客户数据 set 事项 = '%1', 地址 = '北京市''朝阳区' where id = 2")
                              .arg(longText));
    // Typing on the card that is not stored yet goes into the file too.
    dm->customerTable.moveTo(1);
    dm->customerTable.edit();
    dm->customerTable.setValue(QStringLiteral("联系人"), QStringLiteral("客户2改"));
    fileName = file(QStringLiteral("kh"));  // typed without an extension
    pick({QStringLiteral("事项"), QStringLiteral("联系人"), QStringLiteral("id"), QStringLiteral("地址")});
    QVERIFY(exportNow());

    QCOMPARE(filesIn(), QStringList{QStringLiteral("kh.xls")});
    const auto read = xlsread::readXls(file(QStringLiteral("kh.xls")));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].name, QStringLiteral("客户数据"));
    const QList<QStringList> expected{{"事项", "联系人", "ID", "地址"},
                                      {"", "客户3", "3", ""},
                                      {longText, "客户2改", "2", "北京市'朝阳区"},
                                      {"", "客户1", "1", ""}};
    QCOMPARE(read[0].rows, expected);
    // The list stays where the operator has it.
    QCOMPARE(dm->customerTable.recNo(), 2);
    QCOMPARE(dm->customerTable.state(), DataSet::State::Browse);
    QVERIFY(!dm->customerTable.controlsDisabled());
    QVERIFY(messages.isEmpty());  // no message on success
    QVERIFY(reports.isEmpty());
}

void TestExport::limitSpreadsRecordsOverNumberedWorkbooks()
{
    start(25000);
    // Capitals: the numbered names still land beside the chosen one.
    fileName = file(QStringLiteral("KH.XLS"));
    pick({QStringLiteral("联系人"), QStringLiteral("手机")}, 1);
    QVERIFY(exportNow());
    QCOMPARE(ex->fileLimit(), 1);
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
    QVERIFY(exportNow());
    QCOMPARE(filesIn().filter(QStringLiteral("again")), (QStringList{"again1.xls", "again2.xls", "again3.xls"}));

    // A negative limit counts as none: one workbook under the chosen name.
    fileName = file(QStringLiteral("all.xls"));
    pick({QStringLiteral("联系人")}, -1);
    QVERIFY(exportNow());
    QCOMPARE(filesIn().filter(QStringLiteral("all")), QStringList{QStringLiteral("all.xls")});
    QCOMPARE(xlsread::readXls(file(QStringLiteral("all.xls")))[0].rows.size(), 25001);
}

void TestExport::rowsPastSheetLimitContinueOnNextSheet()
{
    start(70000);
    fileName = file(QStringLiteral("big.xls"));
    pick({QStringLiteral("联系人")});
    QVERIFY(exportNow());
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
    // No field chosen: refused, no file written.
    fileName = file(QStringLiteral("none.xls"));
    pick({});
    QVERIFY(exportNow());
    QCOMPARE(messages, QStringList{ExcelExport::noFieldsText()});
    QVERIFY(filesIn().isEmpty());
    // Nor a word when the file dialog is cancelled.
    messages.clear();
    fileName.clear();
    pick({});
    QVERIFY(exportNow());
    QVERIFY(messages.isEmpty());
    messages.clear();

    // An empty list: the header only; with a limit, no workbook and no word.
    testutil::execute(db, QStringLiteral("delete from 客户数据"));
    dm->customerTable.close();
    dm->customerTable.open();
    fileName = file(QStringLiteral("empty.xls"));
    pick({QStringLiteral("联系人")});
    QVERIFY(exportNow());
    const auto read = xlsread::readXls(fileName);
    QCOMPARE(read[0].rows, (QList<QStringList>{{"联系人"}}));
    fileName = file(QStringLiteral("limited.xls"));
    pick({QStringLiteral("联系人")}, 1);
    QVERIFY(exportNow());
    QCOMPARE(filesIn(), (QStringList{"empty.xls"}));
    QVERIFY(messages.isEmpty());
    QVERIFY(reports.isEmpty());
}

void TestExport::failuresAreToldWithNoProgressWindowLeft()
{
    start(40000);
    // The report's message box waits for the operator: no progress window
    // may come up over it meanwhile.
    bool progressOverReport = false;
    whileReported = [&] { progressOverReport = progressOverReport || progressWindowShownOrComing(); };
    writeFile(file(QStringLiteral("plain.txt")), "x");
    QDir(folder).mkdir(QStringLiteral("kh.xls"));
    struct Case {
        QString chosen;  // the name chosen in the dialog
        QString named;   // what the report names
        QString said;    // what the system said
    };
    const QList<Case> cases{
        // A folder of the chosen name: found only when the workbook is done.
        {file(QStringLiteral("kh.xls")), QDir::toNativeSeparators(file(QStringLiteral("kh.xls"))),
         QStringLiteral("Is a directory")},
        // A "folder" that is a file.
        {file(QStringLiteral("plain.txt/kh.xls")), QDir::toNativeSeparators(file(QStringLiteral("plain.txt"))),
         QStringLiteral("Not a directory")},
        // A folder nobody may write to, root included.
        {QStringLiteral("/proc/kh.xls"), QStringLiteral("/proc"), QStringLiteral("No such file or directory")},
    };
    for (const Case& c : cases) {
        reports.clear();
        fileName = c.chosen;
        pick({QStringLiteral("联系人")});
        QVERIFY(exportNow());
        QCOMPARE(reports.size(), 1);
        const QStringList lines = reports.first().split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), ExcelExport::failureText());
        QVERIFY2(lines.size() == 2 && lines[1].contains(c.named) && lines[1].contains(c.said),
                 qPrintable(reports.first()));
        QTRY_VERIFY(!currentWorkWindow());
        QVERIFY(!progressWindowShown());
    }
    QVERIFY(!progressOverReport);
    QCOMPARE(filesIn(), QStringList{QStringLiteral("plain.txt")});  // no half-written or temporary file left
    QVERIFY(messages.isEmpty());

    // An existing workbook is replaced whole.
    writeFile(file(QStringLiteral("old.xls")), QByteArray(100000, 'x'));
    fileName = file(QStringLiteral("old.xls"));
    pick({QStringLiteral("联系人")});
    QVERIFY(exportNow());
    QCOMPARE(xlsread::readXls(fileName)[0].rows.size(), 40001);
    QCOMPARE(QFileInfo(fileName).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
}

void TestExport::xlsxAndCsv()
{
    start(2);
    testutil::execute(db, QStringLiteral("update 客户数据 set 地址 = 'a,\"b\"' where id = 1"));
    fileName = file(QStringLiteral("kh.XLSX"));
    pick({QStringLiteral("联系人"), QStringLiteral("地址")}, 0);
    QVERIFY(exportNow());
    auto read = xlsread::readXlsx(fileName);
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].name, QStringLiteral("客户数据"));
    QCOMPARE(read[0].rows, (QList<QStringList>{{"联系人", "地址"}, {"客户2", ""}, {"客户1", "a,\"b\""}}));

    // Typed without extension with the CSV type chosen.
    fileName = file(QStringLiteral("kh"));
    filter = QStringLiteral("CSV 文件，UTF-8(*.csv)");
    pick({QStringLiteral("联系人"), QStringLiteral("地址")});
    QVERIFY(exportNow());
    QFile csv(file(QStringLiteral("kh.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QStringLiteral("\xFEFF联系人,地址\r\n客户2,\r\n客户1,\"a,\"\"b\"\"\"\r\n").toUtf8());
}

void TestExport::callsExportToo()
{
    start(0);
    testutil::execute(db, QStringLiteral("insert into 来电数据 (电话, 日期) values ('010-1234', '2026-1-2')"));
    dm->callTable.close();
    dm->callTable.open();
    fileName = file(QStringLiteral("ld.xls"));
    QStringList offered;
    onFieldWindow([&offered](ExportFieldsWindow& w) {
        auto* all = testutil::named<QListWidget>(&w, QStringLiteral("allFields"));
        for (int i = 0; i < all->count(); ++i)
            offered << all->item(i)->text();
        w.addAllFields();
        w.close();  // by the title bar: the list is taken all the same
    });
    QVERIFY(exportNow([this] { ex->exportCalls(); }));
    QCOMPARE(offered, dm->callTable.fieldNames());
    const auto read = xlsread::readXls(fileName);
    QCOMPARE(read[0].name, QStringLiteral("来电数据"));
    QCOMPARE(read[0].rows.size(), 2);
    QCOMPARE(read[0].rows[0], dm->callTable.fieldNames());
    QCOMPARE(read[0].rows[1].mid(0, 4), (QStringList{"1", "010-1234", "", "2026-1-2"}));
}

void TestExport::callsArriveWhileALargeListIsExported()
{
    ex.reset();
    questions.reset();
    owner.reset();
    dm.reset();
    folder = testutil::makeProgramFolder();
    db = folder + QStringLiteral("data/web.mdb");
    testutil::addCustomers(db, 30000);
    testutil::MainFixture m;
    m->activate();
    QVERIFY(m.dm->connection.waitForIndexBuild(60000));
    ExcelExport& e = *m->excelExport();
    e.setFileChooser([this](QWidget*, const QString&, const QString&, QString*) {
        return file(QStringLiteral("all.xls"));
    });
    pick({QStringLiteral("联系人"), QStringLiteral("手机")});
    OwnConnection elsewhere(db);
    QSqlQuery add(elsewhere.db());
    QVERIFY(add.prepare(QStringLiteral("insert into 客户数据 (联系人, 手机) values ('后来的', '13812345678')")));
    QSignalSpy ended(&e, &ExcelExport::ended);
    testutil::named<QAction>(&*m, QStringLiteral("exportCustomersAction"))->trigger();
    QVERIFY(e.running());

    // Meanwhile a customer is added elsewhere, and a known caller rings:
    // announced at once, logged at once and once, shown in the customer list.
    QVERIFY(add.exec());
    testutil::named<QLineEdit>(&*m, QStringLiteral("numberField"))->setText(QStringLiteral("13900000007"));
    QTest::keyClick(testutil::named<QLineEdit>(&*m, QStringLiteral("numberField")), Qt::Key_Return);
    QCOMPARE(testutil::named<Announcement>(&*m, QStringLiteral("announcement"))->text(), knownCallerText);
    m->calls()->finishPending();
    QVERIFY(e.running());  // all of it while the export runs
    QCOMPARE(m.dm->callsWaiting(), 0);
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from 来电数据 where 手机 = '13900000007'")), 1);
    QCOMPARE(m.dm->customerTable.recordCount(), 1);
    QCOMPARE(m.dm->customerTable.text(QStringLiteral("联系人")), QStringLiteral("客户7"));

    // The file holds the whole list as it was when the export began.
    QVERIFY(ended.wait(120000));
    QVERIFY(ended.first().first().toBool());
    const auto read = xlsread::readXls(file(QStringLiteral("all.xls")));
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].rows.size(), 30001);
    QCOMPARE(read[0].rows[1], (QStringList{"客户30000", "13900030000"}));
    QCOMPARE(read[0].rows.last(), (QStringList{"客户1", "13900000001"}));
    // The export left the list as the call made it, and the call was logged once.
    QCOMPARE(m.dm->customerTable.recordCount(), 1);
    QCOMPARE(m.dm->customerTable.text(QStringLiteral("联系人")), QStringLiteral("客户7"));
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from 来电数据")), 1);
    QVERIFY2(reports.isEmpty(), qPrintable(reports.join('\n')));
    QVERIFY(messages.isEmpty());
}

void TestExport::aStoppedExportLeavesNoFile()
{
    start(20000);
    writeFile(file(QStringLiteral("kh.xls")), "earlier");
    fileName = file(QStringLiteral("kh.xls"));
    pick({QStringLiteral("联系人")});
    QSignalSpy ended(ex.get(), &ExcelExport::ended);
    ex->exportCustomers();
    WorkWindow* w = currentWorkWindow();
    QVERIFY(w);
    QVERIFY(w->stopOffered());
    w->pressStop();
    QVERIFY(ended.wait(60000));
    QCOMPARE(ended.first().first().toBool(), false);
    QCOMPARE(filesIn(), QStringList{QStringLiteral("kh.xls")});
    QCOMPARE(contents(file(QStringLiteral("kh.xls"))), QByteArray("earlier"));
    QVERIFY(messages.isEmpty());  // the operator's own choice: nothing to say
    QVERIFY(reports.isEmpty());
}

void TestExport::stopsAndFailuresOfSomeWorkbooks()
{
    start(25000);
    OwnConnection c(db);
    ExportPlan plan;
    plan.statement = QStringLiteral("select * from 客户数据 order by id desc");
    plan.columns = QStringList{QStringLiteral("联系人")};
    plan.fileName = file(QStringLiteral("kh.xls"));
    plan.perWorkbook = 10000;
    plan.sheetName = QStringLiteral("客户数据");

    // Stopped in the second workbook: the first, already written, goes as
    // well, and a file of the second's name stays as it was.
    writeFile(file(QStringLiteral("kh2.xls")), "earlier");
    ExportSteps steps;
    qint64 seen = 0;
    steps.progress = [&](qint64 done, qint64) { seen = done; };
    steps.checkStop = [&] {
        if (seen > 15000)
            throw WorkStopped();
    };
    QVERIFY_THROWS_EXCEPTION(WorkStopped, writeWorkbooks(c.db(), plan, steps));
    QCOMPARE(filesIn(), QStringList{QStringLiteral("kh2.xls")});
    QCOMPARE(contents(file(QStringLiteral("kh2.xls"))), QByteArray("earlier"));

    // A workbook that cannot take its name is told; the others are written,
    // each with its own records.
    QVERIFY(QFile::remove(file(QStringLiteral("kh2.xls"))));
    QVERIFY(QDir(folder).mkdir(QStringLiteral("kh2.xls")));
    QStringList texts;
    steps = ExportSteps();
    steps.text = [&](const QString& t) { texts << t; };
    const ExportReport r = writeWorkbooks(c.db(), plan, steps);
    QCOMPARE(r.records, 25000);
    QCOMPARE(r.written, (QStringList{file(QStringLiteral("kh1.xls")), file(QStringLiteral("kh3.xls"))}));
    QCOMPARE(r.failures.size(), 1);
    QVERIFY2(r.failures[0].contains(QDir::toNativeSeparators(file(QStringLiteral("kh2.xls")))), qPrintable(r.failures[0]));
    QVERIFY(exportFailureText(r).startsWith(ExcelExport::failureText() + QLatin1Char('\n')));
    QCOMPARE(texts.size(), 3);
    QVERIFY(texts[1].contains(QStringLiteral("第 2 个文件（共 3 个）")));
    QCOMPARE(xlsread::readXls(file(QStringLiteral("kh1.xls")))[0].rows[1][0], QStringLiteral("客户25000"));
    const auto third = xlsread::readXls(file(QStringLiteral("kh3.xls")))[0].rows;
    QCOMPARE(third.size(), 5001);
    QCOMPARE(third[1][0], QStringLiteral("客户5000"));
    QCOMPARE(filesIn(), (QStringList{"kh1.xls", "kh3.xls"}));

    // A field the list does not have: nothing is written, and the field is named.
    plan.columns = QStringList{QStringLiteral("联系人"), QStringLiteral("生日")};
    plan.fileName = file(QStringLiteral("x.xls"));
    plan.perWorkbook = 0;
    try {
        writeWorkbooks(c.db(), plan, ExportSteps());
        QFAIL("written without the field");
    } catch (const AppError& e) {
        QVERIFY2(e.message().contains(QStringLiteral("“生日”")), qPrintable(e.message()));
    }
    QVERIFY(!QFile::exists(file(QStringLiteral("x.xls"))));

    // Rows written by others once the export's view is taken do not reach it.
    plan.columns = QStringList{QStringLiteral("联系人")};
    plan.fileName = file(QStringLiteral("view.csv"));
    steps = ExportSteps();
    steps.viewTaken = [&] {
        testutil::execute(db, QStringLiteral("insert into 客户数据 (联系人) values ('后来的')"));
    };
    QCOMPARE(writeWorkbooks(c.db(), plan, steps).records, 25000);
    const QString csv = QString::fromUtf8(contents(plan.fileName));
    QCOMPARE(csv.count(QStringLiteral("\r\n")), 25001);
    QVERIFY(!csv.contains(QStringLiteral("后来的")));
    QCOMPARE(scalar(db, QStringLiteral("select count(*) from 客户数据")), 25001);
}

void TestExport::longTextsAreCutAndCounted()
{
    start(3);
    // Excel's cells hold 32,767 characters; a character outside the basic
    // plane across that limit goes whole.
    const QString long1(40000, QChar(0x4E8B));
    const QString long2 = QString(32766, QLatin1Char('a')) + QString::fromUcs4(U"\U0001F600") + QStringLiteral("tail");
    testutil::execute(db, QStringLiteral("update 客户数据 set 事项 = '") + long1 + QStringLiteral("' where id in (1, 2)"));
    testutil::execute(db, QStringLiteral("update 客户数据 set 地址 = '") + long2 + QStringLiteral("' where id = 3"));
    fileName = file(QStringLiteral("long.xls"));
    const QStringList fields{QStringLiteral("联系人"), QStringLiteral("事项"), QStringLiteral("地址")};
    pick(fields);
    QVERIFY(exportNow());
    QCOMPARE(messages,
             QStringList{QStringLiteral("导出完成。有 3 个文字超过了 Excel 一个单元格最多能放的 32767 个字符，"
                                        "只导出了前 32767 个字符（“事项”2 个，“地址”1 个）。")});
    // (freexl gives up on one-byte texts this long; Gnumeric reads them.)
    const QStringList rows = xlsread::readByGnumeric(fileName, file(QStringLiteral("long-xls.csv"))).split('\n');
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[1], QStringLiteral("客户3,,") + QString(32766, QLatin1Char('a')));
    QCOMPARE(rows[2], QStringLiteral("客户2,") + long1.left(32767) + QLatin1Char(','));

    // The same in .xlsx; a .csv cell has no limit: nothing cut, nothing said.
    messages.clear();
    fileName = file(QStringLiteral("long.xlsx"));
    pick(fields);
    QVERIFY(exportNow());
    QCOMPARE(messages.size(), 1);
    QCOMPARE(xlsread::readXlsx(fileName)[0].rows[3][1].size(), 32767);
    messages.clear();
    fileName = file(QStringLiteral("long.csv"));
    pick(fields);
    QVERIFY(exportNow());
    QVERIFY(messages.isEmpty());
    QVERIFY(QString::fromUtf8(contents(fileName)).contains(QStringLiteral("客户2,") + long1 + QStringLiteral(",\r\n")));
    QVERIFY(reports.isEmpty());
}

QTEST_MAIN(TestExport)
#include "test_export.moc"
