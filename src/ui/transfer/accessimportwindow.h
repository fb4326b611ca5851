#pragma once
// "导入ACCESS数据文件": the import window over an Access database.

#include "ui/transfer/importwindow.h"

class AccessImportWindow : public ImportWindow {
    Q_OBJECT
public:
    explicit AccessImportWindow(DataModule& dm, QWidget* owner = nullptr)
        : ImportWindow(dm, Variant::Access, owner)
    {
    }
};
