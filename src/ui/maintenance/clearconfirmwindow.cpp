#include "ui/maintenance/clearconfirmwindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/kit/look.h"

ClearConfirmWindow::ClearConfirmWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("删除数据确认"));
    setFont(songti(12));
    setFixedSize(288, 128);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setFont(songti(16));
    message_->setStyleSheet(QStringLiteral("color: red"));
    message_->move(48, 32);
    auto* yes = new QPushButton(QStringLiteral("是"), this);
    yes->setObjectName(QStringLiteral("yesButton"));
    yes->setGeometry(40, 72, 75, 25);
    auto* no = new QPushButton(QStringLiteral("否"), this);
    no->setObjectName(QStringLiteral("noButton"));
    no->setGeometry(176, 72, 75, 25);
    // Both are default buttons: Enter presses whichever has the focus.
    yes->setAutoDefault(true);
    no->setAutoDefault(true);
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
    move(326, 228);
}

void ClearConfirmWindow::setMessage(const QString& text)
{
    message_->setText(text);
    message_->adjustSize();
}

bool ClearConfirmWindow::ask(QWidget* owner, const QString& title, const QString& message)
{
    ClearConfirmWindow w(owner);
    w.setWindowTitle(title);
    w.setMessage(message);
    w.exec();
    return w.answeredYes();
}

void ClearConfirmWindow::keyPressEvent(QKeyEvent* e)
{
    // Neither button cancels: Escape leaves the window open.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}
