#include "ui/transfer/exportfieldswindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <climits>

#include "ui/app/look.h"
#include "ui/app/message.h"

ExportFieldsWindow::ExportFieldsWindow(const QStringList& fields, int& limit, QWidget* owner)
    : QDialog(owner, kFixedDialog), limit_(limit)
{
    setObjectName(QStringLiteral("daoChu_fieldw"));
    setWindowTitle(QStringLiteral("选择导出字段"));
    setFixedSize(428, 390);
    setFont(songti(14));  // 10.5 pt

    auto label = [this](const char* name, const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->adjustSize();
        l->move(x, y);
        return l;
    };
    auto button = [this](const char* name, const QString& text, int y) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(12));  // 9 pt
        b->setGeometry(172, y, 75, 25);
        b->setAutoDefault(false);
        return b;
    };

    Label1 = label("Label1", QStringLiteral("数据库所有字段"), 8, 8);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 24, 141, 261);
    ListBox1->addItems(fields);

    Button1 = button("Button1", QStringLiteral("添加"), 60);
    Button7 = button("Button7", QStringLiteral("全选"), 96);
    Button4 = button("Button4", QStringLiteral("删除"), 132);
    Button8 = button("Button8", QStringLiteral("全删除"), 168);
    Button6 = button("Button6", QStringLiteral("返回"), 204);

    Label2 = label("Label2", QStringLiteral("导出字段"), 280, 8);
    ListBox2 = new QListWidget(this);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setGeometry(272, 24, 141, 261);

    CheckBox1 = new QCheckBox(QStringLiteral("限制单个文件记录数"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(12, 320, 157, 17);
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setGeometry(212, 318, 57, 23);
    SpinEdit1->setRange(INT_MIN, INT_MAX);
    SpinEdit1->setValue(0);
    SpinEdit1->setEnabled(false);
    Label3 = label("Label3", QStringLiteral("数量单位：万"), 280, 322);
    Label4 = label("Label4", QStringLiteral("0代表不限制单个文件记录数量"), 212, 356);

    connect(Button1, &QPushButton::clicked, this, &ExportFieldsWindow::Button1Click);
    connect(Button7, &QPushButton::clicked, this, &ExportFieldsWindow::Button7Click);
    connect(Button4, &QPushButton::clicked, this, &ExportFieldsWindow::Button4Click);
    connect(Button8, &QPushButton::clicked, this, &ExportFieldsWindow::Button8Click);
    connect(Button6, &QPushButton::clicked, this, &ExportFieldsWindow::Button6Click);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, &ExportFieldsWindow::Button1Click);
    connect(ListBox2, &QListWidget::itemDoubleClicked, this, &ExportFieldsWindow::ListBox2DblClick);
    connect(CheckBox1, &QCheckBox::toggled, SpinEdit1, &QWidget::setEnabled);

    centreOnScreen(this);
}

QStringList ExportFieldsWindow::chosenFields() const
{
    QStringList out;
    for (int i = 0; i < ListBox2->count(); ++i)
        out << ListBox2->item(i)->text();
    return out;
}

void ExportFieldsWindow::Button1Click()
{
    QListWidgetItem* item = ListBox1->currentItem();
    if (!item || !item->isSelected()) {
        showMessage(QStringLiteral("请在左边列表中选择一个字段！"));
        return;
    }
    const QString name = item->text();
    for (int i = 0; i < ListBox2->count(); ++i)
        if (ListBox2->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
            return;
    ListBox2->addItem(name);
}

void ExportFieldsWindow::Button7Click()
{
    ListBox2->clear();
    for (int i = 0; i < ListBox1->count(); ++i)
        ListBox2->addItem(ListBox1->item(i)->text());
}

void ExportFieldsWindow::Button4Click()
{
    QListWidgetItem* item = ListBox2->currentItem();
    if (!item || !item->isSelected()) {
        showMessage(QStringLiteral("请在右边的列表中选择一个字段！"));
        return;
    }
    delete ListBox2->takeItem(ListBox2->row(item));
}

void ExportFieldsWindow::Button8Click() { ListBox2->clear(); }

void ExportFieldsWindow::Button6Click()
{
    if (CheckBox1->isChecked()) {
        bool ok = false;
        const int n = SpinEdit1->cleanText().toInt(&ok);
        limit_ = ok ? n : 0;
    }
    close();
}

void ExportFieldsWindow::ListBox2DblClick()
{
    QListWidgetItem* item = ListBox2->currentItem();
    if (item && item->isSelected())
        delete ListBox2->takeItem(ListBox2->row(item));
}
