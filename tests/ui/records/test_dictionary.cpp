// The dictionary: the choice lists and the editor opened by a double click.

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "rules/errors/errorreport.h"
#include "ui/kit/dbcontrols.h"
#include "ui/kit/dbgrid.h"
#include "ui/records/card.h"
#include "ui/records/dictionary.h"
#include "ui/records/dictionarywindow.h"
#include "cardcontrols.h"
#include "testutil.h"

namespace {

QStringList listOf(const QComboBox* box)
{
    QStringList r;
    for (int i = 0; i < box->count(); ++i)
        r << box->itemText(i);
    return r;
}

// Runs the steps inside the dictionary editor once it is up, then leaves it
// with "返回" (or the close box).
void inEditor(std::function<void(DictionaryWindow&)> steps, bool closeBox = false)
{
    QTimer::singleShot(0, [=] {
        auto* w = qobject_cast<DictionaryWindow*>(QApplication::activeModalWidget());
        if (!w) {
            inEditor(steps, closeBox);
            return;
        }
        steps(*w);
        if (closeBox)
            w->close();
        else
            testutil::named<QPushButton>(w, QStringLiteral("backButton"))->click();
    });
}

}  // namespace

class TestDictionary : public QObject {
    Q_OBJECT
    QString file_;

private slots:
    void init()
    {
        file_ = testutil::makeProgramFolder() + QStringLiteral("data/web.mdb");
        testutil::execute(file_, QStringLiteral(
            "insert into 字典 (项目, 内容) values ('部门', '销售部'), ('分类1', '批发'), ('分类1', ''),"
            " ('职务', '经理'), ('分类1', '批发'), ('其他', '不显示')"));
    }

    void itemQueryText()
    {
        testutil::MainFixture m;
        m->dictionary()->runItemQuery(QStringLiteral("分类1"));
        QCOMPARE(m->dm().dictionaryTable.commandText(), QStringLiteral("Select * from 字典\r\nwhere 项目 = '分类1'\r\n"));
        QCOMPARE(m->statementBuffer().text(), QStringLiteral("Select * from 字典\nwhere 项目 = '分类1'"));
        QCOMPARE(itemQueryLines(QStringLiteral("a'b")).last(), QStringLiteral("where 项目 = 'a''b'"));
    }

    void listsFilledAtActivation()
    {
        testutil::addCustomers(file_, 1);
        testutil::MainFixture m;
        m->activate();
        const CardControls c(m.w.get());
        QCOMPARE(listOf(c.departmentField), QStringList{"销售部"});
        QCOMPARE(listOf(c.positionField), QStringList{"经理"});
        QCOMPARE(listOf(c.category1Field), (QStringList{"批发", "", "批发"}));  // empty and repeated kept
        QCOMPARE(listOf(c.category2Field), QStringList{});
        QCOMPARE(c.category1Field->currentText(), QStringLiteral("甲"));  // the field, not the list
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
    }

    void editorShowsOneItemAndFillsItForNewRows()
    {
        testutil::MainFixture m;
        m->activate();
        const CardControls c(m.w.get());
        int rows = -1, cursorRow = -1;
        QString title, cursor;
        inEditor([&](DictionaryWindow& w) {
            title = w.windowTitle();
            rows = testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->model()->rowCount();
            testutil::named<QPushButton>(&w, QStringLiteral("addButton"))->click();  // 添加: the cursor in the 内容 cell
            const QModelIndex at = testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->currentIndex();
            cursor = testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->dataModel()->columns().value(at.column()).fieldName;
            cursorRow = at.row();
            m->dm().dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("零售"));
            testutil::named<QPushButton>(&w, QStringLiteral("saveButton"))->click();  // 保存
            testutil::named<QPushButton>(&w, QStringLiteral("saveButton"))->click();  // nothing pending: nothing happens
        });
        emit c.category1Field->doubleClicked();
        QCOMPARE(title, QStringLiteral("字典管理"));
        QCOMPARE(rows, 3);
        QCOMPARE(cursor, QStringLiteral("内容"));
        QCOMPARE(cursorRow, 0);  // the new row, inserted at the current one
        QCOMPARE(m->dm().dictionaryItem(), QStringLiteral("分类1"));
        QCOMPARE(listOf(c.category1Field).count(QStringLiteral("零售")), 1);
        QCOMPARE(listOf(c.departmentField), QStringList{"销售部"});
    }

    void closingDropsAPendingRowAndRebuildsEveryList()
    {
        testutil::MainFixture m;
        m->activate();
        const CardControls c(m.w.get());
        testutil::execute(file_, QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '后加的')"));
        inEditor([&](DictionaryWindow& w) {
            testutil::named<QPushButton>(&w, QStringLiteral("addButton"))->click();
            m->dm().dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("未保存"));
        }, true);
        emit c.positionField->doubleClicked();
        QCOMPARE(listOf(c.positionField), QStringList{"经理"});
        QCOMPARE(listOf(c.departmentField), (QStringList{"销售部", "后加的"}));  // not edited, rebuilt too
    }

    void deleteInTheEditor()
    {
        testutil::MainFixture m;
        m->activate();
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        inEditor([&](DictionaryWindow& w) {
            testutil::named<QPushButton>(&w, QStringLiteral("removeButton"))->click();  // no question for the dictionary
            testutil::named<QPushButton>(&w, QStringLiteral("removeButton"))->click();  // empty now: the data layer's message
        });
        emit CardControls(m.w.get()).positionField->doubleClicked();
        errorreport::setSink({});
        QCOMPARE(listOf(CardControls(m.w.get()).positionField), QStringList{});
        QCOMPARE(reports, QStringList{"Cannot perform this operation on an empty dataset"});
    }

    void editorLayout()
    {
        testutil::MainFixture m;
        m->activate();
        DictionaryWindow w(m->dm(), m.w.get());
        QCOMPARE(w.size(), QSize(428, 229));
        QCOMPARE(testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->geometry(), QRect(12, 32, 325, 181));
        QCOMPARE(testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->columnWidth(0), 80);
        QCOMPARE(testutil::named<DBGrid>(&w, QStringLiteral("valueGrid"))->columnWidth(1), 200);
        QCOMPARE(testutil::named<QPushButton>(&w, QStringLiteral("saveButton"))->geometry(), QRect(344, 133, 75, 25));
        QCOMPARE(w.font().pixelSize(), 15);
    }
};

QTEST_MAIN(TestDictionary)
#include "test_dictionary.moc"
