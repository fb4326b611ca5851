#pragma once
// The confirmation window: a question with "是" and "否".

#include <QDialog>

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

// Centres a window on the screen: (screen - window) / 2, halves to even.
int centredCoordinate(int screen, int window);
void centreOnScreen(QWidget* w);
