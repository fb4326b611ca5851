#pragma once
// The notice window: a red text and one "确定" button.

#include <QDialog>

class QLabel;
class QPushButton;

class Tjdtsw : public QDialog {
    Q_OBJECT
public:
    explicit Tjdtsw(QWidget* owner = nullptr);

    QLabel* Label1;
    QPushButton* Button1;
};
