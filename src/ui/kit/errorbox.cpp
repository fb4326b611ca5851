#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "ui/kit/errorbox.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/message.h"

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
