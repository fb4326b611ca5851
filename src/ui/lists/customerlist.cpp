#include "ui/lists/customerlist.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "rules/app/errorreport.h"
#include "ui/app/message.h"
#include "rules/app/paths.h"
#include "rules/app/textfile.h"
#include "data/app/backgroundwork.h"
#include "data/app/connection.h"
#include "data/app/dataset.h"
#include "ui/app/workwindow.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/customerlistsettingswindow.h"
#include "rules/lists/listsearch.h"
#include "data/lists/reopen.h"
#include "rules/lists/savefile.h"
#include "ui/lists/treefiller.h"
#include "data/lists/treeread.h"

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

// What a rebuild's worker hands over: the items of the new tree, deleted
// unless they are taken.
struct CustomerList::Rebuilt {
    QVector<treeitems::Group> groups;
    ~Rebuilt() { treeitems::deleteGroups(groups); }
};

CustomerList::CustomerList(DataSet& customers, const Controls& controls,
                           std::function<void(const QString&)> setMessage,
                           std::function<void()> showAll, std::function<bool()> customerTabActive,
                           QObject* parent)
    : QObject(parent), customers_(customers), c_(controls), setMessage_(std::move(setMessage)),
      showAll_(std::move(showAll)), customerTabActive_(std::move(customerTabActive))
{
    connect(c_.searchButton, &QPushButton::clicked, this, [this] { guarded([this] { searchByField(); }); });
    connect(c_.showAllButton, &QPushButton::clicked, this, [this] { guarded([this] { showAllCustomers(); }); });
    c_.searchText->installEventFilter(this);
    c_.tree->viewport()->installEventFilter(this);
    c_.tree->setSelectionMode(QAbstractItemView::SingleSelection);
    filler_ = new TreeFiller(c_.tree, this);
    connect(filler_, &TreeFiller::finished, this, [this] { emit rebuildFinished(true); });
}

CustomerList::~CustomerList()
{
    // A rebuild still reading ends here, unseen.
    closing_ = true;
    if (rebuild_) {
        rebuild_->stop();
        rebuild_->wait();
    }
}

QString CustomerList::searchListPath() { return programFolder() + QStringLiteral("set/kehu_Search.List"); }
QString CustomerList::treePath() { return programFolder() + QStringLiteral("set/kehu_TreeView.List"); }
QString CustomerList::gridLayoutPath() { return programFolder() + QStringLiteral("set/DBGrid1.dat"); }

bool CustomerList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == c_.searchText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            guarded([this] { searchByField(); });
            return true;
        }
    } else if (watched == c_.tree->viewport() && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // Every click searches, also one that leaves the selection as it was.
        // The search runs once the tree has taken the release too: a click
        // on its empty part clears the selection only then.
        QMetaObject::invokeMethod(
            this, [this] { guarded([this] { searchTreeNode(); }); }, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

QStringList CustomerList::customerFields() const { return customers_.fieldNames(); }

void CustomerList::showAllCustomers()
{
    if (customers_.isActive())
        customers_.checkBrowseMode();
    showAll_();
}

void CustomerList::searchByField()
{
    reopenWith(customers_, WrittenStatement::of(listsearch::fieldSearch(QStringLiteral("客户数据"),
                                                                        c_.fieldBox->currentText(), c_.searchText->text(),
                                                                        textLikeOf(customers_)),
                                                QStringLiteral("客户数据")));
}

void CustomerList::searchTreeNode()
{
    const QList<QTreeWidgetItem*> selected = c_.tree->selectedItems();
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
        path.prepend(treeitems::valueOf(n));
    bool orderById = false;
    for (int i = 0; i < c_.fieldBox->count(); ++i)
        orderById = orderById ||
                    c_.fieldBox->itemText(i).compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0;
    const customertree::TreeSearch s = customertree::treeSearch(list, path, orderById);
    if (s.setsMessage)
        setMessage_(s.message);
    reopenWith(customers_, s.statement());
    // The saved layout comes back with every tree search; a fault in it is
    // passed over and the grid keeps its columns.
    try {
        gridlayout::loadIfPresent(*c_.grid, gridLayoutPath());
    } catch (const std::exception&) {
    }
}

QVector<Node> CustomerList::treeNodes() const
{
    QVector<Node> out;
    QVector<QTreeWidgetItem*> stack;
    for (int i = c_.tree->topLevelItemCount() - 1; i >= 0; --i)
        stack.append(c_.tree->topLevelItem(i));
    while (!stack.isEmpty()) {
        QTreeWidgetItem* item = stack.takeLast();
        out.append({levelOf(item), treeitems::valueOf(item)});
        for (int i = item->childCount() - 1; i >= 0; --i)
            stack.append(item->child(i));
    }
    return out;
}

void CustomerList::setTreeNodes(const QVector<Node>& nodes)
{
    if (filler_->running()) {
        filler_->abandon();
        emit rebuildFinished(false);
    }
    QTreeWidget* tree = c_.tree;
    tree->setUpdatesEnabled(false);
    tree->clear();
    // Items are joined to their parents before the tree sees them, so the
    // view takes the whole tree at once.
    tree->addTopLevelItems(treeitems::joinGroups(treeitems::makeGroups(nodes)));
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

bool CustomerList::checkSearchList(const QStringList& searchList)
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
    return true;
}

bool CustomerList::rebuildTreeNow(const QStringList& searchList)
{
    if (!checkSearchList(searchList))
        return false;
    BusyCursor busy;
    // The whole tree is read and built in memory before anything on screen
    // changes.
    Connection* connection = customers_.connection();
    connection->open();
    QVector<Node> nodes;
    customertree::readTree(connection->database(), searchList, {}, {}, &nodes);
    setTreeNodes(nodes);
    replaceTextFile(treePath(), customertree::treeLines(nodes));
    return true;
}

bool CustomerList::startRebuild(const QStringList& searchList, QWidget* owner)
{
    if (refuseWhileWorking(owner) || filler_->running() || !checkSearchList(searchList))
        return false;
    const QStringList fields = searchList.mid(0, 4);
    const QString treeFile = treePath();
    auto rebuilt = std::make_shared<Rebuilt>();
    auto* work = new BackgroundWork(
        customers_.connection(), QStringLiteral("重新生成客户分类列表"), BackgroundWork::Access::Read,
        [fields, treeFile, rebuilt](WorkContext& cx) {
            cx.setText(QStringLiteral("正在读取客户数据……"));
            QVector<Node> nodes;
            if (!customertree::readTree(
                    cx.db(), fields, [&cx] { return cx.stopRequested(); },
                    [&cx](qint64 done, qint64 total) { cx.progress(done, total); }, &nodes))
                throw WorkStopped();
            cx.setText(QStringLiteral("正在生成客户分类列表……"));
            rebuilt->groups = treeitems::makeGroups(nodes);
            cx.checkStop();
            // From here on it is not stopped any more: the new file and the
            // new tree go together.
            cx.setText(QStringLiteral("正在保存客户分类列表……"));
            replaceTextFile(treeFile, customertree::treeLines(nodes));
        },
        this);
    rebuild_ = work;
    runWork(work, owner, [this, rebuilt](const WorkOutcome& outcome) {
        rebuild_ = nullptr;
        if (closing_)
            return;
        if (!outcome.ok) {
            // Stopped or failed: the old tree and its file stay.
            if (!outcome.stopped)
                errorreport::report(outcome.error);
            emit rebuildFinished(false);
            return;
        }
        // The new items go into the tree a slice at a time.
        filler_->start(std::exchange(rebuilt->groups, {}));
    });
    return true;
}

bool CustomerList::rebuildRunning() const { return rebuild_ || filler_->running(); }

void CustomerList::editSearchList(QWidget* owner)
{
    CustomerListSettingsServices services;
    services.customerTabActive = customerTabActive_;
    services.customerFields = [this] { return customerFields(); };
    services.rebuildTree = [this](const QStringList& list, QWidget* from) { startRebuild(list, from); };
    services.searchListPath = searchListPath();
    auto* dialog = new CustomerListSettingsWindow(services, owner);
    dialog->exec();
    delete dialog;
}
