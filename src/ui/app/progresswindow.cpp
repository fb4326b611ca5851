#include "ui/app/progresswindow.h"

#include <QLabel>
#include <QPushButton>

#include "ui/app/look.h"

ProgressWindow::ProgressWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("软件提示"));
    setFixedSize(358, 123);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(songti(14));
    Label1->setStyleSheet(QStringLiteral("color: red"));
    Label1->move(28, 28);
    Button1 = new QPushButton(QStringLiteral("确定"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(136, 72, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, &QDialog::close);
    centreOnScreen(this);
}
