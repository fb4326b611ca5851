// The customer list tab: the settings window, the tree rebuild, the tree and
// field searches and the tree file at start-up.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

#include "app/errorreport.h"
#include "app/message.h"
#include "app/paths.h"
#include "app/statusbar.h"
#include "app/textfile.h"
#include "app/tmain.h"
#include "db/datam.h"
#include "db/dbgrid.h"
#include "lists/customerlist.h"
#include "lists/gridlayout.h"
#include "lists/khlb.h"
#include "testutil.h"

using customertree::Node;

namespace {

using Fixture = testutil::MainFixture;

// The tree as the settings window's rebuild is meant to give it, written out
// step by step: one "select distinct" per level and value, the conditions of
// all the ancestors in its "where"; an empty value gets no node and nothing
// below it is looked at.
QVector<Node> referenceTree(const QString& file, const QStringList& list)
{
    QVector<Node> nodes;
    const QStringList levels = list.mid(0, 4);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ref"));
        db.setDatabaseName(file);
        db.open();
        std::function<void(int, QStringList)> walk = [&](int level, QStringList values) {
            QStringList lines{QStringLiteral("Select distinct  ") + levels[level] + QStringLiteral(" from 客户数据")};
            for (int k = 0; k < values.size(); ++k)
                lines << (k == 0 ? QStringLiteral("where ") : QStringLiteral("and ")) + levels[k] +
                             QStringLiteral("='") + QString(values[k]).replace("'", "''") + "'";
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")))
                qFatal("reference statement failed");
            QStringList found;
            while (q.next())
                found << q.value(0).toString();
            for (const QString& v : found) {
                if (v.isEmpty())
                    continue;
                nodes.append({level, v});
                if (level + 1 < levels.size())
                    walk(level + 1, values + QStringList{v});
            }
        };
        walk(0, {});
    }
    QSqlDatabase::removeDatabase(QStringLiteral("ref"));
    return nodes;
}

QTreeWidgetItem* findNode(QTreeWidget* tree, const QStringList& path)
{
    QTreeWidgetItem* item = nullptr;
    for (const QString& text : path) {
        QTreeWidgetItem* next = nullptr;
        const int n = item ? item->childCount() : tree->topLevelItemCount();
        for (int i = 0; i < n && !next; ++i) {
            QTreeWidgetItem* c = item ? item->child(i) : tree->topLevelItem(i);
            if (c->text(0) == text)
                next = c;
        }
        if (!next)
            return nullptr;
        item = next;
    }
    return item;
}

// A mouse click on a node (or on the tree's empty part when there is none).
void clickNode(QTreeWidget* tree, QTreeWidgetItem* item)
{
    QPoint at(5, tree->viewport()->height() - 3);
    if (item) {
        tree->scrollToItem(item);
        at = tree->visualItemRect(item).center();
    }
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
}

QStringList column(DataSet& ds, const QString& field)
{
    QStringList r;
    for (int i = 0; i < ds.rowCount(); ++i)
        r << ds.rowValue(i, ds.fieldIndex(field)).toString();
    return r;
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

}  // namespace

class TestCustomerList : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        folder_ = testutil::makeProgramFolder();
        db_ = folder_ + QStringLiteral("data/web.mdb");
        reports_.clear();
        messages_.clear();
        errorreport::setSink([this](const QString& t) { reports_ << t; });
        setMessageSink([this](const QString& t) { messages_ << t; });
        // Values out of order, repeated, empty and null, and a quote.
        testutil::execute(db_, QStringLiteral(
            "insert into 客户数据 (联系人, 分类1, 分类2, 部门, 职务) values "
            "('c1','零售','华南','采购部','经理'), ('c2','批发','华东','销售部',null),"
            "('c3','零售','华东','采购部','主管'), ('c4','零售','华南','财务部','经理'),"
            "('c5','批发','华东','销售部','经理'), ('c6','','华北','行政部','x'),"
            "('c7',null,'华北','行政部','y'), ('c8','零售','','采购部','z'),"
            "('c9','代理','O''Brien','采购部','经理'), ('c10','零售','华南','采购部','经理')"));
    }
    void cleanup()
    {
        errorreport::setSink({});
        setMessageSink({});
        setProgramFolder(QString());
    }

    void settingsWindowOffTheCustomerTab()
    {
        writeTextLines(CustomerList::searchListPath(), {QStringLiteral("分类1")});
        Fixture f;
        f->FormActivate();
        Tkhlbw d(services(f), f.w.get());
        QCOMPARE(d.windowTitle(), QStringLiteral("客户列表窗口设置"));
        QCOMPARE(d.size(), QSize(341, 267));
        QCOMPARE(d.Button8->geometry(), QRect(68, 228, 75, 27));
        QCOMPARE(d.ListBox2->geometry(), QRect(204, 32, 121, 185));
        QCOMPARE(d.ListBox1->count(), 0);
        QCOMPARE(d.ListBox2->count(), 0);
        QCOMPARE(d.Label2->text(), QStringLiteral("客户资料所有字段"));
        d.ListBox1->addItem(QStringLiteral("部门"));
        d.Button5->click();
        d.Button8->click();
        QCOMPARE(readTextLines(CustomerList::searchListPath()), QStringList{"分类1"});
        QCOMPARE(f->TreeView1->topLevelItemCount(), 0);
    }

    void settingsWindowEditsTheList()
    {
        Fixture f;
        f->FormActivate();
        f->PageControl1->setCurrentWidget(f->TabSheet4);
        Tkhlbw d(services(f), f.w.get());
        QCOMPARE(d.Label2->text(), QStringLiteral("客户数据库所有字段"));
        QCOMPARE(d.ListBox2->count(), f->dm().kehutable.fieldCount());
        auto add = [&](const QString& field) {
            d.ListBox2->setCurrentItem(d.ListBox2->findItems(field, Qt::MatchExactly).first());
            d.Button1->click();
        };
        d.Button1->click();  // nothing chosen: nothing added
        QCOMPARE(d.ListBox1->count(), 0);
        add(QStringLiteral("部门"));
        add(QStringLiteral("分类1"));
        // A double click adds too; a name already there (any case) is not added again.
        QListWidgetItem* f2 = d.ListBox2->findItems(QStringLiteral("分类2"), Qt::MatchExactly).first();
        d.ListBox2->setCurrentItem(f2);
        emit d.ListBox2->itemDoubleClicked(f2);
        add(QStringLiteral("分类1"));
        QCOMPARE(d.searchList(), (QStringList{"部门", "分类1", "分类2"}));
        d.ListBox1->addItem(QStringLiteral("email"));
        add(QStringLiteral("EMAIL"));
        QCOMPARE(d.ListBox1->count(), 4);
        delete d.ListBox1->takeItem(3);

        // Move 部门 to the end: ↓ twice; ↓ on the last one does nothing.
        d.ListBox1->setCurrentRow(0);
        d.Button4->click();
        d.Button4->click();
        d.Button4->click();
        QCOMPARE(d.searchList(), (QStringList{"分类1", "分类2", "部门"}));
        QCOMPARE(d.ListBox1->currentRow(), 2);
        QVERIFY(messages_.isEmpty());
        d.ListBox1->setCurrentRow(0);
        d.Button3->click();  // ↑ on the first
        QCOMPARE(messages_, QStringList{"请在左边的列表中选择一个字段！"});
        d.ListBox1->setCurrentRow(1);
        d.Button3->click();
        QCOMPARE(d.searchList(), (QStringList{"分类2", "分类1", "部门"}));
        d.Button3->click();  // now first again
        QCOMPARE(messages_.size(), 2);
        d.Button4->click();
        QCOMPARE(d.searchList(), (QStringList{"分类1", "分类2", "部门"}));

        d.Button5->click();
        QCOMPARE(fileBytes(CustomerList::searchListPath()),
                 QByteArray("\xb7\xd6\xc0\xe0" "1\r\n\xb7\xd6\xc0\xe0" "2\r\n\xb2\xbf\xc3\xc5\r\n"));

        // → without a choice asks for one; with one it removes it.
        d.ListBox1->clearSelection();
        d.ListBox1->setCurrentRow(-1);
        d.Button2->click();
        QCOMPARE(messages_.size(), 3);
        d.Button4->click();
        QCOMPARE(messages_.size(), 4);
        d.ListBox1->setCurrentRow(1);
        d.Button2->click();
        QCOMPARE(d.searchList(), (QStringList{"分类1", "部门"}));
        d.Button7->click();
        QCOMPARE(d.ListBox1->count(), 0);
        // Closing drops what was not saved; the next window shows the file.
        Tkhlbw again(services(f), f.w.get());
        QCOMPARE(again.searchList(), (QStringList{"分类1", "分类2", "部门"}));
    }

    void menuOpensTheWindow()
    {
        Fixture f;
        f->FormActivate();
        f->PageControl1->setCurrentWidget(f->TabSheet4);
        QString title;
        int fields = -1;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<Tkhlbw*>(QApplication::activeModalWidget());
            if (d) {
                title = d->windowTitle();
                fields = d->ListBox2->count();
                d->Button6->click();
            }
        });
        f->miSearchList->trigger();
        QCOMPARE(title, QStringLiteral("客户列表窗口设置"));
        QCOMPARE(fields, f->dm().kehutable.fieldCount());
    }

    void rebuildGivesTheReferenceTree_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::newRow("one level") << QStringList{"分类1"};
        QTest::newRow("three levels") << QStringList{"分类1", "分类2", "部门"};
        QTest::newRow("five entries") << QStringList{"部门", "分类1", "职务", "分类2", "联系人"};
        QTest::newRow("any case") << QStringList{"分类2", "职务"};
    }
    void rebuildGivesTheReferenceTree()
    {
        QFETCH(QStringList, list);
        Fixture f;
        f->FormActivate();
        QVERIFY(f->customerList->Create_sxr_treeview_List(list));
        const QVector<Node> expected = referenceTree(db_, list);
        QVERIFY(expected.size() >= 3);
        QCOMPARE(f->customerList->treeNodes(), expected);
        QCOMPARE(readTextLines(CustomerList::treePath()), customertree::treeLines(expected));
        QVERIFY(reports_.isEmpty() && messages_.isEmpty());
    }

    void rebuildChecksFirst()
    {
        Fixture f;
        f->FormActivate();
        QVERIFY(f->customerList->Create_sxr_treeview_List({"分类1"}));
        const QByteArray before = fileBytes(CustomerList::treePath());
        const int top = f->TreeView1->topLevelItemCount();
        QVERIFY(!f->customerList->Create_sxr_treeview_List({"分类1", "没有的字段"}));
        QCOMPARE(messages_, QStringList{"左边的列表有误，不属于右边列表的一部分！"});
        QVERIFY(!f->customerList->Create_sxr_treeview_List({}));
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(f->TreeView1->topLevelItemCount(), top);
        QCOMPARE(fileBytes(CustomerList::treePath()), before);
        QVERIFY(reports_.isEmpty());
    }

    void treeSearchAtEachLevel()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1", "分类2", "部门", "职务"});
        Fixture f;
        f->FormActivate();
        f->PageControl1->setCurrentWidget(f->TabSheet4);
        f->resize(952, 700);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        QVERIFY(f->customerList->Create_sxr_treeview_List({"分类1", "分类2", "部门", "职务"}));
        DataSet& kh = f->dm().kehutable;
        auto panel = [&] { return f->StatusBar1->panelText(Tmain::MessagePanel); };

        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c3", "c4", "c8", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售"));
        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售", "华南"}));
        QCOMPARE(kh.commandText(), QStringLiteral("Select  * from 客户数据\r\nwhere 分类2='华南'\r\n"
                                                  "and 分类1='零售'\r\norder by ID\r\n"));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c4", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售     华南"));
        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售", "华南", "采购部"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售    华南    采购部"));
        clickNode(f->TreeView1, findNode(f->TreeView1, {"代理", "O'Brien", "采购部", "经理"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c9"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  代理    O'Brien    采购部    经理"));
        // The same node again searches again.
        f->BitBtn14->click();
        clickNode(f->TreeView1, findNode(f->TreeView1, {"代理", "O'Brien", "采购部", "经理"}));
        QCOMPARE(kh.rowCount(), 1);
        QVERIFY(reports_.isEmpty());

        // No node selected: everyone, by ID.
        f->TreeView1->clearSelection();
        clickNode(f->TreeView1, nullptr);
        QCOMPARE(kh.rowCount(), 10);
        QCOMPARE(column(kh, "联系人").first(), QStringLiteral("c1"));
        QCOMPARE(panel(), QStringLiteral("当前数据：  全国客户"));

        // An outdated list: only the message.
        writeTextLines(CustomerList::searchListPath(), {"分类1", "旧字段"});
        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售"}));
        QCOMPARE(messages_, QStringList{"检索列表过时，应该重新生成！"});
        QCOMPARE(kh.rowCount(), 10);
        QCOMPARE(panel(), QStringLiteral("当前数据：  全国客户"));
        QFile::remove(CustomerList::searchListPath());
        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售"}));
        QCOMPARE(messages_.size(), 2);
        // A list shorter than the node's level: an error, the grid as it was.
        writeTextLines(CustomerList::searchListPath(), {"分类1"});
        clickNode(f->TreeView1, findNode(f->TreeView1, {"零售", "华南"}));
        QCOMPARE(reports_.size(), 1);
        QCOMPARE(kh.rowCount(), 10);
    }

    void fieldSearchShowAllAndLayoutAfterTreeSearch()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1"});
        Fixture f;
        f->FormActivate();
        DataSet& kh = f->dm().kehutable;
        f->ComboBox2->setCurrentIndex(f->ComboBox2->findText(QStringLiteral("分类2")));
        f->Edit2->setText(QStringLiteral("O'B"));
        QTest::keyClick(f->Edit2, Qt::Key_Enter);
        QCOMPARE(column(kh, "联系人"), QStringList{"c9"});
        f->Edit2->setText(QStringLiteral("华"));
        f->BitBtn12->click();
        QCOMPARE(kh.rowCount(), 8);
        // "显示所有数据" stores a pending edit first, then lists all, newest first.
        kh.edit();
        kh.setValue(QStringLiteral("部门"), QStringLiteral("新部门"));
        f->BitBtn14->click();
        QCOMPARE(kh.rowCount(), 10);
        QCOMPARE(column(kh, "联系人").first(), QStringLiteral("c10"));
        QVERIFY(column(kh, "部门").contains(QStringLiteral("新部门")));

        // The saved layout returns with the next tree search.
        f->DBGrid1->setColumnLayout({{QStringLiteral("联系人"), 80}, {QStringLiteral("分类1"), -1}});
        f->BitBtn2->click();
        f->BitBtn6->click();
        QVERIFY(!f->DBGrid1->hasCustomColumns());
        f->customerList->SerachKehuMoShi();
        QCOMPARE(f->DBGrid1->columnLayout().size(), 2);
        QVERIFY(reports_.isEmpty());
    }

    void phoneFieldsSearchedByDigits()
    {
        testutil::execute(db_, QStringLiteral("insert into 客户数据 (联系人, 手机, 电话, 宅电) values "
                                              "('甲', '+86 138-1234-5678', null, null), "
                                              "('乙', null, '(0571) 8765-4321', '13812345678'), "
                                              "('丙', null, null, '0571　87654321')"));
        Fixture f;
        f->FormActivate();
        DataSet& kh = f->dm().kehutable;
        auto search = [&](const QString& field, const QString& text) {
            f->ComboBox2->setCurrentIndex(f->ComboBox2->findText(field));
            f->Edit2->setText(text);
            f->BitBtn12->click();
            QStringList found = column(kh, QStringLiteral("联系人"));
            found.sort();
            return found;
        };
        QCOMPARE(search("手机", "13812345678"), QStringList{"甲"});
        QCOMPARE(search("宅电", "138 1234 5678"), QStringList{"乙"});
        QCOMPARE(search("电话", "057187654321"), QStringList{"乙"});
        QCOMPARE(search("宅电", "8765-4321"), QStringList{"丙"});
        // What the text as typed finds is still found.
        QCOMPARE(search("手机", "-1234-"), QStringList{"甲"});
        QCOMPARE(search("宅电", "　"), QStringList{"丙"});
        // Other fields as before.
        QCOMPARE(search("联系人", "甲"), QStringList{"甲"});
        QVERIFY(reports_.isEmpty());
    }

    void treeFileAtStart()
    {
        writeTextLines(CustomerList::treePath(), {"A", "\tA1", "\t\tX", "\tA2", "B", "C"});
        {
            Fixture f;
            f->FormActivate();
            QCOMPARE(f->TreeView1->topLevelItemCount(), 3);
            QCOMPARE(findNode(f->TreeView1, {"A", "A1", "X"})->text(0), QStringLiteral("X"));
            QCOMPARE(f->customerList->treeNodes().size(), 6);
        }
        // A bad level: reported, the nodes before it stay, the rest of the
        // start-up still runs.
        writeTextLines(CustomerList::treePath(), {"A", "\tA1", "\t\t\tdeep", "B"});
        writeTextLines(folder_ + QStringLiteral("set/khfield.dat"), {"2"});
        Fixture f;
        f->FormActivate();
        QCOMPARE(reports_, QStringList{"Invalid level (3) for item \"deep\""});
        QCOMPARE(f->customerList->treeNodes(), (QVector<Node>{{0, "A"}, {1, "A1"}}));
        QCOMPARE(f->ComboBox2->currentIndex(), 2);
    }

private:
    KhlbServices services(Fixture& f)
    {
        Tmain* w = f.w.get();
        KhlbServices s;
        s.customerTabActive = [w] { return w->PageControl1->currentWidget() == w->TabSheet4; };
        s.customerFields = [w] { return w->dm().kehutable.fieldNames(); };
        s.rebuildTree = [w](const QStringList& l) { w->customerList->Create_sxr_treeview_List(l); };
        return s;
    }

    QString folder_;
    QString db_;
    QStringList reports_;
    QStringList messages_;
};

QTEST_MAIN(TestCustomerList)
#include "test_customerlist.moc"
