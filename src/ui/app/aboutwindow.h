#pragma once
// The about box: program title, build and the maker's address lines.

#include <QDialog>

class QLabel;
class QPushButton;

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* owner = nullptr);

    QLabel* Label1;        // program title
    QLabel* Label2;        // build line
    QLabel* MakerLines;    // name, address, post code, phones, web, e-mail, support
    QPushButton* Button1;  // 确定
};
