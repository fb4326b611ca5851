#pragma once
// The confirmation window: a question with "是" and "否".

#include <QDialog>

#include "ui/app/look.h"

class QLabel;
class QPushButton;
class DataModule;

class QuestionWindow : public QDialog {
    Q_OBJECT
public:
    QuestionWindow(DataModule& dm, QWidget* owner = nullptr);

    QLabel* Label1;
    QPushButton* Button1;  // 是
    QPushButton* Button2;  // 否

private:
    DataModule& dm_;
};

