#pragma once
// "导入Excel数据文件": the import window over a workbook or a CSV file.

#include "ui/transfer/importwindow.h"

class ExcelImportWindow : public ImportWindow {
    Q_OBJECT
public:
    explicit ExcelImportWindow(DataModule& dm, QWidget* owner = nullptr)
        : ImportWindow(dm, Variant::Excel, owner)
    {
    }
};
