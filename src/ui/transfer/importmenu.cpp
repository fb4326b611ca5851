#include "ui/transfer/importmenu.h"

#include <QFileDialog>

#include "rules/errors/errorreport.h"
#include "data/module/datamodule.h"
#include "ui/transfer/accessimportwindow.h"
#include "ui/transfer/excelimportwindow.h"

bool showImportWindow(DataModule& dm, QWidget* owner, ImportWindow::Variant v, const QString& file)
{
    const bool excel = v == ImportWindow::Variant::Excel;
    ImportConnection& c = excel ? dm.excelFile : dm.accessFile;
    c.close();
    c.setFile(file);
    if (!guarded([&] { c.open(); }))
        return false;
    ImportWindow* w = excel ? static_cast<ImportWindow*>(new ExcelImportWindow(dm, owner))
                       : static_cast<ImportWindow*>(new AccessImportWindow(dm, owner));
    w->exec();
    delete w;
    return true;
}

namespace {

void chooseAndShow(DataModule& dm, QWidget* owner, ImportWindow::Variant v)
{
    const bool excel = v == ImportWindow::Variant::Excel;
    const QString filter =
        excel ? QStringLiteral("Microsoft Excel 数据文件(*.xls *.xlsx *.csv);;"
                               "Excel 97-2003 工作簿(*.xls);;Excel 工作簿(*.xlsx);;文本数据文件(*.csv)")
              : QStringLiteral("Microsoft Acsess 数据文件(*.mdb *.accdb);;Access 2000-2003 数据库(*.mdb);;"
                               "Access 2007 数据库(*.accdb)");
    const QString file = QFileDialog::getOpenFileName(owner, QStringLiteral("请选择一个数据库文件"), QString(), filter,
                                                      nullptr, QFileDialog::DontUseNativeDialog);
    if (file.isEmpty())
        return;
    showImportWindow(dm, owner, v, file);
}

}  // namespace

void importExcelCustomers(DataModule& dm, QWidget* owner) { chooseAndShow(dm, owner, ImportWindow::Variant::Excel); }
void importAccessCustomers(DataModule& dm, QWidget* owner) { chooseAndShow(dm, owner, ImportWindow::Variant::Access); }
