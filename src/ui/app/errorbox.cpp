#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "ui/app/errorbox.h"
#include "rules/app/errorreport.h"
#include "ui/app/message.h"

namespace errorbox {

void install(QWidget* w)
{
    static QPointer<QWidget> owner;
    owner = w;
    errorreport::setPresenter([](const QString& text) {
        QWidget* parent = owner;
        if (!parent)
            parent = QApplication::activeWindow();
        messageBox(QMessageBox::Critical, text, parent);
    });
}

}  // namespace errorbox
