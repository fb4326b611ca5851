#include "ui/records/dictionarywindow.h"

#include <QLabel>
#include <QPushButton>

#include "rules/app/errorreport.h"
#include "data/app/datamodule.h"
#include "ui/app/dbgrid.h"
#include "ui/app/look.h"

DictionaryWindow::DictionaryWindow(DataModule& dm, QWidget* owner)
    : QDialog(owner, kFixedDialog), dm_(dm)
{
    setWindowTitle(QStringLiteral("字典管理"));
    setFixedSize(428, 229);
    setFont(songti(15));

    Label1 = new QLabel(QStringLiteral("字典列表"), this);
    Label1->move(12, 12);

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(12, 32, 325, 181);
    DBGrid1->setDataSource(&dm_.dictionarySource);
    DBGrid1->setColumnLayout({{QStringLiteral("项目"), 80}, {QStringLiteral("内容"), 200}});

    auto button = [&](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(12));
        b->setGeometry(344, top, 75, 25);
        return b;
    };
    BitBtn1 = button("BitBtn1", QStringLiteral("添加"), 40);
    BitBtn2 = button("BitBtn2", QStringLiteral("删除"), 86);
    BitBtn3 = button("BitBtn3", QStringLiteral("保存"), 133);
    BitBtn4 = button("BitBtn4", QStringLiteral("返回"), 180);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn3Click(); }); });
    connect(BitBtn4, &QPushButton::clicked, this, &QDialog::close);

    centreOnScreen(this);
}

void DictionaryWindow::BitBtn1Click()
{
    dm_.dictionaryTable.insert();
    DBGrid1->setFocus();
    // The operator types the value: the cursor goes to its cell.
    const auto& cols = DBGrid1->dataModel()->columns();
    for (int c = 0; c < cols.size(); ++c)
        if (cols[c].fieldName == QStringLiteral("内容"))
            DBGrid1->setCurrentIndex(DBGrid1->model()->index(dm_.dictionaryTable.currentRow(), c));
}

void DictionaryWindow::BitBtn2Click() { dm_.dictionaryTable.remove(); }

void DictionaryWindow::BitBtn3Click()
{
    if (dm_.dictionaryTable.state() == DataSet::State::Insert)
        dm_.dictionaryTable.post();
    if (dm_.dictionaryTable.state() == DataSet::State::Edit)
        dm_.dictionaryTable.post();
}
