#pragma once
// The dictionary editor: the values of one choice field in a grid, with
// "添加", "删除", "保存" and "返回".  Its controls carry object names:
// "valueGrid", "addButton", "removeButton", "saveButton", "backButton".

#include <QDialog>

class DBGrid;
class DataModule;

class DictionaryWindow : public QDialog {
    Q_OBJECT
public:
    DictionaryWindow(DataModule& dm, QWidget* owner = nullptr);

    void addValue();     // 添加: a new row, the cursor in its 内容 cell
    void removeValue();  // 删除
    void saveValue();    // 保存: stores a new or changed row

private:
    DataModule& dm_;
    DBGrid* valueGrid_;
};
