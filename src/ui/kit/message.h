#pragma once
// Validation and completion messages: a plain message box with one OK
// button, parented to the main window.

#include <QMessageBox>
#include <QString>
#include <functional>

void showMessage(const QString& text);

// The program's message box: its title, the text and one "确定" button.
void messageBox(QMessageBox::Icon icon, const QString& text, QWidget* parent);

// Tests replace the message box by a sink; an empty function restores it.
void setMessageSink(std::function<void(const QString&)> sink);
