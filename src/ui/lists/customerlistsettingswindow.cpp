#include "ui/lists/customerlistsettingswindow.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "rules/app/errorreport.h"
#include "ui/app/look.h"
#include "ui/app/message.h"
#include "rules/app/textfile.h"
#include "ui/lists/customerlist.h"
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

    Label1 = new QLabel(QStringLiteral("列表窗口检索顺序"), this);
    Label1->move(8, 16);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 32, 121, 181);
    Label2 = new QLabel(QStringLiteral("客户资料所有字段"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(204, 16);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setGeometry(204, 32, 121, 185);
    for (QListWidget* l : {ListBox1, ListBox2})
        l->setSelectionMode(QAbstractItemView::SingleSelection);

    auto button = [this](const char* name, const QString& caption, int x, int y, int w, int h,
                         void (CustomerListSettingsWindow::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(x, y, w, h);
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
        return b;
    };
    Button1 = button("Button1", QStringLiteral("←"), 144, 60, 50, 17, &CustomerListSettingsWindow::Button1Click);
    Button2 = button("Button2", QStringLiteral("→"), 144, 88, 50, 17, &CustomerListSettingsWindow::Button2Click);
    Button3 = button("Button3", QStringLiteral("↑"), 144, 116, 50, 17, &CustomerListSettingsWindow::Button3Click);
    Button4 = button("Button4", QStringLiteral("↓"), 144, 144, 50, 17, &CustomerListSettingsWindow::Button4Click);
    Button7 = button("Button7", QStringLiteral("清空"), 144, 172, 50, 17, &CustomerListSettingsWindow::Button7Click);
    Button8 = button("Button8", QStringLiteral("重生列表"), 68, 228, 75, 27, &CustomerListSettingsWindow::Button8Click);
    Button5 = button("Button5", QStringLiteral("保存"), 160, 230, 75, 25, &CustomerListSettingsWindow::Button5Click);
    Button6 = new QPushButton(QStringLiteral("返回"), this);
    Button6->setObjectName(QStringLiteral("Button6"));
    Button6->setGeometry(252, 230, 75, 25);
    connect(Button6, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox2, &QListWidget::itemDoubleClicked, this,
            [this] { guarded([this] { Button1Click(); }); });

    centreOnScreen(this);
    guarded([this] { InPutList(); });
}

QStringList CustomerListSettingsWindow::searchList() const
{
    QStringList r;
    for (int i = 0; i < ListBox1->count(); ++i)
        r << ListBox1->item(i)->text();
    return r;
}

void CustomerListSettingsWindow::InPutList()
{
    if (!s_.customerTabActive())
        return;
    ListBox2->addItems(s_.customerFields());
    if (QFile::exists(CustomerList::searchListPath()))
        ListBox1->addItems(readTextLines(CustomerList::searchListPath()));
    Label2->setText(QStringLiteral("客户数据库所有字段"));
    Label2->adjustSize();
}

void CustomerListSettingsWindow::Button1Click()
{
    QListWidgetItem* field = ListBox2->currentItem();
    if (!field || !field->isSelected())
        return;
    if (searchList().contains(field->text(), Qt::CaseInsensitive))
        return;
    ListBox1->addItem(field->text());
}

void CustomerListSettingsWindow::Button2Click()
{
    const int row = ListBox1->currentRow();
    if (row < 0 || !ListBox1->item(row)->isSelected()) {
        showMessage(kChooseOne);
        return;
    }
    delete ListBox1->takeItem(row);
}

void CustomerListSettingsWindow::Button3Click()
{
    const int row = ListBox1->currentRow();
    if (row < 1 || !ListBox1->item(row)->isSelected()) {
        showMessage(kChooseOne);
        return;
    }
    ListBox1->insertItem(row - 1, ListBox1->takeItem(row));
    ListBox1->setCurrentRow(row - 1);
}

void CustomerListSettingsWindow::Button4Click()
{
    const int row = ListBox1->currentRow();
    if (row < 0 || !ListBox1->item(row)->isSelected()) {
        showMessage(kChooseOne);
        return;
    }
    if (row == ListBox1->count() - 1)
        return;
    ListBox1->insertItem(row + 1, ListBox1->takeItem(row));
    ListBox1->setCurrentRow(row + 1);
}

void CustomerListSettingsWindow::Button7Click() { ListBox1->clear(); }

void CustomerListSettingsWindow::Button5Click()
{
    if (!s_.customerTabActive())
        return;
    replaceTextFile(CustomerList::searchListPath(), searchList());
}

void CustomerListSettingsWindow::Button8Click()
{
    if (!s_.customerTabActive())
        return;
    s_.rebuildTree(searchList(), this);
}
