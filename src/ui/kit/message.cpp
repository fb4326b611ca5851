#include "ui/kit/message.h"

#include <QApplication>
#include <QMessageBox>

#include "rules/errors/diskfull.h"
#include "ui/kit/look.h"

namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
}  // namespace

void setMessageSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

void showMessage(const QString& given)
{
    const QString text = withDiskFullSaid(given);
    if (sink()) {
        sink()(text);
        return;
    }
    messageBox(QMessageBox::NoIcon, text, QApplication::activeWindow());
}

void messageBox(QMessageBox::Icon icon, const QString& text, QWidget* parent)
{
    QMessageBox box(icon, programTitle(), text, QMessageBox::NoButton, parent);
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
}
