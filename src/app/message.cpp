#include "app/message.h"

#include <QApplication>
#include <QMessageBox>

namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
}  // namespace

void setMessageSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

void showMessage(const QString& text)
{
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
