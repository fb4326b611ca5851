// The call list tab and the grid layouts in the main window: the date and
// field searches, the field-choice files and the layouts of both grids.

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <QSqlDatabase>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QtTest>

#include "ui/kit/updownbox.h"
#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "ui/shell/mainwindow.h"
#include "ui/calls/callhandling.h"
#include "data/module/datamodule.h"
#include "ui/kit/dbgrid.h"
#include "ui/lists/gridlayout.h"
#include "rules/lists/layoutfile.h"
#include "testutil.h"

namespace {

using Fixture = testutil::MainFixture;

// The rows the grid shows once the list is read to its end (a search's
// rows may come in after the click).
int rowsShown(DataSet& ds)
{
    if (!testutil::readThrough(ds))
        return -1;
    return ds.rowCount();
}

QStringList column(DataSet& ds, const QString& field)
{
    if (!testutil::readThrough(ds))
        return {QStringLiteral("the list was not read to its end")};
    QStringList r;
    for (int i = 0; i < ds.rowCount(); ++i)
        r << ds.rowValue(i, ds.fieldIndex(field)).toString();
    return r;
}

// One column's item of a layout file, put together byte by byte: an ASCII
// name as a short string, any other (these are Chinese, or Chinese and a
// digit) as UTF-16.
QByteArray layoutItem(const QString& field, int width)
{
    auto prop = [](const char* n) { return char(qstrlen(n)) + QByteArray(n); };
    QByteArray b = QByteArray(1, '\x01') + prop("Expanded") + '\x08' + prop("FieldName");
    bool ascii = true;
    for (QChar c : field)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        b += '\x06' + (char(field.size()) + field.toLatin1());
    } else {
        b += '\x12';
        const quint32 n = quint32(field.size());
        b += QByteArray(reinterpret_cast<const char*>(&n), 4);  // little-endian machine
        for (QChar c : field)
            b += char(c.unicode() & 0xFF) + QByteArray(1, char(c.unicode() >> 8));
    }
    if (width >= 0) {
        b += prop("Width");
        b += width < 128 ? QByteArray(1, '\x02') + char(width)
                         : QByteArray(1, '\x03') + char(width & 0xFF) + char(width >> 8);
    }
    return b + prop("Visible") + '\x09' + '\0';
}

QByteArray layoutBytes(const QVector<GridColumn>& cols)
{
    QByteArray f = QByteArray("TPF0\x0fTColumnsWrapper", 20) + '\0' + '\x07' + QByteArray("Columns") + '\x0e';
    for (const GridColumn& c : cols)
        f += layoutItem(c.fieldName, c.width);
    return f + QByteArray(3, '\0');
}

QStringList names(const QVector<GridColumn>& cols)
{
    QStringList r;
    for (const GridColumn& c : cols)
        r << c.fieldName;
    return r;
}

// Picks an item the way the user does, so that activated() follows.
void pick(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    emit box->activated(index);
}

}  // namespace

class TestCallList : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        db_ = folder_ + QStringLiteral("data/web.mdb");
        reports_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
    }
    void cleanup()
    {
        errorreport::setSink({});
        setProgramFolder(QString());
    }

    void dateRowFindsTheCallsLoggedThatDay()
    {
        // Calls stored in the call log's own date form.
        for (const QDateTime& when : {QDateTime(QDate(2008, 7, 5), QTime(9, 1)),
                                      QDateTime(QDate(2008, 7, 5), QTime(17, 30)),
                                      QDateTime(QDate(2008, 7, 6), QTime(8, 0)),
                                      QDateTime(QDate(2008, 12, 15), QTime(8, 0))}) {
            const CallRecord r = callRecord(QStringLiteral("075588881234"), when);
            testutil::execute(db_, QStringLiteral("insert into 来电数据 (电话, 日期, 时间) values ('%1','%2','%3')")
                                       .arg(r.phone, r.date, r.time));
        }
        Fixture f;
        f->activate();
        DataSet& calls = f->dm().callTable;
        QCOMPARE(testutil::named<UpDownBox>(&*f, QStringLiteral("callYearBox"))->value(), QDate::currentDate().year());
        QCOMPARE(testutil::named<UpDownBox>(&*f, QStringLiteral("callYearBox"))->text(), QLocale().toString(QDate::currentDate().year()));

        // Setting the positions by program searches nothing.
        testutil::named<UpDownBox>(&*f, QStringLiteral("callYearBox"))->setValue(2008);
        testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->setValue(7);
        testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->setValue(4);
        QCOMPARE(rowsShown(calls), 4);
        testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->stepBy(1);  // an arrow click: 2008-7-5
        QCOMPARE(column(calls, QStringLiteral("时间")), (QStringList{"9:01:00", "17:30:00"}));
        testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->stepBy(1);
        QCOMPARE(rowsShown(calls), 1);
        testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->stepBy(5);  // 2008-12-6
        QCOMPARE(calls.commandText(), QStringLiteral("select * from 来电数据 where 日期='2008-12-6'"));
        QCOMPARE(rowsShown(calls), 0);
        // A mouse click on an arrow is a step as well.
        {
            QStyleOptionSpinBox opt;
            opt.initFrom(testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox")));
            opt.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
            opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
            const QRect down = testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->style()->subControlRect(QStyle::CC_SpinBox, &opt,
                                                                    QStyle::SC_SpinBoxDown, testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox")));
            testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->setValue(7);
            testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->setValue(6);
            QTest::mouseClick(testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox")), Qt::LeftButton, {}, down.center());
            QCOMPARE(testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->value(), 5);
            QCOMPARE(rowsShown(calls), 2);
            testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->setValue(12);
            testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->setValue(6);
        }
        // The ends do not wrap and a step that changes nothing searches nothing.
        calls.close();
        testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->stepBy(1);
        QCOMPARE(testutil::named<UpDownBox>(&*f, QStringLiteral("callMonthBox"))->value(), 12);
        QVERIFY(!calls.isActive());
        QVERIFY(reports_.isEmpty());
    }

    void fieldSearchByPartOfANumber()
    {
        testutil::execute(db_, QStringLiteral("insert into 来电数据 (电话, 联系人) values ('075588881234','O''Brien'),"
                                              "('02166660000','王'),('075512345678',null)"));
        Fixture f;
        f->activate();
        DataSet& calls = f->dm().callTable;
        testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->findText(QStringLiteral("电话")));
        testutil::named<QLineEdit>(&*f, QStringLiteral("callSearchText"))->setText(QStringLiteral("0755"));
        testutil::named<QPushButton>(&*f, QStringLiteral("callSearchButton"))->click();
        QCOMPARE(rowsShown(calls), 2);
        // Enter in the box runs the same search; a quote is searched as typed.
        testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->findText(QStringLiteral("联系人")));
        testutil::named<QLineEdit>(&*f, QStringLiteral("callSearchText"))->setText(QStringLiteral("O'B"));
        QTest::keyClick(testutil::named<QLineEdit>(&*f, QStringLiteral("callSearchText")), Qt::Key_Return);
        QCOMPARE(column(calls, QStringLiteral("联系人")), QStringList{"O'Brien"});
        // "_" stays a wildcard; an empty text lists the fields holding a value.
        testutil::named<QLineEdit>(&*f, QStringLiteral("callSearchText"))->setText(QStringLiteral("_"));
        testutil::named<QPushButton>(&*f, QStringLiteral("callSearchButton"))->click();
        QCOMPARE(rowsShown(calls), 2);
        QVERIFY(reports_.isEmpty());
    }

    void searchStoresAPendingEditFirst()
    {
        testutil::execute(db_, QStringLiteral("insert into 来电数据 (电话) values ('1001')"));
        Fixture f;
        f->activate();
        DataSet& calls = f->dm().callTable;
        calls.edit();
        calls.setValue(QStringLiteral("联系人"), QStringLiteral("张三"));
        testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->setValue(1);
        testutil::named<UpDownBox>(&*f, QStringLiteral("callDayBox"))->stepBy(1);
        testutil::named<QLineEdit>(&*f, QStringLiteral("callSearchText"))->setText(QStringLiteral("1001"));
        testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->findText(QStringLiteral("电话")));
        testutil::named<QPushButton>(&*f, QStringLiteral("callSearchButton"))->click();
        QCOMPARE(column(calls, QStringLiteral("联系人")), QStringList{"张三"});
    }

    void fieldChoicesWrittenOnPickAndRestored()
    {
        const QString ld = folder_ + QStringLiteral("set/ldfield.dat");
        const QString kh = folder_ + QStringLiteral("set/khfield.dat");
        {
            Fixture f;
            f->activate();
            QVERIFY(!QFile::exists(ld) && !QFile::exists(kh));  // the program's own choice
            pick(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField")), 2);
            pick(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField")), 5);
            QFile file(ld);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("2\r\n"));
            f->openCalls();  // selects item 0 without writing
            QCOMPARE(readTextLines(ld), QStringList{"2"});
        }
        {
            Fixture f;
            f->activate();
            QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->currentIndex(), 2);
            QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->currentIndex(), 5);
        }
        // Out of range: no field selected.  A bad first file stops the restore.
        writeTextLines(kh, {QStringLiteral("999")});
        {
            Fixture f;
            f->activate();
            QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->currentIndex(), -1);
        }
        writeTextLines(ld, {QStringLiteral("x")});
        writeTextLines(kh, {QStringLiteral("3")});
        Fixture f;
        f->activate();
        QCOMPARE(reports_.size(), 1);
        QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->currentIndex(), 0);
    }

    void fitWidthsFollowTheCurrentRow()
    {
        testutil::execute(db_, QStringLiteral("insert into 客户数据 (联系人, 公司名称, QQ) values "
                                              "('欧阳小明','%1','1')").arg(QString(20, QLatin1Char('x'))));
        testutil::execute(db_, QStringLiteral("insert into 来电数据 (电话) values ('%1')")
                                   .arg(QString(20, QLatin1Char('9'))));
        Fixture f;
        f->resize(952, 700);
        f->activate();
        testutil::named<QPushButton>(&*f, QStringLiteral("customerEvenWidthsButton"))->click();
        DBGrid* g = testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"));
        const QStringList cols = names(g->columnLayout());
        auto width = [&](DBGrid* grid, const QString& field) {
            return grid->columnLayout()[names(grid->columnLayout()).indexOf(field)].width;
        };
        QCOMPARE(width(g, QStringLiteral("联系人")), 64);
        QCOMPARE(width(g, QStringLiteral("QQ")), 32);
        // 100 is the field's default width, so it is no explicit width.
        QCOMPARE(width(g, QStringLiteral("公司名称")), -1);
        QCOMPARE(g->columnWidth(cols.indexOf(QStringLiteral("公司名称"))), 100);
        testutil::named<QPushButton>(&*f, QStringLiteral("callEvenWidthsButton"))->click();
        QCOMPARE(width(testutil::named<DBGrid>(&*f, QStringLiteral("callGrid")), QStringLiteral("电话")), 150);
        QVERIFY(reports_.isEmpty());
    }

    void layoutSavedResetAndRestored()
    {
        const QString file2 = folder_ + QStringLiteral("set/DBGrid2.dat");
        QVector<GridColumn> saved;
        {
            Fixture f;
            f->activate();
            DBGrid* g = testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"));
            g->horizontalHeader()->moveSection(3, 0);  // 日期 first
            g->setColumnPixelWidth(1, 140);
            saved = g->columnLayout();
            QCOMPARE(saved.first().fieldName, QStringLiteral("日期"));
            testutil::named<QPushButton>(&*f, QStringLiteral("callSaveLayoutButton"))->click();
            QVERIFY(QFile::exists(file2));
            QVector<layoutfile::Column> onDisk;
            QFile in(file2);
            QVERIFY(in.open(QIODevice::ReadOnly));
            // The file, byte for byte: one item per column in display order,
            // a width only where it was set.
            QCOMPARE(in.readAll(), layoutBytes(saved));
            QCOMPARE(saved[1].width, 140);
            QVERIFY(saved[0].width < 0 && saved[2].width < 0);
            in.seek(0);
            QVERIFY(layoutfile::read(in.readAll(), &onDisk, nullptr));
            QCOMPARE(onDisk.size(), saved.size());
            for (int i = 0; i < saved.size(); ++i)
                QCOMPARE((GridColumn{onDisk[i].fieldName, onDisk[i].width}), saved[i]);
            // Every truncation of the saved file is refused and the grid
            // keeps the columns it has.
            in.seek(0);
            const QByteArray whole = in.readAll();
            const QString cut = folder_ + QStringLiteral("set/cut.dat");
            for (int n = 0; n < whole.size(); ++n) {
                QFile out(cut);
                QVERIFY(out.open(QIODevice::WriteOnly));
                out.write(whole.left(n));
                out.close();
                QVERIFY_THROWS_EXCEPTION(FileError, gridlayout::load(*g, cut));
                QCOMPARE(g->columnLayout(), saved);
            }
            testutil::named<QPushButton>(&*f, QStringLiteral("callResetLayoutButton"))->click();  // 初始化: default columns, file untouched
            QVERIFY(!g->hasCustomColumns());
            QCOMPARE(g->columnLayout().first().fieldName, QStringLiteral("ID"));
        }
        testutil::execute(db_, QStringLiteral("alter table 来电数据 add column 新字段 TEXT"));
        Fixture f;
        f->activate();
        QVERIFY(testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"))->hasCustomColumns());
        QCOMPARE(testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"))->columnLayout(), saved);  // the new field stays out
        QCOMPARE(testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"))->columnWidth(1), 140);
    }

    void aLayoutWithNoColumnsGivesTheDefaultColumns()
    {
        // The file "保存设置" writes for a grid without columns.
        for (const char* name : {"set/DBGrid1.dat", "set/DBGrid2.dat"}) {
            QFile out(folder_ + QLatin1String(name));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(layoutfile::write({}));
        }
        Fixture f;
        f->activate();
        for (DBGrid* g : {testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid")), testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"))}) {
            QVERIFY(!g->hasCustomColumns());
            QCOMPARE(names(g->columnLayout()), g->dataModel()->dataSet()->fieldNames());
            QCOMPARE(g->model()->columnCount(), g->dataModel()->dataSet()->fieldCount());
        }
        // Loaded over custom columns too, and again after a tree search.
        testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->setColumnLayout({{QStringLiteral("联系人"), 80}});
        gridlayout::load(*testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid")), folder_ + QStringLiteral("set/DBGrid1.dat"));
        QCOMPARE(testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->model()->columnCount(), f->dm().customerTable.fieldCount());
        QVERIFY(reports_.isEmpty());
    }

    void theScrollBarSpansTheWholeCallList()
    {
        const int total = 500;
        testutil::execute(db_, QStringLiteral(
            "insert into 来电数据 (电话) with recursive c(i) as (select 1 union all select i + 1 "
            "from c where i < %1) select 'n' || i from c").arg(total));
        Fixture f;
        f->resize(952, 700);
        f->activate();
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("callTab")));
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        DBGrid* g = testutil::named<DBGrid>(&*f, QStringLiteral("callGrid"));
        DataSetModel* model = g->dataModel();
        model->setWindowSize(60);  // a window of rows far smaller than the list
        QCoreApplication::processEvents();
        DataSet& calls = f->dm().callTable;
        QCOMPARE(rowsShown(calls), total);
        // The scroll bar the operator sees.
        QScrollBar* bar = nullptr;
        for (QScrollBar* b : g->findChildren<QScrollBar*>())
            if (b->orientation() == Qt::Vertical && b->isVisible())
                bar = b;
        QVERIFY(bar);
        auto firstShown = [&] { return model->windowOffset() + g->rowAt(0); };
        auto lastShown = [&] { return model->windowOffset() + g->rowAt(g->viewport()->height() - 2); };
        const int recNo = calls.recNo();

        // Dragged to the bottom: the last call is in view.
        bar->setValue(bar->maximum());
        QCoreApplication::processEvents();
        QCOMPARE(lastShown(), total - 1);
        QCOMPARE(bar->maximum() + bar->pageStep(), total);  // a page of rows short of the end
        // To the middle and to the top.
        bar->setValue(250);
        QCoreApplication::processEvents();
        QCOMPARE(firstShown(), 250);
        QCOMPARE(g->model()->index(g->rowAt(0), 1).data().toString(),
                 calls.rowValue(250, calls.fieldIndex(QStringLiteral("电话"))).toString());
        bar->triggerAction(QAbstractSlider::SliderToMinimum);
        QCoreApplication::processEvents();
        QCOMPARE(firstShown(), 0);
        QCOMPARE(calls.recNo(), recNo);  // scrolling moves no record
        // The keys move the record, and the bar follows it over the list.
        QTest::keyClick(g, Qt::Key_End, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(calls.recNo(), total);
        QCOMPARE(bar->value(), bar->maximum());
        QTest::keyClick(g, Qt::Key_Home, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
        // A bar moved by steps walks on over the end of the rows shown.
        for (int i = 0; i < 100; ++i)
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCoreApplication::processEvents();
        QCOMPARE(firstShown(), 100);
        QCOMPARE(bar->value(), 100);
        // The wheel turns the rows shown, and the bar goes with them.
        const QPoint at = g->viewport()->rect().center();
        QWheelEvent wheel(at, g->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(g->viewport(), &wheel);
        QCoreApplication::processEvents();
        QVERIFY(firstShown() > 100);
        QCOMPARE(bar->value(), firstShown());
        QVERIFY(reports_.isEmpty());
    }

    void missingFieldAndDamagedFile()
    {
        const QString file1 = folder_ + QStringLiteral("set/DBGrid1.dat");
        QFile out(file1);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(layoutfile::write({{QStringLiteral("联系人"), 90}, {QStringLiteral("旧字段"), -1}}));
        out.close();
        {
            Fixture f;
            f->activate();
            DBGrid* g = testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"));
            QCOMPARE(g->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("旧字段"));
            QCOMPARE(g->columnWidth(1), DBGrid::kDefaultWidth);
            QVERIFY(reports_.isEmpty());
            // Fitting stops at the missing field with the data layer's error.
            testutil::named<QPushButton>(&*f, QStringLiteral("customerEvenWidthsButton"))->click();
            QCOMPARE(reports_.size(), 1);
            QVERIFY(reports_[0].contains(QStringLiteral("旧字段")));
            QCOMPARE(g->columnLayout()[0].width, 48);  // empty table: the name decides
        }
        // A damaged file is reported; its grid keeps its columns and the rest
        // of the activation (the field choices) still runs.
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray("TPF0\x0fTColumnsWrapper\x00\x07Columns\x0e\x01", 32));
        out.close();
        writeTextLines(folder_ + QStringLiteral("set/ldfield.dat"), {QStringLiteral("1")});
        reports_.clear();
        Fixture f;
        f->activate();
        QCOMPARE(reports_.size(), 1);
        QVERIFY(!testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->hasCustomColumns());
        QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("callSearchField"))->currentIndex(), 1);
        // Saving into a missing folder is an error, nothing else changes.
        QDir(folder_ + QStringLiteral("set")).removeRecursively();
        reports_.clear();
        testutil::named<QPushButton>(&*f, QStringLiteral("customerSaveLayoutButton"))->click();
        QCOMPARE(reports_.size(), 1);
    }

private:
    QString folder_;
    QString db_;
    QStringList reports_;
};

QTEST_MAIN(TestCallList)
#include "test_calllist.moc"
