#include "app/errorreport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/message.h"

AppError::AppError(const QString& message) : std::runtime_error(message.toUtf8().toStdString()) {}

namespace errorreport {
namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
QPointer<QWidget>& owner()
{
    static QPointer<QWidget> w;
    return w;
}
}  // namespace

void setOwner(QWidget* w) { owner() = w; }

void setSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

void report(const QString& text)
{
    if (sink()) {
        sink()(text);
        return;
    }
    QWidget* parent = owner();
    if (!parent)
        parent = QApplication::activeWindow();
    messageBox(QMessageBox::Critical, text, parent);
}

void reportCurrentException()
{
    try {
        throw;
    } catch (const AbortOperation&) {
        // silent by design
    } catch (const std::exception& e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("未知错误"));
    }
}

}  // namespace errorreport
