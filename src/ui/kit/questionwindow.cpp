#include "ui/kit/questionwindow.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "data/module/datamodule.h"

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
    yesButton_ = new QPushButton(QStringLiteral("是"), this);
    auto* yes = yesButton_;
    yes->setObjectName(QStringLiteral("yesButton"));
    yes->setGeometry(64, 60, 75, 25);
    noButton_ = new QPushButton(QStringLiteral("否"), this);
    auto* no = noButton_;
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
    message_->setWordWrap(false);
    message_->adjustSize();
    // A long question (a file's path, a server's address) is wrapped and the
    // window grows to show all of it; a short one keeps the window's size.
    if (message_->width() > kWidestMessage) {
        message_->setWordWrap(true);
        message_->resize(kWidestMessage, message_->heightForWidth(kWidestMessage));
    }
    const int width = std::max(356, message_->x() + message_->width() + 36);
    const int buttons = std::max(60, message_->y() + message_->height() + 14);
    setFixedSize(width, buttons + 42);
    yesButton_->move(width / 2 - 114, buttons);
    noButton_->move(width / 2 + 26, buttons);
    centreOnScreen(this);
}

bool QuestionWindow::ask(QWidget* owner, const QString& question)
{
    QuestionWindow w(owner);
    w.setQuestion(question);
    w.exec();
    return w.answeredYes();
}

