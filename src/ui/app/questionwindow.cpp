#include "ui/app/questionwindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "data/app/datamodule.h"

QuestionWindow::QuestionWindow(DataModule& dm, QWidget* owner)
    : QDialog(owner, kFixedDialog), dm_(dm)
{
    setWindowTitle(QStringLiteral("提示窗口"));
    setFixedSize(356, 102);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(songti(12));
    Label1->setStyleSheet(QStringLiteral("color: red"));
    Label1->move(36, 24);
    Button1 = new QPushButton(QStringLiteral("是"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(64, 60, 75, 25);
    Button2 = new QPushButton(QStringLiteral("否"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(204, 60, 75, 25);
    Button1->setDefault(true);
    setTabOrder(Button1, Button2);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] {
        dm_.confirmationAnswer = 1;
        close();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        dm_.confirmationAnswer = 0;
        close();
    });
    centreOnScreen(this);
}

void askConfirmation(DataModule& dm, QWidget* owner, const QString& question)
{
    dm.confirmationAnswer = 0;
    QuestionWindow w(dm, owner);
    w.Label1->setText(question);
    w.Label1->adjustSize();
    w.exec();
}
