#include "ui/kit/progresswindow.h"

#include <QLabel>
#include <QPushButton>

#include "ui/kit/look.h"

ProgressWindow::ProgressWindow(QWidget* owner)
    : QDialog(owner, kFixedDialog)
{
    setWindowTitle(QStringLiteral("软件提示"));
    setFixedSize(358, 123);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("message"));
    message_->setFont(songti(14));
    message_->setStyleSheet(QStringLiteral("color: red"));
    message_->move(28, 28);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setGeometry(136, 72, 75, 25);
    ok->setDefault(true);
    ok->setFocus();
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
    centreOnScreen(this);
}

void ProgressWindow::setText(const QString& text)
{
    message_->setText(text);
    message_->adjustSize();
}
