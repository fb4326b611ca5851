#pragma once
// Validation and completion messages: a plain message box with one OK
// button, parented to the main window.

#include <QString>
#include <functional>

void showMessage(const QString& text);

// Tests replace the message box by a sink; an empty function restores it.
void setMessageSink(std::function<void(const QString&)> sink);
