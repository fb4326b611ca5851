#pragma once
// The customer list tab: "显示所有数据", the field search ("查询" or Enter),
// the search by a click in the category tree, loading the tree at start-up
// (read on a thread of its own), rebuilding it from the customers, and the
// settings window it is arranged in.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

#include "rules/lists/customertree.h"
#include "rules/lists/treeoutline.h"

class DBGrid;
class DataSet;
class QComboBox;
class QLineEdit;
class QPushButton;
class QThread;
class QTreeView;
class QWidget;
class CustomerTreeModel;
class BackgroundWork;

class CustomerList : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QComboBox* fieldBox;          // the field searched
        QLineEdit* searchText;
        QPushButton* searchButton;    // 查询
        QPushButton* showAllButton;   // 显示所有数据
        QTreeView* tree;              // the category tree
        DBGrid* grid;                 // the customer list
    };
    // `setMessage` writes the status bar's message panel; `showAll` is the
    // main window's openCustomers; `customerTabActive` tells whether the
    // customer list tab is the one in front.
    CustomerList(DataSet& customers, const Controls& controls,
                 std::function<void(const QString&)> setMessage, std::function<void()> showAll,
                 std::function<bool()> customerTabActive, QObject* parent);

    static QString searchListPath();  // set/kehu_Search.List
    static QString treePath();        // set/kehu_TreeView.List
    static QString gridLayoutPath();  // set/DBGrid1.dat

    void showAllCustomers();    // all customers
    void searchByField();    // field search
    void searchTreeNode();  // search for the tree's selected node

    // The tree from set/kehu_TreeView.List when it exists, read and built
    // on a thread of its own while the window goes on; treeLoaded() follows
    // once it is in the tree.  A line more than one level below the one
    // before ends the load with an error, reported then; the nodes read until
    // there stay in the tree.  A tree set or rebuilt meanwhile wins over the
    // file's.
    void loadTreeFile();
    bool treeLoading() const { return loader_ != nullptr; }

    // Rebuilds the tree from the customers for the search list (its first
    // four entries) and writes it to set/kehu_TreeView.List, here and now.
    // Everything is checked and read before the tree is touched: an empty
    // list or an entry that is no customer field gets a message and changes
    // nothing.  Returns false when it did not rebuild.
    bool rebuildTreeNow(const QStringList& searchList);

    // "重生列表": the same rebuild with the table read on a worker thread over
    // a connection of its own, while a progress window over `owner` shows how
    // far it has come and offers "停止"; the new tree is built there too and
    // replaces the old at once.  Stopping keeps the tree and its file as they
    // were.
    // The checks are made first, here; returns false when they fail (or other
    // long work is running).  rebuildFinished() follows the end of a started
    // rebuild, whichever way it ends.
    bool startRebuild(const QStringList& searchList, QWidget* owner);
    bool rebuildRunning() const;

    // The tree's nodes in depth-first order (the values, whatever the tree
    // shows of them); replacing them.
    QVector<customertree::Node> treeNodes() const;
    void setTreeNodes(const QVector<customertree::Node>& nodes);
    CustomerTreeModel* treeModel() const { return model_; }

    // Menu 设置 › 设置查询列表: the settings window, modal over `owner`.
    void editSearchList(QWidget* owner);

    ~CustomerList() override;

signals:
    void rebuildFinished(bool rebuilt);
    void treeLoaded();

private:
    struct Rebuilt;
    struct TreeRead;
    void showTree(std::shared_ptr<const customertree::Outline> outline);
    static void releaseFreedMemory();
    bool eventFilter(QObject* watched, QEvent* event) override;
    QStringList customerFields() const;
    bool checkSearchList(const QStringList& searchList);

    DataSet& customers_;
    Controls c_;
    std::function<void(const QString&)> setMessage_;
    std::function<void()> showAll_;
    std::function<bool()> customerTabActive_;
    QPointer<BackgroundWork> rebuild_;  // the read under way
    CustomerTreeModel* model_;          // what the tree shows
    QThread* loader_ = nullptr;         // reading the tree file
    int treeGeneration_ = 0;            // counts the trees shown
    bool closing_ = false;
};
