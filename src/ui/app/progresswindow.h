#pragma once
// The notice window: a red text and one "确定" button.

#include <QDialog>

class QLabel;
class QPushButton;

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* owner = nullptr);

    QLabel* Label1;
    QPushButton* Button1;
};
