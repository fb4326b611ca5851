#pragma once
// The field selection window of the export: every field of the data set on
// the left, the fields to export on the right in their column order, and
// the per-file limit (units of 10,000 records).

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

class ExportFieldsWindow : public QDialog {
    Q_OBJECT
public:
    // `limit` is the data module's per-file limit: "返回" with the box
    // ticked writes the spin box's number into it.
    ExportFieldsWindow(const QStringList& fields, int& limit, QWidget* owner = nullptr);

    // The right list's entries in their order.
    QStringList chosenFields() const;

    QLabel* Label1;
    QListWidget* ListBox1;
    QPushButton* Button1;  // 添加
    QPushButton* Button7;  // 全选
    QPushButton* Button4;  // 删除
    QPushButton* Button8;  // 全删除
    QPushButton* Button6;  // 返回
    QLabel* Label2;
    QListWidget* ListBox2;
    QCheckBox* CheckBox1;
    QSpinBox* SpinEdit1;
    QLabel* Label3;
    QLabel* Label4;

    void Button1Click();
    void Button7Click();
    void Button4Click();
    void Button8Click();
    void Button6Click();
    void ListBox2DblClick();

private:
    int& limit_;
};
