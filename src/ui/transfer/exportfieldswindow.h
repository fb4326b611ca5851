#pragma once
// The field selection window of the export: every field of the data set on
// the left, the fields to export on the right in their column order, and
// the per-file limit (units of 10,000 records).  Its controls carry object
// names: "allFields", "chosenFields", "addFieldButton", "addAllButton",
// "removeFieldButton", "removeAllButton", "backButton", "limitBox",
// "limitNumber".

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QListWidget;
class QSpinBox;

class ExportFieldsWindow : public QDialog {
    Q_OBJECT
public:
    // `limit` is the per-file limit in force; "返回" with the box ticked
    // replaces it by the spin box's number.
    ExportFieldsWindow(const QStringList& fields, int limit, QWidget* owner = nullptr);

    // What the operator chose: the fields in their column order, and the limit.
    struct Choice {
        QStringList fields;
        int limit = 0;
    };
    // Shows the window modally over `owner` and gives the choice.
    static Choice ask(const QStringList& fields, int limit, QWidget* owner);

    QStringList chosenFields() const;  // the right list's entries in their order
    int limit() const { return limit_; }

    void addField();        // 添加, or a double click on the left
    void addAllFields();    // 全选
    void removeField();     // 删除
    void removeAllFields(); // 全删除
    void goBack();          // 返回: takes the limit when the box is ticked
    void removeClicked();   // a double click on the right

private:
    int limit_;
    QListWidget* allFields_;
    QListWidget* chosenFields_;
    QCheckBox* limitBox_;
    QSpinBox* limitNumber_;
};
