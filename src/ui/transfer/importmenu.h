#pragma once
// The import menu entries: the file is chosen, then shown in its import window.

#include "ui/transfer/importwindow.h"

class DataModule;
class QWidget;

// The menu entries: choose the file (cancel stops), disconnect, connect, show
// the window modally and destroy it.
void importExcelCustomers(DataModule& dm, QWidget* owner);            // 导入客户数据(excel格式）
void importAccessCustomers(DataModule& dm, QWidget* owner);  // 导入客户数据(Access格式）
// The part after the file dialog; a file that cannot be read is reported and
// no window opens.  Returns false in that case.
bool showImportWindow(DataModule& dm, QWidget* owner, ImportWindow::Variant v, const QString& file);
