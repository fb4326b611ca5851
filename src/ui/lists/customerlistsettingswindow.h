#pragma once
// The customer list settings window "客户列表窗口设置": the search list (the
// customer fields the category tree's levels stand for) is arranged here,
// saved to set/kehu_Search.List, and the tree is rebuilt from it.

#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

// What the window needs from the main window.
struct CustomerListSettingsServices {
    std::function<bool()> customerTabActive;   // is "客户列表" the tab in front?
    std::function<QStringList()> customerFields;
    // Create_sxr_treeview_List for the list, over this window.
    std::function<void(const QStringList&, QWidget*)> rebuildTree;
};

class CustomerListSettingsWindow : public QDialog {
    Q_OBJECT
public:
    CustomerListSettingsWindow(CustomerListSettingsServices services, QWidget* owner);

    QStringList searchList() const;  // the entries of ListBox1

    QLabel* Label1;
    QListWidget* ListBox1;  // search order
    QLabel* Label2;
    QListWidget* ListBox2;  // all fields
    QPushButton* Button1;   // ← add
    QPushButton* Button2;   // → remove
    QPushButton* Button3;   // ↑
    QPushButton* Button4;   // ↓
    QPushButton* Button7;   // 清空
    QPushButton* Button8;   // 重生列表
    QPushButton* Button5;   // 保存
    QPushButton* Button6;   // 返回

    void InPutList();
    void Button1Click();  // also a double click in ListBox2
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button7Click();
    void Button5Click();
    void Button8Click();

private:
    CustomerListSettingsServices s_;
};
