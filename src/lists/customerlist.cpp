#include "lists/customerlist.h"

#include <QApplication>
#include <algorithm>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTreeWidget>

#include "app/errorreport.h"
#include "app/message.h"
#include "app/paths.h"
#include "app/textfile.h"
#include "db/connection.h"
#include "db/dataset.h"
#include "lists/gridlayout.h"
#include "lists/khlb.h"
#include "lists/listsearch.h"
#include "lists/reopen.h"
#include "lists/savefile.h"

using customertree::Node;

namespace {

const QString kOutdated = QStringLiteral("检索列表过时，应该重新生成！");

int levelOf(const QTreeWidgetItem* item)
{
    int level = 0;
    for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ++level;
    return level;
}

// While the tree is refilled or the rebuild reads the table.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

CustomerList::CustomerList(DataSet& customers, const Controls& controls,
                           std::function<void(const QString&)> setMessage,
                           std::function<void()> showAll, std::function<bool()> customerTabActive,
                           QObject* parent)
    : QObject(parent), customers_(customers), c_(controls), setMessage_(std::move(setMessage)),
      showAll_(std::move(showAll)), customerTabActive_(std::move(customerTabActive))
{
    connect(c_.BitBtn12, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn12Click(); }); });
    connect(c_.BitBtn14, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn14Click(); }); });
    c_.Edit2->installEventFilter(this);
    c_.TreeView1->viewport()->installEventFilter(this);
    c_.TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
}

QString CustomerList::searchListPath() { return programFolder() + QStringLiteral("set/kehu_Search.List"); }
QString CustomerList::treePath() { return programFolder() + QStringLiteral("set/kehu_TreeView.List"); }
QString CustomerList::gridLayoutPath() { return programFolder() + QStringLiteral("set/DBGrid1.dat"); }

bool CustomerList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == c_.Edit2 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded([this] { BitBtn12Click(); });
            return true;
        }
    } else if (watched == c_.TreeView1->viewport() && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Every click searches, also one that leaves the selection as it was;
        // the tree has handled the press, so the selection is the new one.
        guarded([this] { SerachKehuMoShi(); });
    }
    return QObject::eventFilter(watched, event);
}

QStringList CustomerList::customerFields() const { return customers_.fieldNames(); }

void CustomerList::BitBtn14Click()
{
    if (customers_.isActive())
        customers_.checkBrowseMode();
    showAll_();
}

void CustomerList::BitBtn12Click()
{
    reopenWith(customers_, listsearch::fieldSearch(QStringLiteral("客户数据"),
                                                   c_.ComboBox2->currentText(), c_.Edit2->text()));
}

void CustomerList::SerachKehuMoShi()
{
    const QList<QTreeWidgetItem*> selected = c_.TreeView1->selectedItems();
    QTreeWidgetItem* node = selected.isEmpty() ? nullptr : selected.first();
    const QStringList fields = customerFields();
    if (!QFile::exists(searchListPath())) {
        showMessage(kOutdated);
        return;
    }
    const QStringList list = readTextLines(searchListPath());
    if (customertree::firstUnknownEntry(list, fields) >= 0) {
        showMessage(kOutdated);
        return;
    }
    QStringList path;
    for (QTreeWidgetItem* n = node; n; n = n->parent())
        path.prepend(n->text(0));
    bool orderById = false;
    for (int i = 0; i < c_.ComboBox2->count(); ++i)
        orderById = orderById ||
                    c_.ComboBox2->itemText(i).compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0;
    const customertree::TreeSearch s = customertree::treeSearch(list, path, orderById);
    if (s.setsMessage)
        setMessage_(s.message);
    reopenWith(customers_, customertree::joinLines(s.lines));
    // The saved layout comes back with every tree search; a fault in it is
    // passed over and the grid keeps its columns.
    try {
        gridlayout::loadIfPresent(*c_.DBGrid1, gridLayoutPath());
    } catch (const std::exception&) {
    }
}

QVector<Node> CustomerList::treeNodes() const
{
    QVector<Node> out;
    QVector<QTreeWidgetItem*> stack;
    for (int i = c_.TreeView1->topLevelItemCount() - 1; i >= 0; --i)
        stack.append(c_.TreeView1->topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* item = stack.takeLast();
        out.append({levelOf(item), item->text(0)});
        for (int i = item->childCount() - 1; i >= 0; --i)
            stack.append(item->child(i));
    }
    return out;
}

void CustomerList::setTreeNodes(const QVector<Node>& nodes)
{
    QTreeWidget* tree = c_.TreeView1;
    tree->setUpdatesEnabled(false);
    tree->clear();
    // Items are joined to their parents before the tree sees them, so the
    // view takes the whole tree at once.
    QList<QTreeWidgetItem*> top;
    QVector<QTreeWidgetItem*> last;  // the last item made at each level
    for (const Node& n : nodes) {
        auto* item = new QTreeWidgetItem(QStringList{n.text});
        const int level = std::clamp(n.level, 0, int(last.size()));  // never below a missing parent
        last.resize(level + 1);
        last[level] = item;
        if (level == 0)
            top.append(item);
        else
            last[level - 1]->addChild(item);
    }
    tree->addTopLevelItems(top);
    tree->setUpdatesEnabled(true);
}

void CustomerList::loadTreeFile()
{
    if (!QFile::exists(treePath()))
        return;
    QVector<Node> nodes;
    QString error;
    const bool ok = customertree::parseTree(readTextLines(treePath()), &nodes, &error);
    setTreeNodes(nodes);
    if (!ok)
        throw AppError(error);
}

bool CustomerList::Create_sxr_treeview_List(const QStringList& searchList)
{
    const QStringList fields = customerFields();
    if (customertree::firstUnknownEntry(searchList, fields) >= 0) {
        showMessage(QStringLiteral("左边的列表有误，不属于右边列表的一部分！"));
        return false;
    }
    if (searchList.isEmpty()) {
        showMessage(QStringLiteral("左边的列表是空的，请先从右边的列表中加入字段！"));
        return false;
    }
    BusyCursor busy;
    // One statement gives every combination of the values, each where it
    // first appears; the tree is built from them in memory before anything
    // on screen changes.
    const QStringList levels = searchList.mid(0, 4);
    Connection* connection = customers_.connection();
    connection->open();
    QSqlQuery q(connection->database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("Select distinct ") + levels.join(QStringLiteral(", ")) +
                QStringLiteral(" from 客户数据")))
        throw DbError(q.lastError().text());
    customertree::TreeBuilder builder(int(levels.size()));
    QStringList row;
    while (q.next()) {
        row.clear();
        for (int i = 0; i < levels.size(); ++i)
            row << q.value(i).toString();
        builder.addRow(row);
    }
    if (q.lastError().isValid())
        throw DbError(q.lastError().text());
    const QVector<Node> nodes = builder.nodes();
    setTreeNodes(nodes);
    replaceTextFile(treePath(), customertree::treeLines(nodes));
    return true;
}

void CustomerList::N17Click(QWidget* owner)
{
    KhlbServices services;
    services.customerTabActive = customerTabActive_;
    services.customerFields = [this] { return customerFields(); };
    services.rebuildTree = [this](const QStringList& list) { Create_sxr_treeview_List(list); };
    auto* dialog = new Tkhlbw(services, owner);
    dialog->exec();
    delete dialog;
}
