#pragma once
// The dictionary editor: the values of one choice field in a grid, with
// "添加", "删除", "保存" and "返回".

#include <QDialog>

class DBGrid;
class QLabel;
class QPushButton;
class DataModule;

class DictionaryWindow : public QDialog {
    Q_OBJECT
public:
    DictionaryWindow(DataModule& dm, QWidget* owner = nullptr);

    QLabel* Label1;
    DBGrid* DBGrid1;
    QPushButton* BitBtn1;  // 添加
    QPushButton* BitBtn2;  // 删除
    QPushButton* BitBtn3;  // 保存
    QPushButton* BitBtn4;  // 返回

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

private:
    DataModule& dm_;
};
