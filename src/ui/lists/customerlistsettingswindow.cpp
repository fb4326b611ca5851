#include "ui/lists/customerlistsettingswindow.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/kit/message.h"
#include "rules/files/textfile.h"
#include "rules/lists/savefile.h"

namespace {
const QString kChooseOne = QStringLiteral("请在左边的列表中选择一个字段！");
}

CustomerListSettingsWindow::CustomerListSettingsWindow(CustomerListSettingsServices services, QWidget* owner)
    : QDialog(owner, kFixedDialog), s_(std::move(services))
{
    setObjectName(QStringLiteral("khlbw"));
    setWindowTitle(QStringLiteral("客户列表窗口设置"));
    setFixedSize(341, 267);
    QFont font(QStringLiteral("宋体"));
    font.setPointSize(9);
    setFont(font);

    auto* orderLabel = new QLabel(QStringLiteral("列表窗口检索顺序"), this);
    orderLabel->move(8, 16);
    searchOrder_ = new QListWidget(this);
    searchOrder_->setObjectName(QStringLiteral("searchOrder"));
    searchOrder_->setGeometry(8, 32, 121, 181);
    allFieldsLabel_ = new QLabel(QStringLiteral("客户资料所有字段"), this);
    allFieldsLabel_->setObjectName(QStringLiteral("allFieldsLabel"));
    allFieldsLabel_->move(204, 16);
    allFields_ = new QListWidget(this);
    allFields_->setObjectName(QStringLiteral("allFields"));
    allFields_->setGeometry(204, 32, 121, 185);
    for (QListWidget* l : {searchOrder_, allFields_})
        l->setSelectionMode(QAbstractItemView::SingleSelection);

    auto button = [this](const char* name, const QString& caption, int x, int y, int w, int h,
                         void (CustomerListSettingsWindow::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, w, h);
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
        return b;
    };
    button("addButton", QStringLiteral("←"), 144, 60, 50, 17, &CustomerListSettingsWindow::addField);
    button("removeButton", QStringLiteral("→"), 144, 88, 50, 17, &CustomerListSettingsWindow::removeField);
    button("upButton", QStringLiteral("↑"), 144, 116, 50, 17, &CustomerListSettingsWindow::moveUp);
    button("downButton", QStringLiteral("↓"), 144, 144, 50, 17, &CustomerListSettingsWindow::moveDown);
    button("clearButton", QStringLiteral("清空"), 144, 172, 50, 17, &CustomerListSettingsWindow::clearList);
    button("rebuildButton", QStringLiteral("重生列表"), 68, 228, 75, 27, &CustomerListSettingsWindow::rebuildTree);
    button("saveButton", QStringLiteral("保存"), 160, 230, 75, 25, &CustomerListSettingsWindow::saveList);
    auto* back = new QPushButton(QStringLiteral("返回"), this);
    back->setObjectName(QStringLiteral("backButton"));
    back->setGeometry(252, 230, 75, 25);
    connect(back, &QPushButton::clicked, this, &QDialog::reject);
    connect(allFields_, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { addField(); }); });

    centreOnScreen(this);
    guarded([this] { fillLists(); });
}

QStringList CustomerListSettingsWindow::searchList() const
{
    QStringList r;
    for (int i = 0; i < searchOrder_->count(); ++i)
        r << searchOrder_->item(i)->text();
    return r;
}

void CustomerListSettingsWindow::fillLists()
{
    if (!s_.customerTabActive())
        return;
    allFields_->addItems(s_.customerFields());
    if (QFile::exists(s_.searchListPath))
        searchOrder_->addItems(readTextLines(s_.searchListPath));
    allFieldsLabel_->setText(QStringLiteral("客户数据库所有字段"));
    allFieldsLabel_->adjustSize();
}

void CustomerListSettingsWindow::addField()
{
    QListWidgetItem* field = allFields_->currentItem();
    if (!field || !field->isSelected())
        return;
    if (searchList().contains(field->text(), Qt::CaseInsensitive))
        return;
    searchOrder_->addItem(field->text());
}

int CustomerListSettingsWindow::selectedRow()
{
    const int row = searchOrder_->currentRow();
    if (row < 0 || !searchOrder_->item(row)->isSelected()) {
        showMessage(kChooseOne);
        return -1;
    }
    return row;
}

void CustomerListSettingsWindow::removeField()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    delete searchOrder_->takeItem(row);
}

void CustomerListSettingsWindow::moveUp()
{
    const int row = searchOrder_->currentRow();
    if (row < 1 || !searchOrder_->item(row)->isSelected()) {
        showMessage(kChooseOne);
        return;
    }
    searchOrder_->insertItem(row - 1, searchOrder_->takeItem(row));
    searchOrder_->setCurrentRow(row - 1);
}

void CustomerListSettingsWindow::moveDown()
{
    const int row = selectedRow();
    if (row < 0 || row == searchOrder_->count() - 1)
        return;
    searchOrder_->insertItem(row + 1, searchOrder_->takeItem(row));
    searchOrder_->setCurrentRow(row + 1);
}

void CustomerListSettingsWindow::clearList() { searchOrder_->clear(); }

void CustomerListSettingsWindow::saveList()
{
    if (!s_.customerTabActive())
        return;
    replaceTextFile(s_.searchListPath, searchList());
}

void CustomerListSettingsWindow::rebuildTree()
{
    if (!s_.customerTabActive())
        return;
    s_.rebuildTree(searchList(), this);
}
