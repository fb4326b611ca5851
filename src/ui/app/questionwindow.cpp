#include "ui/app/questionwindow.h"

#include <QLabel>
#include <QPushButton>

#include "data/app/datamodule.h"

QuestionWindow::QuestionWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("提示窗口"));
    setFixedSize(356, 102);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setFont(songti(12));
    message_->setStyleSheet(QStringLiteral("color: red"));
    message_->move(36, 24);
    auto* yes = new QPushButton(QStringLiteral("是"), this);
    yes->setObjectName(QStringLiteral("yesButton"));
    yes->setGeometry(64, 60, 75, 25);
    auto* no = new QPushButton(QStringLiteral("否"), this);
    no->setObjectName(QStringLiteral("noButton"));
    no->setGeometry(204, 60, 75, 25);
    yes->setDefault(true);
    setTabOrder(yes, no);
    yes->setFocus();
    connect(yes, &QPushButton::clicked, this, [this] {
        yes_ = true;
        close();
    });
    connect(no, &QPushButton::clicked, this, [this] {
        yes_ = false;
        close();
    });
    centreOnScreen(this);
}

void QuestionWindow::setQuestion(const QString& question)
{
    message_->setText(question);
    message_->adjustSize();
}

bool QuestionWindow::ask(QWidget* owner, const QString& question)
{
    QuestionWindow w(owner);
    w.setQuestion(question);
    w.exec();
    return w.answeredYes();
}

