// The dictionary: the choice lists and the editor opened by a double click.

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "rules/app/errorreport.h"
#include "ui/app/dbcontrols.h"
#include "ui/app/dbgrid.h"
#include "ui/records/card.h"
#include "ui/records/dictionary.h"
#include "ui/records/dictionarywindow.h"
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
            w->BitBtn4->click();
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
        CustomerCard& c = *m->card();
        QCOMPARE(listOf(c.DBComboBox1), QStringList{"销售部"});
        QCOMPARE(listOf(c.DBComboBox2), QStringList{"经理"});
        QCOMPARE(listOf(c.DBComboBox3), (QStringList{"批发", "", "批发"}));  // empty and repeated kept
        QCOMPARE(listOf(c.DBComboBox4), QStringList{});
        QCOMPARE(c.DBComboBox3->currentText(), QStringLiteral("甲"));  // the field, not the list
        QCOMPARE(m->dm().customerTable.state(), DataSet::State::Browse);
    }

    void editorShowsOneItemAndFillsItForNewRows()
    {
        testutil::MainFixture m;
        m->activate();
        CustomerCard& c = *m->card();
        int rows = -1, cursorRow = -1;
        QString title, cursor;
        inEditor([&](DictionaryWindow& w) {
            title = w.windowTitle();
            rows = w.DBGrid1->model()->rowCount();
            w.BitBtn1->click();  // 添加: the cursor in the 内容 cell
            const QModelIndex at = w.DBGrid1->currentIndex();
            cursor = w.DBGrid1->dataModel()->columns().value(at.column()).fieldName;
            cursorRow = at.row();
            m->dm().dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("零售"));
            w.BitBtn3->click();  // 保存
            w.BitBtn3->click();  // nothing pending: nothing happens
        });
        emit c.DBComboBox3->doubleClicked();
        QCOMPARE(title, QStringLiteral("字典管理"));
        QCOMPARE(rows, 3);
        QCOMPARE(cursor, QStringLiteral("内容"));
        QCOMPARE(cursorRow, 0);  // the new row, inserted at the current one
        QCOMPARE(m->dm().currentDictItem, QStringLiteral("分类1"));
        QCOMPARE(listOf(c.DBComboBox3).count(QStringLiteral("零售")), 1);
        QCOMPARE(listOf(c.DBComboBox1), QStringList{"销售部"});
    }

    void closingDropsAPendingRowAndRebuildsEveryList()
    {
        testutil::MainFixture m;
        m->activate();
        CustomerCard& c = *m->card();
        testutil::execute(file_, QStringLiteral("insert into 字典 (项目, 内容) values ('部门', '后加的')"));
        inEditor([&](DictionaryWindow& w) {
            w.BitBtn1->click();
            m->dm().dictionaryTable.setValue(QStringLiteral("内容"), QStringLiteral("未保存"));
        }, true);
        emit c.DBComboBox2->doubleClicked();
        QCOMPARE(listOf(c.DBComboBox2), QStringList{"经理"});
        QCOMPARE(listOf(c.DBComboBox1), (QStringList{"销售部", "后加的"}));  // not edited, rebuilt too
    }

    void deleteInTheEditor()
    {
        testutil::MainFixture m;
        m->activate();
        QStringList reports;
        errorreport::setSink([&](const QString& t) { reports << t; });
        inEditor([&](DictionaryWindow& w) {
            w.BitBtn2->click();  // no question for the dictionary
            w.BitBtn2->click();  // empty now: the data layer's message
        });
        emit m->card()->DBComboBox2->doubleClicked();
        errorreport::setSink({});
        QCOMPARE(listOf(m->card()->DBComboBox2), QStringList{});
        QCOMPARE(reports, QStringList{"Cannot perform this operation on an empty dataset"});
    }

    void editorLayout()
    {
        testutil::MainFixture m;
        m->activate();
        DictionaryWindow w(m->dm(), m.w.get());
        QCOMPARE(w.size(), QSize(428, 229));
        QCOMPARE(w.DBGrid1->geometry(), QRect(12, 32, 325, 181));
        QCOMPARE(w.DBGrid1->columnWidth(0), 80);
        QCOMPARE(w.DBGrid1->columnWidth(1), 200);
        QCOMPARE(w.BitBtn3->geometry(), QRect(344, 133, 75, 25));
        QCOMPARE(w.font().pixelSize(), 15);
    }
};

QTEST_MAIN(TestDictionary)
#include "test_dictionary.moc"
