#pragma once
// The confirmation window: a question with "是" and "否".

#include <QDialog>

#include "app/look.h"

class QLabel;
class QPushButton;
class TDataModule1;

class Ttishiw2 : public QDialog {
    Q_OBJECT
public:
    Ttishiw2(TDataModule1& dm, QWidget* owner = nullptr);

    QLabel* Label1;
    QPushButton* Button1;  // 是
    QPushButton* Button2;  // 否

private:
    TDataModule1& dm_;
};

