#include "ui/records/dictionarywindow.h"

#include <QLabel>
#include <QPushButton>

#include "rules/errors/errorreport.h"
#include "data/module/datamodule.h"
#include "ui/kit/dbgrid.h"
#include "ui/kit/look.h"

DictionaryWindow::DictionaryWindow(DataModule& dm, QWidget* owner)
    : QDialog(owner, kFixedDialog), dm_(dm)
{
    setWindowTitle(QStringLiteral("字典管理"));
    setFixedSize(428, 229);
    setFont(songti(15));

    auto* title = new QLabel(QStringLiteral("字典列表"), this);
    title->move(12, 12);

    valueGrid_ = new DBGrid(this);
    valueGrid_->setObjectName(QStringLiteral("valueGrid"));
    valueGrid_->setGeometry(12, 32, 325, 181);
    valueGrid_->setDataSource(&dm_.dictionarySource);
    valueGrid_->setColumnLayout({{QStringLiteral("项目"), 80}, {QStringLiteral("内容"), 200}});

    auto button = [&](const char* name, const QString& caption, int top) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(12));
        b->setGeometry(344, top, 75, 25);
        return b;
    };
    QPushButton* add = button("addButton", QStringLiteral("添加"), 40);
    QPushButton* remove = button("removeButton", QStringLiteral("删除"), 86);
    QPushButton* save = button("saveButton", QStringLiteral("保存"), 133);
    QPushButton* back = button("backButton", QStringLiteral("返回"), 180);
    connect(add, &QPushButton::clicked, this, [this] { guarded([this] { addValue(); }); });
    connect(remove, &QPushButton::clicked, this, [this] { guarded([this] { removeValue(); }); });
    connect(save, &QPushButton::clicked, this, [this] { guarded([this] { saveValue(); }); });
    connect(back, &QPushButton::clicked, this, &QDialog::close);

    centreOnScreen(this);
}

void DictionaryWindow::addValue()
{
    dm_.dictionaryTable.insert();
    valueGrid_->setFocus();
    // The operator types the value: the cursor goes to its cell.
    const auto& cols = valueGrid_->dataModel()->columns();
    for (int c = 0; c < cols.size(); ++c)
        if (cols[c].fieldName == QStringLiteral("内容"))
            valueGrid_->setCurrentIndex(valueGrid_->model()->index(dm_.dictionaryTable.currentRow(), c));
}

void DictionaryWindow::removeValue() { dm_.dictionaryTable.remove(); }

void DictionaryWindow::saveValue()
{
    if (dm_.dictionaryTable.state() == DataSet::State::Insert)
        dm_.dictionaryTable.post();
    if (dm_.dictionaryTable.state() == DataSet::State::Edit)
        dm_.dictionaryTable.post();
}
