// The customer list tab: the settings window, the tree rebuild, the tree and
// field searches and the tree file at start-up.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QAbstractItemModelTester>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "rules/files/paths.h"
#include "ui/kit/statusbar.h"
#include "rules/files/textfile.h"
#include "ui/shell/mainwindow.h"
#include "data/module/datamodule.h"
#include "ui/kit/dbgrid.h"
#include "ui/kit/workwindow.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/customerlistsettingswindow.h"
#include "rules/lists/savefile.h"
#include "ui/lists/customertreemodel.h"
#include "data/lists/treeread.h"
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

QTreeView* tree(Fixture& f) { return testutil::named<QTreeView>(&*f, QStringLiteral("categoryTree")); }

// The node a path of captions leads to (invalid when there is none).
QModelIndex findNodeIn(const QAbstractItemModel& m, const QStringList& path);
QModelIndex findNode(QTreeView* tree, const QStringList& path) { return findNodeIn(*tree->model(), path); }

// A mouse click on a node (or on the tree's empty part when there is none),
// and the events it leads to.
void clickNode(QTreeView* tree, const QModelIndex& item)
{
    QPoint at(5, tree->viewport()->height() - 3);
    if (item.isValid()) {
        for (QModelIndex p = item.parent(); p.isValid(); p = p.parent())
            tree->expand(p);  // as the operator opens the nodes above it
        tree->scrollTo(item);
        at = tree->visualRect(item).center();
    }
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
}

// The nodes a tree model gives, depth first, with their values and, apart,
// their captions.
QVector<Node> shownNodes(const QAbstractItemModel& m, QStringList* captions = nullptr)
{
    QVector<Node> out;
    std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent, int level) {
        for (int i = 0; i < m.rowCount(parent); ++i) {
            const QModelIndex c = m.index(i, 0, parent);
            if (c.parent() != parent || c.row() != i)
                qFatal("a node's parent or row does not lead back to it");
            out.append({level, c.data(CustomerTreeModel::kValueRole).toString()});
            if (captions)
                captions->append(c.data().toString());
            walk(c, level + 1);
        }
    };
    walk({}, 0);
    return out;
}

QModelIndex findNodeIn(const QAbstractItemModel& m, const QStringList& path)
{
    QModelIndex item;
    for (const QString& text : path) {
        QModelIndex next;
        for (int i = 0; i < m.rowCount(item) && !next.isValid(); ++i)
            if (m.index(i, 0, item).data().toString() == text)
                next = m.index(i, 0, item);
        if (!next.isValid())
            return {};
        item = next;
    }
    return item;
}

// The tree file as a named pipe: its reader gets the lines only once they
// are written.  Going out of scope it ends the file for a reader still
// waiting, so that nothing is left hanging.
struct TreePipe {
    QByteArray path = QFile::encodeName(CustomerList::treePath());
    int fd = -1;
    TreePipe()
    {
        if (::mkfifo(path.constData(), 0600) != 0)
            qFatal("no pipe for the tree file");
    }
    ~TreePipe()
    {
        if (fd < 0)
            openWriter();
        close();
    }
    bool openWriter()
    {
        if (fd < 0)
            fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);  // fails while no one reads
        return fd >= 0;
    }
    void write(const QStringList& lines)
    {
        QByteArray bytes;
        for (const QString& l : lines)
            bytes += toGb18030(l) + "\r\n";
        if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
            qFatal("the pipe took less than was written");
        close();
    }
    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

// Waits for the tree file read at the start to be in the tree.
bool treeRead(Fixture& f)
{
    return QTest::qWaitFor([&f] { return !f->customerList()->treeLoading(); }, 30000);
}

// A tree with `top` top-level nodes, the first with `wide` children, each
// child with two of its own.
QVector<Node> wideTree(int top, int wide, const QString& tag)
{
    QVector<Node> nodes;
    for (int t = 0; t < top; ++t) {
        nodes.append({0, tag + QString::number(t)});
        for (int c = 0; t == 0 && c < wide; ++c) {
            nodes.append({1, tag + QStringLiteral("子") + QString::number(c)});
            nodes.append({2, QStringLiteral("a")});
            nodes.append({2, QStringLiteral("b")});
        }
    }
    return nodes;
}

// The rows the grid shows once the list is read to its end.
int rowsShown(DataSet& ds)
{
    if (!testutil::readThrough(ds))
        return -1;
    return ds.rowCount();
}

// The values of a field down the list, once the list is read to its end
// (a search's rows may come in after the click).
QStringList column(DataSet& ds, const QString& field)
{
    if (!testutil::readThrough(ds))
        return {QStringLiteral("the list was not read to its end")};
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
        f->activate();
        CustomerListSettingsWindow d(services(f), f.w.get());
        auto* order = testutil::named<QListWidget>(&d, QStringLiteral("searchOrder"));
        auto* all = testutil::named<QListWidget>(&d, QStringLiteral("allFields"));
        auto press = [&d](const char* button) { testutil::named<QPushButton>(&d, QLatin1String(button))->click(); };
        QCOMPARE(d.windowTitle(), QStringLiteral("客户列表窗口设置"));
        QCOMPARE(d.size(), QSize(341, 267));
        QCOMPARE(d.findChild<QPushButton*>(QStringLiteral("rebuildButton"))->geometry(), QRect(68, 228, 75, 27));
        QCOMPARE(all->geometry(), QRect(204, 32, 121, 185));
        QCOMPARE(order->count(), 0);
        QCOMPARE(all->count(), 0);
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("allFieldsLabel"))->text(), QStringLiteral("客户资料所有字段"));
        order->addItem(QStringLiteral("部门"));
        press("saveButton");
        press("rebuildButton");
        QCOMPARE(readTextLines(CustomerList::searchListPath()), QStringList{"分类1"});
        QCOMPARE(tree(f)->model()->rowCount(), 0);
    }

    void settingsWindowEditsTheList()
    {
        Fixture f;
        f->activate();
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        CustomerListSettingsWindow d(services(f), f.w.get());
        auto* order = testutil::named<QListWidget>(&d, QStringLiteral("searchOrder"));
        auto* all = testutil::named<QListWidget>(&d, QStringLiteral("allFields"));
        auto press = [&d](const char* button) { testutil::named<QPushButton>(&d, QLatin1String(button))->click(); };
        QCOMPARE(d.findChild<QLabel*>(QStringLiteral("allFieldsLabel"))->text(), QStringLiteral("客户数据库所有字段"));
        QCOMPARE(all->count(), f->dm().customerTable.fieldCount());
        auto add = [&](const QString& field) {
            all->setCurrentItem(all->findItems(field, Qt::MatchExactly).first());
            press("addButton");
        };
        press("addButton");  // nothing chosen: nothing added
        QCOMPARE(order->count(), 0);
        add(QStringLiteral("部门"));
        add(QStringLiteral("分类1"));
        // A double click adds too; a name already there (any case) is not added again.
        QListWidgetItem* f2 = all->findItems(QStringLiteral("分类2"), Qt::MatchExactly).first();
        all->setCurrentItem(f2);
        emit all->itemDoubleClicked(f2);
        add(QStringLiteral("分类1"));
        QCOMPARE(d.searchList(), (QStringList{"部门", "分类1", "分类2"}));
        order->addItem(QStringLiteral("email"));
        add(QStringLiteral("EMAIL"));
        QCOMPARE(order->count(), 4);
        delete order->takeItem(3);

        // Move 部门 to the end: ↓ twice; ↓ on the last one does nothing.
        order->setCurrentRow(0);
        press("downButton");
        press("downButton");
        press("downButton");
        QCOMPARE(d.searchList(), (QStringList{"分类1", "分类2", "部门"}));
        QCOMPARE(order->currentRow(), 2);
        QVERIFY(messages_.isEmpty());
        order->setCurrentRow(0);
        press("upButton");  // ↑ on the first
        QCOMPARE(messages_, QStringList{"请在左边的列表中选择一个字段！"});
        order->setCurrentRow(1);
        press("upButton");
        QCOMPARE(d.searchList(), (QStringList{"分类2", "分类1", "部门"}));
        press("upButton");  // now first again
        QCOMPARE(messages_.size(), 2);
        press("downButton");
        QCOMPARE(d.searchList(), (QStringList{"分类1", "分类2", "部门"}));

        press("saveButton");
        QCOMPARE(fileBytes(CustomerList::searchListPath()),
                 QByteArray("\xb7\xd6\xc0\xe0" "1\r\n\xb7\xd6\xc0\xe0" "2\r\n\xb2\xbf\xc3\xc5\r\n"));

        // → without a choice asks for one; with one it removes it.
        order->clearSelection();
        order->setCurrentRow(-1);
        press("removeButton");
        QCOMPARE(messages_.size(), 3);
        press("downButton");
        QCOMPARE(messages_.size(), 4);
        order->setCurrentRow(1);
        press("removeButton");
        QCOMPARE(d.searchList(), (QStringList{"分类1", "部门"}));
        press("clearButton");
        QCOMPARE(order->count(), 0);
        // Closing drops what was not saved; the next window shows the file.
        CustomerListSettingsWindow again(services(f), f.w.get());
        QCOMPARE(again.searchList(), (QStringList{"分类1", "分类2", "部门"}));
    }

    void menuOpensTheWindow()
    {
        Fixture f;
        f->activate();
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        QString title;
        int fields = -1;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<CustomerListSettingsWindow*>(QApplication::activeModalWidget());
            if (d) {
                title = d->windowTitle();
                fields = testutil::named<QListWidget>(d, QStringLiteral("allFields"))->count();
                testutil::named<QPushButton>(d, QStringLiteral("backButton"))->click();
            }
        });
        testutil::named<QAction>(&*f, QStringLiteral("searchListAction"))->trigger();
        QCOMPARE(title, QStringLiteral("客户列表窗口设置"));
        QCOMPARE(fields, f->dm().customerTable.fieldCount());
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
        f->activate();
        QVERIFY(f->customerList()->rebuildTreeNow(list));
        const QVector<Node> expected = referenceTree(db_, list);
        QVERIFY(expected.size() >= 3);
        QCOMPARE(f->customerList()->treeNodes(), expected);
        QCOMPARE(readTextLines(CustomerList::treePath()), customertree::treeLines(expected));
        QVERIFY(reports_.isEmpty() && messages_.isEmpty());
    }

    void rebuildChecksFirst()
    {
        Fixture f;
        f->activate();
        QVERIFY(f->customerList()->rebuildTreeNow({"分类1"}));
        const QByteArray before = fileBytes(CustomerList::treePath());
        const int top = tree(f)->model()->rowCount();
        QVERIFY(!f->customerList()->rebuildTreeNow({"分类1", "没有的字段"}));
        QCOMPARE(messages_, QStringList{"左边的列表有误，不属于右边列表的一部分！"});
        QVERIFY(!f->customerList()->rebuildTreeNow({}));
        QCOMPARE(messages_.size(), 2);
        QCOMPARE(tree(f)->model()->rowCount(), top);
        QCOMPARE(fileBytes(CustomerList::treePath()), before);
        QVERIFY(reports_.isEmpty());
    }

    void treeSearchAtEachLevel()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1", "分类2", "部门", "职务"});
        Fixture f;
        f->activate();
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        f->resize(952, 700);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        QVERIFY(f->customerList()->rebuildTreeNow({"分类1", "分类2", "部门", "职务"}));
        DataSet& kh = f->dm().customerTable;
        auto panel = [&] { return testutil::named<StatusBar>(&*f, QStringLiteral("statusPanels"))->panelText(MainWindow::MessagePanel); };

        clickNode(tree(f), findNode(tree(f), {"零售"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c3", "c4", "c8", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售"));
        clickNode(tree(f), findNode(tree(f), {"零售", "华南"}));
        QCOMPARE(kh.commandText(), QStringLiteral("Select  * from 客户数据\r\nwhere 分类2='华南'\r\n"
                                                  "and 分类1='零售'\r\norder by ID\r\n"));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c4", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售     华南"));
        clickNode(tree(f), findNode(tree(f), {"零售", "华南", "采购部"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c10"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  零售    华南    采购部"));
        clickNode(tree(f), findNode(tree(f), {"代理", "O'Brien", "采购部", "经理"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c9"}));
        QCOMPARE(panel(), QStringLiteral("当前数据：  代理    O'Brien    采购部    经理"));
        // The same node again searches again.
        testutil::named<QPushButton>(&*f, QStringLiteral("showAllCustomersButton"))->click();
        clickNode(tree(f), findNode(tree(f), {"代理", "O'Brien", "采购部", "经理"}));
        QCOMPARE(rowsShown(kh), 1);
        QVERIFY(reports_.isEmpty());

        // No node selected: everyone, by ID.
        tree(f)->clearSelection();
        clickNode(tree(f), {});
        QCOMPARE(rowsShown(kh), 10);
        QCOMPARE(column(kh, "联系人").first(), QStringLiteral("c1"));
        QCOMPARE(panel(), QStringLiteral("当前数据：  全国客户"));

        // An outdated list: only the message.
        writeTextLines(CustomerList::searchListPath(), {"分类1", "旧字段"});
        clickNode(tree(f), findNode(tree(f), {"零售"}));
        QCOMPARE(messages_, QStringList{"检索列表过时，应该重新生成！"});
        QCOMPARE(rowsShown(kh), 10);
        QCOMPARE(panel(), QStringLiteral("当前数据：  全国客户"));
        QFile::remove(CustomerList::searchListPath());
        clickNode(tree(f), findNode(tree(f), {"零售"}));
        QCOMPARE(messages_.size(), 2);
        // A list shorter than the node's level: an error, the grid as it was.
        writeTextLines(CustomerList::searchListPath(), {"分类1"});
        clickNode(tree(f), findNode(tree(f), {"零售", "华南"}));
        QCOMPARE(reports_.size(), 1);
        QCOMPARE(rowsShown(kh), 10);
    }

    void fieldSearchShowAllAndLayoutAfterTreeSearch()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1"});
        Fixture f;
        f->activate();
        DataSet& kh = f->dm().customerTable;
        testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->findText(QStringLiteral("分类2")));
        testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText"))->setText(QStringLiteral("O'B"));
        QTest::keyClick(testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText")), Qt::Key_Enter);
        QCOMPARE(column(kh, "联系人"), QStringList{"c9"});
        testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText"))->setText(QStringLiteral("华"));
        testutil::named<QPushButton>(&*f, QStringLiteral("customerSearchButton"))->click();
        QCOMPARE(rowsShown(kh), 8);
        // Return, not only the keypad's Enter, runs the search.
        testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText"))->setText(QStringLiteral("华东"));
        QTest::keyClick(testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText")), Qt::Key_Return);
        QCOMPARE(column(kh, "联系人"), (QStringList{"c2", "c3", "c5"}));
        testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText"))->setText(QStringLiteral("华北"));
        QTest::keyClick(testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText")), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(column(kh, "联系人"), (QStringList{"c6", "c7"}));
        // "显示所有数据" stores a pending edit first, then lists all, newest first.
        kh.edit();
        kh.setValue(QStringLiteral("部门"), QStringLiteral("新部门"));
        testutil::named<QPushButton>(&*f, QStringLiteral("showAllCustomersButton"))->click();
        QCOMPARE(rowsShown(kh), 10);
        QCOMPARE(column(kh, "联系人").first(), QStringLiteral("c10"));
        QVERIFY(column(kh, "部门").contains(QStringLiteral("新部门")));

        // The saved layout returns with the next tree search.
        testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->setColumnLayout({{QStringLiteral("联系人"), 80}, {QStringLiteral("分类1"), -1}});
        testutil::named<QPushButton>(&*f, QStringLiteral("customerSaveLayoutButton"))->click();
        testutil::named<QPushButton>(&*f, QStringLiteral("customerResetLayoutButton"))->click();
        QVERIFY(!testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->hasCustomColumns());
        f->customerList()->searchTreeNode();
        QCOMPARE(testutil::named<DBGrid>(&*f, QStringLiteral("customerGrid"))->columnLayout().size(), 2);
        QVERIFY(reports_.isEmpty());
    }

    void phoneFieldsSearchedByDigits()
    {
        testutil::execute(db_, QStringLiteral("insert into 客户数据 (联系人, 手机, 电话, 宅电) values "
                                              "('甲', '+86 138-1234-5678', null, null), "
                                              "('乙', null, '(0571) 8765-4321', '13812345678'), "
                                              "('丙', null, null, '0571　87654321')"));
        Fixture f;
        f->activate();
        DataSet& kh = f->dm().customerTable;
        auto search = [&](const QString& field, const QString& text) {
            testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->setCurrentIndex(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->findText(field));
            testutil::named<QLineEdit>(&*f, QStringLiteral("customerSearchText"))->setText(text);
            testutil::named<QPushButton>(&*f, QStringLiteral("customerSearchButton"))->click();
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

    void aClickOnTheEmptyPartSearchesWhatTheTreeShows()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1", "分类2"});
        Fixture f;
        f->activate();
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        f->resize(952, 700);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        QVERIFY(f->customerList()->rebuildTreeNow({"分类1", "分类2"}));
        DataSet& kh = f->dm().customerTable;
        auto panel = [&] { return testutil::named<StatusBar>(&*f, QStringLiteral("statusPanels"))->panelText(MainWindow::MessagePanel); };
        clickNode(tree(f), findNode(tree(f), {"零售", "华南"}));
        QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c4", "c10"}));
        // Below the last node: whatever the tree shows selected afterwards is
        // what was searched for.
        clickNode(tree(f), {});
        const QModelIndexList shown = tree(f)->selectionModel()->selectedIndexes();
        if (shown.isEmpty()) {
            QCOMPARE(panel(), QStringLiteral("当前数据：  全国客户"));
            QCOMPARE(rowsShown(kh), 10);
        } else {
            QCOMPARE(shown.first().data().toString(), QStringLiteral("华南"));
            QCOMPARE(column(kh, "联系人"), (QStringList{"c1", "c4", "c10"}));
        }
        QVERIFY(reports_.isEmpty() && messages_.isEmpty());
    }

    void treeValuesSurviveASaveAndARestart()
    {
        testutil::execute(db_, QStringLiteral(
            "insert into 客户数据 (联系人, 分类1, 分类2) values "
            "('w1','䶮','😀组'), ('w2',' 前有空格','\t前有TAB'), ('w3','两' || char(13, 10) || '行','下'),"
            "('w4','零售',' 华南'), ('w5','零售','单' || char(10) || '换行')"));
        QVector<Node> built;
        {
            Fixture f;
            f->activate();
            QVERIFY(f->customerList()->rebuildTreeNow({"分类1", "分类2"}));
            built = f->customerList()->treeNodes();
            QVERIFY(built.contains(Node{0, QStringLiteral("䶮")}));
            QVERIFY(built.contains(Node{1, QStringLiteral("\t前有TAB")}));
            QVERIFY(built.contains(Node{0, QStringLiteral("两\r\n行")}));
            // The search list as saved in the settings window, too.
            testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
            CustomerListSettingsWindow d(services(f), f.w.get());
            auto* order = testutil::named<QListWidget>(&d, QStringLiteral("searchOrder"));
            auto press = [&d](const char* button) { testutil::named<QPushButton>(&d, QLatin1String(button))->click(); };
            order->clear();
            order->addItems({QStringLiteral("分类1"), QStringLiteral("䶮😀")});
            press("saveButton");
        }
        writeTextLines(CustomerList::searchListPath(), {"分类1", "分类2"});
        Fixture f;
        f->activate();
        QVERIFY(treeRead(f));
        QCOMPARE(f->customerList()->treeNodes(), built);
        QVERIFY(reports_.isEmpty());
        // A value on two lines shows on one and is searched for whole.
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        f->resize(952, 700);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
        // Shown, the window runs its activation again, and reads the file again.
        QVERIFY(testutil::runPostedEvents());
        QVERIFY(treeRead(f));
        const QModelIndex twoLines = findNode(tree(f), {QStringLiteral("两 行")});
        QVERIFY(twoLines.isValid());
        clickNode(tree(f), tree(f)->model()->index(0, 0, twoLines));
        QCOMPARE(column(f->dm().customerTable, "联系人"), QStringList{"w3"});
        clickNode(tree(f), findNode(tree(f), {" 前有空格", "\t前有TAB"}));
        QCOMPARE(column(f->dm().customerTable, "联系人"), QStringList{"w2"});
        QVERIFY(reports_.isEmpty());

        writeTextLines(CustomerList::searchListPath(), {"分类1"});
        replaceTextFile(CustomerList::searchListPath(), {QStringLiteral("分类1"), QStringLiteral("䶮😀")});
        CustomerListSettingsWindow again(services(f), f.w.get());
        QCOMPARE(again.searchList(), (QStringList{"分类1", "䶮😀"}));
    }

    void rebuildRunsBesideTheWindow()
    {
        writeTextLines(CustomerList::searchListPath(), {"分类1", "分类2"});
        writeTextLines(CustomerList::treePath(), {"旧"});
        Fixture f;
        f->activate();
        QVERIFY(treeRead(f));
        testutil::named<QTabWidget>(&*f, QStringLiteral("tabs"))->setCurrentWidget(testutil::named<QWidget>(&*f, QStringLiteral("customerTab")));
        QCOMPARE(f->customerList()->treeNodes(), (QVector<Node>{{0, "旧"}}));
        QSignalSpy finished(f->customerList(), &CustomerList::rebuildFinished);
        QVector<Node> right_after;
        bool progressShown = false;
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<CustomerListSettingsWindow*>(QApplication::activeModalWidget());
            if (!d)
                return;
            testutil::named<QPushButton>(d, QStringLiteral("rebuildButton"))->click();
            // The click returns at once: the old tree is still there and the
            // progress window is up over the settings window.
            right_after = f->customerList()->treeNodes();
            WorkWindow* w = currentWorkWindow();
            progressShown = w && w->stopOffered() && f->customerList()->rebuildRunning();
            QTRY_VERIFY(!f->customerList()->rebuildRunning());
            testutil::named<QPushButton>(d, QStringLiteral("backButton"))->click();
        });
        testutil::named<QAction>(&*f, QStringLiteral("searchListAction"))->trigger();
        QCOMPARE(right_after, (QVector<Node>{{0, "旧"}}));
        QVERIFY(progressShown);
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        const QVector<Node> expected = referenceTree(db_, {"分类1", "分类2"});
        QCOMPARE(f->customerList()->treeNodes(), expected);
        QCOMPARE(readTextLines(CustomerList::treePath()), customertree::treeLines(expected));
        // Byte for byte the file the lines of those nodes make.
        const QString reference = CustomerList::treePath() + QStringLiteral(".reference");
        replaceTextFile(reference, customertree::treeLines(expected));
        QCOMPARE(fileBytes(CustomerList::treePath()), fileBytes(reference));
        QFile::remove(reference);
        QVERIFY(!currentWorkWindow());
        QVERIFY(reports_.isEmpty() && messages_.isEmpty());
        // A list that names no field: only the message, nothing started.
        QVERIFY(!f->customerList()->startRebuild({"分类1", "没有的字段"}, f.w.get()));
        QCOMPARE(messages_, QStringList{"左边的列表有误，不属于右边列表的一部分！"});
        QVERIFY(!f->customerList()->rebuildRunning());
    }

    void stoppingKeepsTheOldTreeAndFile()
    {
        // Enough customers for several stretches of the read.
        testutil::execute(db_, QStringLiteral(
            "insert into 客户数据 (联系人, 分类1, 分类2) "
            "with recursive c(i) as (select 1 union all select i + 1 from c where i < %1) "
            "select 'k' || i, 'g' || (i % 7), 'h' || (i % 13) from c").arg(customertree::kReadStretch * 6));
        writeTextLines(CustomerList::treePath(), {"旧", "\t旧子"});
        const QByteArray before = fileBytes(CustomerList::treePath());
        Fixture f;
        f->activate();
        QVERIFY(treeRead(f));
        QVERIFY(f.dm->connection.waitForIndexBuild());  // a large table gets its indexes after the open
        QSignalSpy finished(f->customerList(), &CustomerList::rebuildFinished);
        QVERIFY(f->customerList()->startRebuild({"分类1", "分类2"}, f.w.get()));
        WorkWindow* w = currentWorkWindow();
        QVERIFY(w && w->stopOffered());
        QVERIFY(!f->customerList()->startRebuild({"分类1"}, f.w.get()));  // one at a time
        QCOMPARE(messages_.size(), 1);
        messages_.clear();
        w->pressStop();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(f->customerList()->treeNodes(), (QVector<Node>{{0, "旧"}, {1, "旧子"}}));
        QCOMPARE(fileBytes(CustomerList::treePath()), before);
        QTRY_VERIFY(!currentWorkWindow());
        QVERIFY(reports_.isEmpty() && messages_.isEmpty());

        // Read to the end, with the progress told on the way.
        QVERIFY(f->customerList()->startRebuild({"分类1", "分类2"}, f.w.get()));
        int seen = 0;
        connect(currentWorkWindow()->findChild<QProgressBar*>(), &QProgressBar::valueChanged,
                [&](int v) { seen = std::max(seen, v); });
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 60000);
        QCOMPARE(finished.last().first().toBool(), true);
        QVERIFY(seen > 0);
        const QVector<Node> expected = referenceTree(db_, {"分类1", "分类2"});
        QCOMPARE(f->customerList()->treeNodes(), expected);
        QCOMPARE(readTextLines(CustomerList::treePath()), customertree::treeLines(expected));
    }

    void aFailedReadIsReportedAndChangesNothing()
    {
        writeTextLines(CustomerList::treePath(), {"旧"});
        Fixture f;
        f->activate();
        QVERIFY(treeRead(f));
        QSignalSpy finished(f->customerList(), &CustomerList::rebuildFinished);
        // The worker's own connection finds no database file.
        QVERIFY(QFile::remove(db_));
        QVERIFY(f->customerList()->startRebuild({"分类1"}, f.w.get()));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QCOMPARE(reports_.size(), 1);
        QCOMPARE(f->customerList()->treeNodes(), (QVector<Node>{{0, "旧"}}));
        QCOMPARE(readTextLines(CustomerList::treePath()), QStringList{"旧"});
    }

    void theModelFollowsTheOutline()
    {
        // Levels that jump are taken as one below the node before; a value
        // on two lines shows on one.
        const QVector<Node> jumpy{{0, "A"}, {2, "deep"}, {1, "A1"}, {3, "x"}, {0, "B"}, {1, "B\r\n1"}};
        CustomerTreeModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setOutline(std::make_shared<const customertree::Outline>(customertree::Outline::fromNodes(jumpy)));
        QStringList captions;
        QCOMPARE(shownNodes(model, &captions),
                 (QVector<Node>{{0, "A"}, {1, "deep"}, {1, "A1"}, {2, "x"}, {0, "B"}, {1, "B\r\n1"}}));
        QCOMPARE(captions, (QStringList{"A", "deep", "A1", "x", "B", "B 1"}));
        QCOMPARE(model.pathTo(findNodeIn(model, {"A", "A1", "x"})), (QStringList{"A", "A1", "x"}));
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("客户分类"));

        // A wide tree in a view, opened and selected, then replaced: the view
        // lets the old rows go and shows the new.
        QTreeView view;
        view.setModel(&model);
        view.resize(200, 300);
        view.show();
        const QVector<Node> first = wideTree(2500, 3000, QStringLiteral("旧"));
        model.setOutline(std::make_shared<const customertree::Outline>(customertree::Outline::fromNodes(first)));
        QCOMPARE(shownNodes(model), first);
        view.expand(model.index(0, 0));
        view.setCurrentIndex(model.index(5, 0, model.index(0, 0)));
        const QVector<Node> second = wideTree(1200, 10, QStringLiteral("新"));
        model.setOutline(std::make_shared<const customertree::Outline>(customertree::Outline::fromNodes(second)));
        QVERIFY(!view.currentIndex().isValid());
        QCOMPARE(shownNodes(model), second);
        view.expandAll();
        model.setOutline(nullptr);
        QCOMPARE(model.rowCount(), 0);
    }

    void theTreeFileIsReadBesideTheWindow()
    {
        Fixture f;
        // The file is a pipe that gives its lines only when the test writes
        // them: read on the window thread, the activation would never end.
        TreePipe pipe;
        QSignalSpy loaded(f->customerList(), &CustomerList::treeLoaded);
        f->activate();
        QVERIFY(f->customerList()->treeLoading());
        QTRY_VERIFY(pipe.openWriter());  // the reader waits on the other end
        // The window answers meanwhile.
        QTimer sentinel;
        sentinel.setSingleShot(true);
        QSignalSpy ticked(&sentinel, &QTimer::timeout);
        sentinel.start(0);
        QVERIFY(ticked.wait());
        QVERIFY(f->customerList()->treeLoading());
        QCOMPARE(tree(f)->model()->rowCount(), 0);
        pipe.write({"A", "\tA1", "\t\tX", "B"});
        QTRY_COMPARE(loaded.size(), 1);
        QVERIFY(!f->customerList()->treeLoading());
        QCOMPARE(f->customerList()->treeNodes(), (QVector<Node>{{0, "A"}, {1, "A1"}, {2, "X"}, {0, "B"}}));
        QCOMPARE(findNode(tree(f), {"A", "A1", "X"}).data().toString(), QStringLiteral("X"));
        QVERIFY(reports_.isEmpty());
    }

    void aTreeRebuiltWhileTheFileIsReadStays()
    {
        Fixture f;
        TreePipe pipe;
        QSignalSpy loaded(f->customerList(), &CustomerList::treeLoaded);
        f->activate();
        QTRY_VERIFY(pipe.openWriter());
        QVERIFY(f->customerList()->rebuildTreeNow({"分类1"}));
        const QVector<Node> rebuilt = f->customerList()->treeNodes();
        QCOMPARE(rebuilt, referenceTree(db_, {"分类1"}));
        // The old file's lines come in late, a damaged one among them: neither
        // the old tree nor its fault is shown.
        pipe.write({"旧", "\t\t\t坏"});
        QTRY_COMPARE(loaded.size(), 1);
        QCOMPARE(f->customerList()->treeNodes(), rebuilt);
        QCOMPARE(shownNodes(*tree(f)->model()), rebuilt);
        QVERIFY(reports_.isEmpty());
    }

    void treeFileAtStart()
    {
        writeTextLines(CustomerList::treePath(), {"A", "\tA1", "\t\tX", "\tA2", "B", "C"});
        {
            Fixture f;
            f->activate();
            QVERIFY(treeRead(f));
            QCOMPARE(tree(f)->model()->rowCount(), 3);
            QCOMPARE(findNode(tree(f), {"A", "A1", "X"}).data().toString(), QStringLiteral("X"));
            QCOMPARE(f->customerList()->treeNodes().size(), 6);
        }
        // A bad level: reported, the nodes before it stay, the rest of the
        // start-up still runs.
        writeTextLines(CustomerList::treePath(), {"A", "\tA1", "\t\t\tdeep", "B"});
        writeTextLines(folder_ + QStringLiteral("set/khfield.dat"), {"2"});
        Fixture f;
        f->activate();
        QVERIFY(treeRead(f));
        QCOMPARE(reports_, QStringList{"Invalid level (3) for item \"deep\""});
        QCOMPARE(f->customerList()->treeNodes(), (QVector<Node>{{0, "A"}, {1, "A1"}}));
        QCOMPARE(testutil::named<QComboBox>(&*f, QStringLiteral("customerSearchField"))->currentIndex(), 2);
    }

private:
    CustomerListSettingsServices services(Fixture& f)
    {
        MainWindow* w = f.w.get();
        CustomerListSettingsServices s;
        s.customerTabActive = [w] { return testutil::named<QTabWidget>(&*w, QStringLiteral("tabs"))->currentWidget() == testutil::named<QWidget>(&*w, QStringLiteral("customerTab")); };
        s.customerFields = [w] { return w->dm().customerTable.fieldNames(); };
        s.searchListPath = CustomerList::searchListPath();
        s.rebuildTree = [w](const QStringList& l, QWidget*) { w->customerList()->rebuildTreeNow(l); };
        return s;
    }

    QString folder_;
    QString db_;
    QStringList reports_;
    QStringList messages_;
};

QTEST_MAIN(TestCustomerList)
#include "test_customerlist.moc"
