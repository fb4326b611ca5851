#pragma once
// The customer list settings window "客户列表窗口设置": the search list (the
// customer fields the category tree's levels stand for) is arranged here,
// saved to set/kehu_Search.List, and the tree is rebuilt from it.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

class QLabel;
class QListWidget;

// What the window needs from the main window.
struct CustomerListSettingsServices {
    std::function<bool()> customerTabActive;   // is "客户列表" the tab in front?
    std::function<QStringList()> customerFields;
    // rebuildTreeNow for the list, over this window.
    std::function<void(const QStringList&, QWidget*)> rebuildTree;
    QString searchListPath;  // set/kehu_Search.List
};

// Its controls carry object names: "searchOrder", "allFields",
// "allFieldsLabel", "addButton" (←), "removeButton" (→), "upButton",
// "downButton", "clearButton", "rebuildButton", "saveButton", "backButton".
class CustomerListSettingsWindow : public QDialog {
    Q_OBJECT
public:
    CustomerListSettingsWindow(CustomerListSettingsServices services, QWidget* owner);

    QStringList searchList() const;  // the search order's entries

    void addField();     // ←, also a double click on all fields
    void removeField();  // →
    void moveUp();       // ↑
    void moveDown();     // ↓
    void clearList();    // 清空
    void saveList();     // 保存
    void rebuildTree();  // 重生列表

private:
    void fillLists();
    // The selected row of the search order, or -1 after telling the operator.
    int selectedRow();

    CustomerListSettingsServices s_;
    QListWidget* searchOrder_;
    QListWidget* allFields_;
    QLabel* allFieldsLabel_;
};
