// The general error report shown as the program's message box.
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "rules/app/errorreport.h"
#include "ui/app/message.h"

namespace errorreport {

void setOwner(QWidget* w)
{
    static QPointer<QWidget> owner;
    owner = w;
    setPresenter([](const QString& text) {
        QWidget* parent = owner;
        if (!parent)
            parent = QApplication::activeWindow();
        messageBox(QMessageBox::Critical, text, parent);
    });
}

}  // namespace errorreport
