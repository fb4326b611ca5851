#include "ui/lists/customerlist.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <algorithm>
#include <future>
#include <sys/resource.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <utility>

#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "data/work/backgroundwork.h"
#include "data/connection/connection.h"
#include "data/dataset/dataset.h"
#include "ui/kit/workwindow.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/customerlistsettingswindow.h"
#include "rules/lists/listsearch.h"
#include "data/lists/reopen.h"
#include "rules/lists/savefile.h"
#include "ui/lists/customertreemodel.h"
#include "data/lists/treeread.h"
#include "rules/statements/tablenames.h"

using customertree::Node;

namespace {

const QString kOutdated = QStringLiteral("检索列表过时，应该重新生成！");

// While the tree is refilled or the rebuild reads the table.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// What a rebuild's worker hands over: the new tree.
struct CustomerList::Rebuilt {
    std::shared_ptr<const customertree::Outline> outline;
};

// What the tree file's reader hands over: the tree read, and the error that
// ended the reading, if any.
struct CustomerList::TreeRead {
    std::shared_ptr<const customertree::Outline> outline;
    std::exception_ptr failure;
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
    // Every row is one line high: the view need not measure rows it does
    // not show.
    c_.tree->setUniformRowHeights(true);
    model_ = new CustomerTreeModel(this);
    c_.tree->setModel(model_);
}

CustomerList::~CustomerList()
{
    // A rebuild still reading ends here, unseen.
    closing_ = true;
    if (rebuild_) {
        rebuild_->stop();
        rebuild_->wait();
    }
    if (loader_)
        loader_->wait();
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
    reopenWith(customers_, WrittenStatement::of(listsearch::fieldSearch(tables::customers(),
                                                                        c_.fieldBox->currentText(), c_.searchText->text(),
                                                                        textLikeOf(customers_)),
                                                tables::customers()));
}

void CustomerList::searchTreeNode()
{
    const QModelIndexList selected = c_.tree->selectionModel()->selectedIndexes();
    const QModelIndex node = selected.isEmpty() ? QModelIndex() : selected.first();
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
    const QStringList path = model_->pathTo(node);
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

QVector<Node> CustomerList::treeNodes() const { return model_->outline().nodes(); }

void CustomerList::setTreeNodes(const QVector<Node>& nodes)
{
    showTree(std::make_shared<const customertree::Outline>(customertree::Outline::fromNodes(nodes)));
}

void CustomerList::showTree(std::shared_ptr<const customertree::Outline> outline)
{
    ++treeGeneration_;  // a file read still under way comes too late
    model_->setOutline(std::move(outline));
    releaseFreedMemory();
}

void CustomerList::releaseFreedMemory()
{
    // Building a large tree leaves a worker's heap full of freed blocks the
    // allocator keeps; handed back, the next build does not add to them.
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void CustomerList::loadTreeFile()
{
    if (!QFile::exists(treePath()) || loader_)
        return;
    auto read = std::make_shared<TreeRead>();
    const QString path = treePath();
    loader_ = QThread::create([read, path] {
        // The start's own work (the lists, the record position) comes first.
        ::setpriority(PRIO_PROCESS, 0, 10);  // this thread only, on Linux
        try {
            QString error;
            read->outline = std::make_shared<const customertree::Outline>(
                customertree::Outline::fromText(readText(path), &error));
            if (!error.isEmpty())
                throw AppError(error);
        } catch (...) {
            read->failure = std::current_exception();
        }
    });
    loader_->setParent(this);
    const int generation = treeGeneration_;
    connect(loader_, &QThread::finished, this, [this, read, generation] {
        loader_->deleteLater();
        loader_ = nullptr;
        // A tree set or rebuilt meanwhile stays, and the file's faults with
        // the file's tree go unseen.
        if (generation == treeGeneration_) {
            if (read->outline)
                showTree(read->outline);
            if (read->failure)
                guarded([&read] { std::rethrow_exception(read->failure); });
        }
        emit treeLoaded();
    });
    loader_->start();
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
    if (refuseWhileWorking(owner) || rebuild_ || !checkSearchList(searchList))
        return false;
    const QStringList fields = searchList.mid(0, 4);
    const QString treeFile = treePath();
    auto rebuilt = std::make_shared<Rebuilt>();
    auto* work = new BackgroundWork(
        customers_.connection(), QStringLiteral("重新生成客户分类列表"), BackgroundWork::Access::Read,
        [fields, treeFile, rebuilt](WorkContext& cx) {
            cx.setText(QStringLiteral("正在读取客户数据……"));
            // The tree is built compactly as the rows come, and the outline
            // and the file's bytes are made from it: no string per node.
            customertree::TreeBuilder builder(int(fields.size()));
            if (!customertree::readTree(
                    cx.db(), fields, [&cx] { return cx.stopRequested(); },
                    [&cx](qint64 done, qint64 total) { cx.progress(done, total); }, &builder))
                throw WorkStopped();
            builder.finishRows();
            cx.setText(QStringLiteral("正在生成客户分类列表……"));
            // The file's bytes are made meanwhile on a thread of their own
            // (both only read the builder).
            std::future<QByteArray> bytes =
                std::async(std::launch::async, [&builder] { return customertree::treeFileBytes(builder); });
            rebuilt->outline = std::make_shared<const customertree::Outline>(customertree::Outline::fromBuilder(builder));
            const QByteArray file = bytes.get();
            cx.checkStop();
            // From here on it is not stopped any more: the new file and the
            // new tree go together.
            cx.setText(QStringLiteral("正在保存客户分类列表……"));
            replaceFile(treeFile, file);
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
            releaseFreedMemory();
            emit rebuildFinished(false);
            return;
        }
        showTree(std::exchange(rebuilt->outline, {}));
        emit rebuildFinished(true);
    });
    return true;
}

bool CustomerList::rebuildRunning() const { return !rebuild_.isNull(); }

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
