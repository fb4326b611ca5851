#pragma once
// The customer list tab: "显示所有数据", the field search ("查询" or Enter),
// the search by a click in the category tree, loading the tree at start-up,
// rebuilding it from the customers, and the settings window it is arranged in.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "lists/customertree.h"

class DBGrid;
class DataSet;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QWidget;

class CustomerList : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QComboBox* ComboBox2;  // field box
        QLineEdit* Edit2;      // search text
        QPushButton* BitBtn12; // 查询
        QPushButton* BitBtn14; // 显示所有数据
        QTreeWidget* TreeView1;
        DBGrid* DBGrid1;
    };
    // `setMessage` writes the status bar's message panel; `showAll` is the
    // main window's OpenKehuData; `customerTabActive` tells whether the
    // customer list tab is the one in front.
    CustomerList(DataSet& customers, const Controls& controls,
                 std::function<void(const QString&)> setMessage, std::function<void()> showAll,
                 std::function<bool()> customerTabActive, QObject* parent);

    static QString searchListPath();  // set/kehu_Search.List
    static QString treePath();        // set/kehu_TreeView.List
    static QString gridLayoutPath();  // set/DBGrid1.dat

    void BitBtn14Click();    // all customers
    void BitBtn12Click();    // field search
    void SerachKehuMoShi();  // search for the tree's selected node

    // The tree from set/kehu_TreeView.List when it exists.  A line more than
    // one level below the one before ends the load with an error; the nodes
    // read until then stay in the tree.
    void loadTreeFile();

    // Rebuilds the tree from the customers for the search list (its first
    // four entries) and writes it to set/kehu_TreeView.List.  Everything is
    // checked and read before the tree is touched: an empty list or an entry
    // that is no customer field gets a message and changes nothing.  Returns
    // false when it did not rebuild.
    bool Create_sxr_treeview_List(const QStringList& searchList);

    // The tree's nodes in depth-first order; replacing them.
    QVector<customertree::Node> treeNodes() const;
    void setTreeNodes(const QVector<customertree::Node>& nodes);

    // Menu 设置 › 设置查询列表: the settings window, modal over `owner`.
    void N17Click(QWidget* owner);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    QStringList customerFields() const;

    DataSet& customers_;
    Controls c_;
    std::function<void(const QString&)> setMessage_;
    std::function<void()> showAll_;
    std::function<bool()> customerTabActive_;
};
